// The file dialogs' filters as the program builds them from the current language: a
// translation may give two patterns for one kind of file, and each dialog gets both.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include "settings/RecSettings.h"
#include "tests/program/ProgramFixture.h"

namespace {

class ProgramFileFilters : public TProgramFixture {};

TEST_F(ProgramFileFilters, ATranslationWithTwoPatternsGivesTheDialogsBoth) {
    // A language of the test's own (French) whose filters name two patterns.
    {
        QFile file(Folder.filePath(QStringLiteral("Quorvex_fra.lng")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("LANGID=1036\r\n[$CONSTANTS]\r\n"
                   "RecImageFileFilterStr=Images (*.ovk;*.img)|*.ovk;*.img\r\n"
                   "RecProfileFileFilterStr=Profils|*.rpr;*.def\r\n");
    }
    WriteSettings("[Settings]\r\nConnectType=3\r\n"); // the emulation over the demo image
    TProgramForms& forms = StartProgram();
    TfrmQuorvMain& main = forms.frmQuorvMain;
    ASSERT_TRUE(WaitInEventLoop([&] { return main.IsConnected() && !main.IsBusy(); }));
    SwitchTo(1036);

    QString imageFilter;
    main.PickImageFile = [&](const QString& filter, const QString&) {
        imageFilter = filter;
        return QString(); // cancelled
    };
    main.miImageFileClick();
    EXPECT_EQ(imageFilter, QStringLiteral("Images (*.ovk *.img)"));

    QStringList profileFilters;
    TfrmRecSettings& settings = forms.frmRecSettings;
    settings.Prompts().FileName = [&](bool, const QString& filter, const QString&, const QString&) {
        profileFilters << filter;
        return QString(); // cancelled
    };
    settings.actSaveToFileExecute();
    settings.actLoadFromFileExecute();
    EXPECT_EQ(profileFilters, QStringList(2, QStringLiteral("Profils (*.rpr *.def)")));
}

} // namespace
