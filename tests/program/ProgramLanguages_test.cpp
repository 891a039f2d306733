// The program's forms in every shipped language: the files are complete, a switch reaches
// every open form, forms made later start in the current language, and a program started in
// a language shows every form in it. The forms are built and started as the program's entry
// does.
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangBuiltIn.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangForms.h"
#include "i18n/VexaLangQtProperties.h"
#include "i18n/VexaLangTranslations.h"
#include "platform/TextFormat.h"
#include "program/ProgramForms.h"
#include "tests/program/ProgramFixture.h"
#include "ui/About.h"
#include "ui/FmtChoose.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"
#include "ui/QtTranslations.h"

namespace {

std::unique_ptr<TVexaLang_CompTranslations> LoadShipped(const char* name) {
    auto translations = std::make_unique<TVexaLang_CompTranslations>();
    LoadLanguageFile(ShippedFile(name).toStdString(), *translations, false);
    return translations;
}

// One translatable text of a form as its controller captured it.
struct TFormText {
    std::string Section;
    std::int32_t Id = 0;
    std::string MaskPath;
    std::string English;
    QObject* Component = nullptr;
    std::string PropertyPath;
    bool IsForm = false;
};

std::vector<TFormText> FormTexts(const TVexaLanguageController& controller) {
    std::vector<TFormText> texts;
    std::function<void(const TVexaLang_CompEntry&, bool)> walk =
        [&](const TVexaLang_CompEntry& entry, bool isForm) {
            if (const TVexaLang_PropEntries* props = entry.Properties()) {
                for (int i = 0; i < props->Count(); ++i) {
                    const TVexaLang_PropEntry& prop = props->Item(i);
                    texts.push_back({controller.SectionName(), prop.Id,
                                     entry.ComponentPath() + "." + prop.Path, prop.DefaultText,
                                     entry.Component(), prop.Path, isForm});
                }
            }
            for (int i = 0; i < entry.ChildCount(); ++i)
                walk(entry.Child(i), false);
        };
    walk(controller.Root(), true);
    return texts;
}

TVexaLanguageController* ControllerOf(QWidget& form) {
    return form.findChild<TVexaLanguageController*>(QStringLiteral("VexaLanguageController1"),
                                                    Qt::FindDirectChildrenOnly);
}

QString PropertyValue(const TFormText& text) {
    for (const TVexaLangTextProperty& property :
         TranslatableProperties(text.Component, text.IsForm))
        if (property.Path == text.PropertyPath)
            return property.Get();
    return QStringLiteral("<no such property>");
}

// The printf-style placeholders of a text, in order ("%s", "%.2d", "%1:d"); a lone "%"
// (a caption such as "Cycle buffer size, %:") is none.
std::vector<std::string> Placeholders(const std::string& text) {
    static const QRegularExpression placeholder(
        QStringLiteral("%(\\d+:)?-?\\d*(\\.\\d+)?(hh|h|ll|l|L|I64|q|j|z|t)?[diuxXfeEgGnspc%]"));
    std::vector<std::string> found;
    QRegularExpressionMatchIterator it = placeholder.globalMatch(QString::fromStdString(text));
    while (it.hasNext())
        found.push_back(it.next().captured().toStdString());
    return found;
}

QString Plain(QString text) {
    return text.remove(QLatin1Char('&'));
}

class ProgramLanguages : public TProgramFixture {
protected:
    // Every form the program has open, and the three it makes when they are needed.
    std::vector<QWidget*> OpenForms() {
        return {&Forms->frmQuorvMain, &Forms->frmRecSettings, &Forms->frmRename, &Forms->AboutBox,
                &Forms->PasswordDlg};
    }

    // Every captured text of the form shows the file's translation (or, for English, the
    // text the form was made with).
    void ExpectFormIn(QWidget& form, const TVexaLang_CompTranslations* translations) {
        TVexaLanguageController* controller = ControllerOf(form);
        ASSERT_NE(controller, nullptr) << form.objectName().toStdString();
        const std::vector<TFormText> texts = FormTexts(*controller);
        EXPECT_FALSE(texts.empty()) << form.objectName().toStdString();
        const TVexaLang_CompTranslation* section =
            translations ? translations->FindSection(controller->SectionName()) : nullptr;
        for (const TFormText& text : texts) {
            // The main window's title is the program's, made on every idle pass.
            if (&form == &Forms->frmQuorvMain && text.IsForm)
                continue;
            const std::string* translated = section ? section->Find(text.Id) : nullptr;
            const std::string expected =
                translations == nullptr ? text.English : (translated ? *translated : "<missing>");
            EXPECT_EQ(PropertyValue(text).toStdString(), expected)
                << text.Section << " " << text.MaskPath;
        }
    }
};

// Reads each shipped file and names every constant and form text it lacks, or whose
// placeholders differ from the English text, as the lines to add.
TEST_F(ProgramLanguages, EveryShippedFileTranslatesEveryConstantAndEveryFormText) {
    StartProgram();
    TfrmOverwrite overwrite(&Forms->frmQuorvMain, &Forms->frmRename);
    TfrmPartSelect partSelect(&Forms->frmQuorvMain);
    TfrmFmtChoose formatChoice(&Forms->frmQuorvMain);
    std::vector<QWidget*> forms = OpenForms();
    forms.insert(forms.end(), {&overwrite, &partSelect, &formatChoice});

    for (const TShippedLanguage& language : ShippedLanguages) {
        SCOPED_TRACE(language.FileName);
        const auto translations = LoadShipped(language.FileName);
        EXPECT_EQ(translations->LanguageId(), language.LangId);
        std::string missing;
        for (const TBuiltInConstant& constant : BuiltInConstants()) {
            int index = 0;
            if (!translations->Constants().IndexOfName(constant.Name, index)) {
                missing += std::string(constant.Name) + "=" + constant.Text + "\n";
                continue;
            }
            const std::string& text = translations->Constants().Item(index).Value;
            EXPECT_FALSE(text.empty()) << constant.Name;
            EXPECT_TRUE(FormatsAgree(text, constant.Text))
                << constant.Name << ": \"" << text << "\" for \"" << constant.Text << "\"";
        }
        for (QWidget* form : forms) {
            TVexaLanguageController* controller = ControllerOf(*form);
            ASSERT_NE(controller, nullptr) << form->objectName().toStdString();
            const TVexaLang_CompTranslation* section =
                translations->FindSection(controller->SectionName());
            for (const TFormText& text : FormTexts(*controller)) {
                const std::string* translated = section ? section->Find(text.Id) : nullptr;
                if (translated == nullptr) {
                    missing += "[" + text.Section + "] ; " + text.MaskPath + ": " + text.English +
                               "\n" + std::to_string(text.Id) + "=\n";
                    continue;
                }
                EXPECT_FALSE(translated->empty()) << text.Section << " " << text.MaskPath;
                EXPECT_EQ(Placeholders(*translated), Placeholders(text.English))
                    << text.Section << " " << text.MaskPath << ": \"" << *translated << "\"";
            }
        }
        EXPECT_EQ(missing, "") << "to translate in " << language.FileName;
    }
}

TEST_F(ProgramLanguages, ASwitchRetranslatesEveryOpenFormAndLaterFormsStartInTheNewLanguage) {
    StartProgram();
    for (const TShippedLanguage& language : ShippedLanguages) {
        SCOPED_TRACE(language.FileName);
        const auto translations = LoadShipped(language.FileName);
        SwitchTo(language.LangId);
        for (QWidget* form : OpenForms())
            ExpectFormIn(*form, translations.get());
        // Made after the switch, as the downloads and uploads make them.
        TfrmOverwrite overwrite(&Forms->frmQuorvMain, &Forms->frmRename);
        TfrmPartSelect partSelect(&Forms->frmQuorvMain);
        TfrmFmtChoose formatChoice(&Forms->frmQuorvMain);
        for (QWidget* form :
             std::initializer_list<QWidget*>{&overwrite, &partSelect, &formatChoice})
            ExpectFormIn(*form, translations.get());
        // Texts the window makes from constants follow too.
        EXPECT_EQ(Forms->frmQuorvMain.Widgets().cbexRecLocation->itemText(0),
                  Forms->frmQuorvMain.Widgets().actShowRec->text());
        EXPECT_NE(Forms->frmQuorvMain.Widgets().actShowRec->text(), QStringLiteral("Records"));
        EXPECT_EQ(Forms->frmQuorvMain.Widgets().ConnectionMenuRoot->text(),
                  Forms->frmQuorvMain.Widgets().miConnectType->text());
    }
    // Back to the built-in language: every form shows the texts it was made with.
    SwitchTo(English);
    for (QWidget* form : OpenForms())
        ExpectFormIn(*form, nullptr);
}

TEST_F(ProgramLanguages, SpotChecksOfTheMenusColumnsAndDialogsInEachLanguage) {
    struct TCase {
        std::uint16_t LangId;
        const char* FileMenu;
        const char* CopyToPC;
        const char* SizeColumn;
        const char* StoreAction;
        const char* CancelButton;
    };
    const TCase cases[] = {
        {1031, "Datei", "Auf den PC kopieren", "Größe", "Einstellungen speichern", "Abbrechen"},
        {1049, "Файл", "Копировать на ПК", "Размер", "Сохранить настройки", "Отмена"},
        {English, "File", "Copy to PC", "Size", "Store settings", "Cancel"},
    };
    TProgramForms& forms = StartProgram();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.LangId);
        SwitchTo(c.LangId);
        EXPECT_EQ(Plain(forms.frmQuorvMain.Widgets().File1->title()).toStdString(), c.FileMenu);
        EXPECT_EQ(forms.frmQuorvMain.Widgets().actCopyToPC->text().toStdString(), c.CopyToPC);
        EXPECT_EQ(forms.frmQuorvMain.Widgets()
                      .lvRecContent->model()
                      ->headerData(1, Qt::Horizontal)
                      .toString()
                      .toStdString(),
                  c.SizeColumn);
        EXPECT_EQ(forms.frmRecSettings.actStore->text().toStdString(), c.StoreAction);
        EXPECT_EQ(forms.PasswordDlg.CancelBtn->text().toStdString(), c.CancelButton);
        // Qt's own buttons follow the language as well.
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(Plain(box.button(QMessageBox::Cancel)->text()).toStdString(), c.CancelButton);
    }
}

TEST_F(ProgramLanguages, AProgramStartedInALanguageShowsEveryFormInIt) {
    for (const TShippedLanguage& language : ShippedLanguages) {
        SCOPED_TRACE(language.FileName);
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
        WriteSettings("[Settings]\r\nLangID=" + QByteArray::number(language.LangId) + "\r\n");
        const auto translations = LoadShipped(language.FileName);
        StartProgram();
        EXPECT_EQ(LangManager()->GetCurrentLanguageID(), language.LangId);
        for (QWidget* form : OpenForms())
            ExpectFormIn(*form, translations.get());
        // A switch back restores the English texts the forms were made with.
        SwitchTo(English);
        for (QWidget* form : OpenForms())
            ExpectFormIn(*form, nullptr);
        Forms.reset();
    }
}

TEST_F(ProgramLanguages, TheDealerSwitchesHideTheMainWindowsActionsAtOnceAndAsLoaded) {
    TProgramForms& forms = StartProgram();
    TfrmQuorvMain& main = forms.frmQuorvMain;
    EXPECT_TRUE(main.Widgets().actCopySelPart->isVisible());
    EXPECT_TRUE(main.Widgets().actShowDrv->isVisible());
    forms.frmRecSettings.cbHideEditor->click();
    EXPECT_FALSE(main.Widgets().actCopySelPart->isVisible());
    main.actShowDrvExecute();
    forms.frmRecSettings.cbHideFlash->click();
    EXPECT_FALSE(main.Widgets().actShowDrv->isVisible());
    EXPECT_TRUE(main.Widgets().actShowRec->isChecked()) << "the records view is shown instead";
    EXPECT_EQ(main.ViewFlagValue(), 0);
    forms.frmRecSettings.cbHideEditor->click();
    forms.frmRecSettings.cbHideFlash->click();
    EXPECT_TRUE(main.Widgets().actCopySelPart->isVisible());
    EXPECT_TRUE(main.Widgets().actShowDrv->isVisible());
    Forms.reset();

    WriteSettings("[Settings]\r\nHideEditor=1\r\nHideFlashDrive=1\r\n");
    TProgramForms& loaded = StartProgram();
    EXPECT_FALSE(loaded.frmQuorvMain.Widgets().actCopySelPart->isVisible());
    EXPECT_FALSE(loaded.frmQuorvMain.Widgets().actShowDrv->isVisible());
    EXPECT_TRUE(loaded.frmRecSettings.cbHideEditor->isChecked());
}

TEST_F(ProgramLanguages, TheMaskExampleExpandsTheMaskForTheSampleRecordInTheCurrentLanguage) {
    TProgramForms& forms = StartProgram();
    QComboBox* mask = forms.frmRecSettings.cbFNMask;
    mask->setEditText(QStringLiteral("[sn]_[rn]_[ei].wav"));
    EXPECT_EQ(forms.frmRecSettings.lbExRes->text().toStdString(),
              "Example result: SN123OCV345_1_Out №1234567 .wav");
    SwitchTo(1031);
    const auto german = LoadShipped("Quorvex_deu.lng");
    const TVexaLang_Constants& constants = german->Constants();
    EXPECT_EQ(forms.frmRecSettings.lbExRes->text().toStdString(),
              constants.GetValueByName("ExampResStr") + " SN123OCV345_1_" +
                  constants.GetValueByName("OutcomingCallStr") + " " +
                  constants.GetValueByName("TelNumberStr") + "1234567 .wav");
}

// Each language is named in its own words, whatever the current language; the base item's
// words follow the current language.
TEST_F(ProgramLanguages, TheLanguageMenuNamesEachLanguageAsItsSpeakersDo) {
    struct TCase {
        std::uint16_t LangId;
        const char* BaseWords;
    };
    const TCase cases[] = {
        {1031, "Basissprache"}, {1049, "Базовый язык"}, {English, "Base language"}};
    TfrmQuorvMain& main = StartProgram().frmQuorvMain;
    const QString english = QLocale(QLocale::English).nativeLanguageName();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.LangId);
        SwitchTo(c.LangId);
        QStringList captions;
        for (QAction* item : main.Widgets().Language1->actions())
            captions << item->text();
        EXPECT_EQ(captions, QStringList({QString::fromUtf8(c.BaseWords) + " (" + english + ")",
                                         QStringLiteral("Deutsch"), QString::fromUtf8("русский")}));
    }
}

// The about box's date, numbers and Qt's own dialogs are written as the language writes them,
// in a program started in the language and after a switch to it.
TEST_F(ProgramLanguages, DatesAndNumbersFollowTheLanguage) {
    struct TCase {
        std::uint16_t LangId;
        QLocale::Language Language;
        const char* DecimalPoint;
    };
    const TCase cases[] = {{1031, QLocale::German, ","},
                           {1049, QLocale::Russian, ","},
                           {English, QLocale::English, "."}};
    QDate built;
    ASSERT_TRUE(ParseBuildDate(QString::fromLatin1(ProgramBuildDate), built));
    auto expectLanguage = [&](TProgramForms& forms, const TCase& c) {
        EXPECT_EQ(QLocale().language(), c.Language);
        EXPECT_EQ(QLocale().decimalPoint(), QString::fromLatin1(c.DecimalPoint));
        forms.AboutBox.show();
        EXPECT_TRUE(forms.AboutBox.Version->text().contains(
            "(" + QLocale(c.Language).toString(built, QLocale::ShortFormat) + ")"))
            << forms.AboutBox.Version->text().toStdString();
        forms.AboutBox.hide();
        EXPECT_EQ(forms.frmRecSettings.locale().language(), c.Language);
        QFileDialog dialog;
        EXPECT_EQ(dialog.locale().language(), c.Language);
    };
    WriteSettings("[Settings]\r\nLangID=1031\r\n");
    expectLanguage(StartProgram(), cases[0]);
    Forms.reset();
    LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
    WriteSettings("[Settings]\r\nLangID=1033\r\n");
    TProgramForms& forms = StartProgram();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.LangId);
        SwitchTo(c.LangId);
        expectLanguage(forms, c);
    }
}

} // namespace
