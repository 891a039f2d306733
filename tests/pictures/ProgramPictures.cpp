// The main window and every dialog in each language, as the program builds them, connected to
// its demo image.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

#include "settings/RecSettings.h"
#include "tests/pictures/Pictures.h"
#include "tests/program/ProgramFixture.h"
#include "tests/support/ModalScript.h"
#include "ui/FmtChoose.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"

namespace {

class ProgramPictures : public TProgramFixture {
protected:
    void Save(QWidget& form, const QString& name) {
        form.show();
        form.raise();
        QTest::qWait(150);
        EXPECT_TRUE(form.grab().save(Shots + "/" + Language + "_" + name + ".png"))
            << name.toStdString();
    }
    QString Shots;
    QString Language;
};

TEST_F(ProgramPictures, EveryFormInEachLanguage) {
    Shots = PictureFolder();
    WriteSettings("[Settings]\r\nConnectType=3\r\n"); // the emulation over the demo image
    TProgramForms& forms = StartProgram();
    TfrmQuorvMain& main = forms.frmQuorvMain;
    main.resize(1100, 700);
    main.show();
    // The emulation connects on the idle passes.
    ASSERT_TRUE(
        WaitInEventLoop([&] { return main.IsConnected() && main.RecordList().Count() > 0; }));
    const std::pair<std::uint16_t, const char*> languages[] = {
        {English, "eng"}, {1031, "deu"}, {1049, "rus"}};
    for (const auto& [langId, name] : languages) {
        Language = QString::fromLatin1(name);
        SwitchTo(langId);
        // The lists are read again for their mode texts in the new language.
        QTest::qWait(2500);
        EXPECT_TRUE(main.grab().save(Shots + "/" + Language + "_main.png"));

        TfrmRecSettings& settings = forms.frmRecSettings;
        settings.SetHiddenTabVisible(true);
        settings.actRestoreExecute();
        for (int i = 0; i < settings.pcSettings->count(); ++i) {
            settings.pcSettings->setCurrentIndex(i);
            Save(settings, "settings_" + settings.pcSettings->widget(i)->objectName());
        }
        // The whole screen while the box that a store raises is up.
        settings.pcSettings->setCurrentWidget(settings.tsGeneral);
        TModalScript stored({[&](QWidget* box) {
                                QTest::qWait(300);
                                EXPECT_TRUE(QApplication::primaryScreen()->grabWindow(0).save(
                                    Shots + "/" + Language + "_settings_stored.png"));
                                ClickButton(QMessageBox::Ok)(box);
                            }},
                            TModalScript::TScope::MessageBoxes);
        settings.actStoreExecute();
        EXPECT_TRUE(stored.Done());
        settings.hide();

        Save(forms.AboutBox, "about");
        forms.AboutBox.hide();
        forms.PasswordDlg.Label1->setText(
            QString::fromStdString(GetLangConstant("AccessQuestionStr")));
        Save(forms.PasswordDlg, "password");
        forms.PasswordDlg.hide();
        forms.frmRename.edFileName->setText(QStringLiteral("file_12_(2011_03_05-14_07_09).wav"));
        Save(forms.frmRename, "rename");
        forms.frmRename.hide();

        TfrmOverwrite overwrite(&main, &forms.frmRename);
        overwrite.SetFileName(
            QStringLiteral("/home/user/Sounds/file_12_(2011_03_05-14_07_09).wav"));
        Save(overwrite, "overwrite");
        TfrmPartSelect part(&main);
        part.SetTotalDuration(3723);
        part.SetTotalSize(29'784'000);
        Save(part, "partselect");
        TfrmFmtChoose format(&main);
        Save(format, "fmtchoose");
        format.hide();
        main.Seams.ShowProgress(QString::fromStdString(GetLangConstant("StatusRefreshingStr")),
                                true);
        Save(forms.frmStatus, "status");
        main.Seams.CloseProgress();
    }
}

} // namespace
