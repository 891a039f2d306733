#pragma once

#include <string>
#include <vector>

class QWidget;
class TVexaLanguageController;
class TVexaLanguageManager;

// The program's translated forms and the property masks each one's controller carries.
enum class TTranslatedForm {
    MainWindow,
    SettingsDialog,
    PartSelection,
    FormatChoice,
    OverwriteDialog,
    RenameDialog,
    PasswordDialog,
    AboutBox,
};

struct TVexaLangFormLists {
    std::vector<std::string> IgnoreList;
    std::vector<std::string> StoreList;
};

TVexaLangFormLists FormLanguageLists(TTranslatedForm form);

// Gives a finished form its controller, named "VexaLanguageController1", with the form's
// lists; captures the form's texts and applies the current language. The form owns it.
TVexaLanguageController* CreateFormLanguageController(QWidget* form, TTranslatedForm kind,
                                                      TVexaLanguageManager* manager = nullptr);
