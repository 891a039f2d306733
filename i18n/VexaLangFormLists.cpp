#include "i18n/VexaLangFormLists.h"

#include "i18n/VexaLangForms.h"

TVexaLangFormLists FormLanguageLists(TTranslatedForm form) {
    switch (form) {
    case TTranslatedForm::MainWindow:
        return {{"*.Font.Name", "*.Items", "*.Root", "*.Text", "_*", "lbBattery.*", "lbDiv.*",
                 "lbFreeMem.*", "lbFWVer.*", "lbMemUsed.*", "lbMinRecDur.*", "lbModel.*",
                 "lbRecTime.*", "lbSerNum.*", "lbStatus.*", "lbTotalMem.*", "N?.Caption",
                 "N??.Caption"},
                {}};
    case TTranslatedForm::SettingsDialog:
        // ";*.Items" matches no path: the settings dialog's item lists are translated.
        return {{"*.Font.Name", "*.Format", "*.Text", ";*.Items", "btnBrowse.*", "lbExRes.*",
                 "lbMinRecTime.*"},
                {"cbTimer.Items"}};
    case TTranslatedForm::PartSelection:
        return {{"*.Font.Name", "*.Items", "*.Text", "actSelMoveLeft.Caption",
                 "actSelMoveRight.Caption", "actSelSizeDec.Caption", "actSelSizeInc.Caption",
                 "Label1.Caption", "Label3.Caption", "lbDuration.Caption", "lbEnd.Caption",
                 "lbSelSize.Caption", "lbStart.Caption"},
                {}};
    case TTranslatedForm::FormatChoice:
        return {{"*.Font.Name", "cbScale.*", "gbCompression.Caption", "Label2.Caption",
                 "rbADPCM2.Caption", "rbADPCM4.Caption", "rbNoCompress.Caption", "rbuLaw.Caption"},
                {}};
    case TTranslatedForm::OverwriteDialog:
        return {{"*.Font.*", "Label1.*"}, {}};
    case TTranslatedForm::RenameDialog:
        return {{"*.Font.*"}, {}};
    case TTranslatedForm::PasswordDialog:
        return {{"*.Font.Name", "Label1.*"}, {}};
    case TTranslatedForm::AboutBox:
        return {{"*.Font.Name"}, {}};
    }
    return {};
}

TVexaLanguageController* CreateFormLanguageController(QWidget* form, TTranslatedForm kind,
                                                      TVexaLanguageManager* manager) {
    auto* controller = new TVexaLanguageController(form, manager);
    TVexaLangFormLists lists = FormLanguageLists(kind);
    controller->SetIgnoreList(std::move(lists.IgnoreList));
    controller->SetStoreList(std::move(lists.StoreList));
    controller->Loaded();
    return controller;
}
