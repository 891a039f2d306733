#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>

#include "i18n/VexaLangFormLists.h"
#include "i18n/VexaLangForms.h"
#include "i18n/VexaLangManager.h"
#include "i18n/VexaLangResources.h"
#include "platform/WildcardMask.h"

namespace {

bool MatchesAny(const std::vector<std::string>& masks, const std::string& path) {
    for (const std::string& mask : masks)
        if (MatchesMask(path, mask))
            return true;
    return false;
}

} // namespace

TEST(FormLanguageLists, MasksSelectTheIntendedPaths) {
    struct TCase {
        TTranslatedForm Form;
        const char* MaskPath;
        bool Ignored;
    };
    const TCase cases[] = {
        {TTranslatedForm::MainWindow, ".Caption", false},
        {TTranslatedForm::MainWindow, "File1.Caption", false},
        {TTranslatedForm::MainWindow, "lbBattery.Caption", true},
        {TTranslatedForm::MainWindow, "lbbattery.hint", true},
        {TTranslatedForm::MainWindow, "N1.Caption", true},
        {TTranslatedForm::MainWindow, "N12.Caption", true},
        {TTranslatedForm::MainWindow, "N123.Caption", false},
        {TTranslatedForm::MainWindow, "N1.Hint", false},
        {TTranslatedForm::MainWindow, "_spbtnExpClose.Hint", true},
        {TTranslatedForm::MainWindow, "cbexRecLocation.Items", true},
        {TTranslatedForm::SettingsDialog, "cbProfile.Items", false},
        {TTranslatedForm::SettingsDialog, "edDefFolder.Text", true},
        {TTranslatedForm::SettingsDialog, "btnBrowse.Caption", true},
        {TTranslatedForm::FormatChoice, "rbuLaw.Caption", true},
        {TTranslatedForm::FormatChoice, "rbuLaw.Hint", false},
        {TTranslatedForm::OverwriteDialog, "Label1.Caption", true},
        {TTranslatedForm::AboutBox, "Label1.Caption", false},
    };
    for (const TCase& test : cases)
        EXPECT_EQ(MatchesAny(FormLanguageLists(test.Form).IgnoreList, test.MaskPath), test.Ignored)
            << test.MaskPath;
    EXPECT_EQ(FormLanguageLists(TTranslatedForm::SettingsDialog).StoreList,
              std::vector<std::string>{"cbTimer.Items"});
}

TEST(FormLanguageLists, MainWindowControllerLeavesStatusAndSeparatorsAlone) {
    TResourceModule module;
    TVexaLanguageManager manager(module);
    QMainWindow window;
    window.setObjectName("frmQuorvMain");
    window.setWindowTitle("Quorvex");
    auto* file = new QMenu("&File", &window);
    file->setObjectName("File1");
    auto* separator = new QAction("-", &window);
    separator->setObjectName("N1");
    (new QLabel("Model:", &window))->setObjectName("lbModelCap");
    (new QLabel("Q70", &window))->setObjectName("lbModel");
    auto* location = new QComboBox(&window);
    location->setObjectName("cbexRecLocation");
    location->addItem("Recorder");

    TVexaLanguageController* controller =
        CreateFormLanguageController(&window, TTranslatedForm::MainWindow, &manager);
    EXPECT_EQ(controller->parent(), &window);
    std::vector<std::string> lines;
    controller->WriteLanguageSource(lines);
    const std::vector<std::string> expected = {"[frmQuorvMain]",
                                               "Caption=", "File1.Caption=", "lbModelCap.Caption="};
    ASSERT_EQ(lines.size(), expected.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].starts_with(expected[i])) << lines[i];
}
