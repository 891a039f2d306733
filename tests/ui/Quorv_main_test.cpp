#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTreeView>

#include "i18n/VexaLang.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ModalScript.h"
#include "ui/Quorv_main.h"
#include "widgets/ProgramOptions.h"

namespace {

std::string ReadBytes(const QString& path) {
    return testsupport::ReadFileBytes(path.toStdString());
}

void WriteBytes(const QString& path, const std::string& bytes) {
    testsupport::WriteFileBytes(path.toStdString(), bytes);
}

class QuorvMain : public ::testing::Test {
protected:
    void SetUp() override {
        ProgramOptions = TProgramOptions{};
        LangID = BaseLanguageId;
        ProgramPath = Dir.filePath("Quorvex");
        Window = std::make_unique<TfrmQuorvMain>();
    }
    void TearDown() override {
        Window.reset();
        ProgramOptions = TProgramOptions{};
    }
    QString SettingsPath() const { return Dir.filePath("Quorvex.set"); }
    QAction* Action(const char* name) const {
        return Window->findChild<QAction*>(QString::fromLatin1(name));
    }
    QStringList MenuCaptions(const QMenu* menu) const {
        QStringList captions;
        for (const QAction* item : menu->actions())
            if (item->isVisible() && !item->isSeparator())
                captions << item->text();
        return captions;
    }

    QTemporaryDir Dir;
    QString ProgramPath;
    std::unique_ptr<TfrmQuorvMain> Window;
};

TEST_F(QuorvMain, ActionsCarryTheirNamesAndShortcuts) {
    const std::pair<const char*, const char*> shortcuts[] = {
        {"actShowRec", "F3"},
        {"actShowDrv", "F4"},
        {"actCopyToPC", "F5"},
        {"actMoveToPC", "Shift+F5"},
        {"actCopyToDefFolder", "F6"},
        {"actMoveToDefFolder", "Shift+F6"},
        {"actRecErase", "F8"},
        {"actRecSettings", "F9"},
        {"actCopyToRec", "Alt+Left"},
        {"actShowAddInfo", "Ctrl+I"},
        {"actGoToDefFolder", "Ctrl+G"},
        {"actFolderTree", "Ctrl+T"},
        {"actViewExp", "Ctrl+E"},
        {"actExpRefresh", "Ctrl+R"},
        {"Exit1", "Alt+F4"},
    };
    for (const auto& [name, key] : shortcuts) {
        const QAction* action = Action(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->shortcut().toString().toStdString(), key) << name;
    }
    for (const char* name :
         {"mainPanel", "pnlRecContent", "pnlRecorder", "lvRecContent", "lvDrvContent",
          "cbexRecLocation", "pnlStatus", "pnlExpWindow", "ShellTreeView1", "ShellListView1",
          "ShellComboBox1", "ToolBar1", "pmConnect", "Timer1", "lbDemo", "lbErrorState"})
        EXPECT_NE(Window->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(Window->objectName(), "frmQuorvMain");
}

TEST_F(QuorvMain, TheConnectionMenuShowsTheEmulationAndTheSpiAdapterOnly) {
    EXPECT_EQ(MenuCaptions(Window->Widgets().pmConnect),
              (QStringList{"Emulation (Demo mode)", "USB 2.0 SPI adapter"}));
    // The connection menu stands in the Recorder menu where the hidden item is.
    const QList<QAction*> items = Window->Widgets().Recorder1->actions();
    const qsizetype root = items.indexOf(Window->Widgets().pmConnect->menuAction());
    ASSERT_GE(root, 0);
    EXPECT_EQ(items.at(root + 1), Window->Widgets().miConnectType);
    EXPECT_FALSE(Window->Widgets().miConnectType->isVisible());
    EXPECT_EQ(Window->Widgets().pmConnect->menuAction()->text(),
              Window->Widgets().miConnectType->text());
}

TEST_F(QuorvMain, ExplorerActionsFollowTheExplorerWindowAndRecorderActionsWaitForAConnection) {
    for (const bool shown : {true, false}) {
        Window->Widgets().actViewExp->setChecked(shown);
        Window->RunIdlePass();
        for (const char* name :
             {"actGoToDefFolder", "actSetDefFolder", "actFolderTree", "actExpRefresh"})
            EXPECT_EQ(Action(name)->isEnabled(), shown) << name;
    }
    for (const char* name :
         {"actConnect", "actDisconnect", "actRecRefresh", "actFormat", "actRecSettings",
          "actShowRec", "actShowDrv", "actRecErase", "actCopyToPC", "actMoveToPC",
          "actCopyToDefFolder", "actMoveToDefFolder", "actCopySelPart", "actCopyToRec",
          "actSyncClock", "actDrvLevelUp"})
        EXPECT_FALSE(Action(name)->isEnabled()) << name;
}

TEST_F(QuorvMain, ClosingIsRefusedWhileTheHourglassShowsOrAnOperationRuns) {
    Window->InitMainForm(ProgramPath);
    Window->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    EXPECT_FALSE(Window->close());
    Window->Widgets().Exit1->trigger(); // Alt+F4 does the same
    EXPECT_TRUE(Window->isVisible());
    QApplication::restoreOverrideCursor();

    Window->SetBusy(true);
    EXPECT_FALSE(Window->close());
    Window->SetBusy(false);
    EXPECT_FALSE(QFileInfo::exists(SettingsPath())); // nothing saved by a refused close
    EXPECT_TRUE(Window->close());
    EXPECT_TRUE(QFileInfo::exists(SettingsPath()));
}

TEST_F(QuorvMain, TheInitialisationAppliesTheSettingsFileAndTheCloseWritesItBack) {
    WriteBytes(SettingsPath(), "[Settings]\r\n"
                               "ConnectType=7\r\n"
                               "LangID=9999\r\n"
                               "ExpWindow=0\r\n"
                               "ViewStyle=2\r\n"
                               "Split=0\r\n"
                               "RecentCount=2\r\n"
                               "[OtherSettings]\r\n"
                               "RecentFile0=/images/one & two.ovk\r\n"
                               "RecentFile1=/images/b.ovk\r\n"
                               "RecentFile2=/images/stale.ovk\r\n"
                               "lvRecContentColumn2Width=133\r\n"
                               "Custom=kept\r\n");
    Window->InitMainForm(ProgramPath);
    EXPECT_TRUE(Window->IsInitialised());

    // A kind outside the menu checks the emulation and is kept.
    EXPECT_TRUE(Window->Widgets().miDemo->isChecked());
    EXPECT_EQ(ProgramOptions.ConnectType, 7);
    EXPECT_EQ(LangID, 1033); // no language declares 9999
    EXPECT_TRUE(ProgramOptions.Split);
    EXPECT_FALSE(Window->Widgets().actViewExp->isChecked());
    EXPECT_EQ(Window->ViewStyle(), 2);
    EXPECT_TRUE(Window->Widgets().mnList->isChecked());
    EXPECT_EQ(Window->Widgets().lvRecContent->columnWidth(2), 133);
    // The default folder beside the program, created; the default mask.
    EXPECT_EQ(ProgramOptions.DefFolder, Dir.filePath("Sounds"));
    EXPECT_TRUE(QFileInfo(Dir.filePath("Sounds")).isDir());
    EXPECT_EQ(ProgramOptions.FileNameMask.toStdString(), GetLangConstant("DefFNMaskStr"));

    // Recent items keep their path in the item's data, whatever the caption makes of it.
    QStringList recent;
    for (const QAction* item : Window->Widgets().pmConnect->actions())
        if (item->objectName().startsWith("RecentFile"))
            recent << item->data().toString();
    EXPECT_EQ(recent, (QStringList{"/images/one & two.ovk", "/images/b.ovk"}));

    // The splash goes with the first idle pass after the initialisation.
    Window->RunIdlePass();
    EXPECT_TRUE(Window->Widgets().Splash.isNull());

    Window->Widgets().lvRecContent->setColumnWidth(2, 150);
    ASSERT_TRUE(Window->close());
    const std::string saved = ReadBytes(SettingsPath());
    for (const char* line :
         {"ConnectType=7\r\n", "LangID=1033\r\n", "ExpWindow=0\r\n", "ViewStyle=2\r\n",
          "Split=1\r\n", "RecentCount=2\r\n", "lvRecContentColumn2Width=150\r\n", "Custom=kept\r\n",
          "RecentFile1=/images/b.ovk\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
    EXPECT_EQ(saved.find("stale.ovk"), std::string::npos);
    EXPECT_NE(saved.find("Placement=2C000000"), std::string::npos);
}

TEST_F(QuorvMain, AnUnreadableSettingsFileIsReportedAndTheDefaultsHold) {
    // A folder where the file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir(Dir.path()).mkdir("Quorvex.set"));
    TModalScript boxes({ClickButton(QMessageBox::Ok), ClickButton(QMessageBox::Ok)});
    Window->InitMainForm(ProgramPath);
    EXPECT_TRUE(Window->IsInitialised());
    EXPECT_EQ(ProgramOptions.ConnectType, 0);
    EXPECT_EQ(ProgramOptions.RecentCount, 3);
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_TRUE(
        boxes.Texts.at(0).startsWith(QString::fromStdString(GetLangConstant("CantOpenStr"))))
        << boxes.Texts.at(0).toStdString();
    EXPECT_TRUE(boxes.Texts.at(0).contains(SettingsPath()));

    // Saving fails, says so, and the window still closes.
    EXPECT_FALSE(Window->SaveSettings());
    ASSERT_EQ(boxes.Texts.size(), 2);
    EXPECT_TRUE(
        boxes.Texts.at(1).startsWith(QString::fromStdString(GetLangConstant("CantCreateStr"))));
    EXPECT_TRUE(boxes.Done());
    EXPECT_TRUE(Window->close());
}

TEST_F(QuorvMain, AMissingSettingsFileIsCopiedFromTheCurrentFolder) {
    QTemporaryDir current;
    WriteBytes(current.filePath("Quorvex.set"), "[Settings]\r\nConnectType=4\r\n");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(current.path());
    Window->InitMainForm(ProgramPath);
    QDir::setCurrent(previous);
    EXPECT_EQ(ProgramOptions.ConnectType, 4);
    EXPECT_TRUE(Window->Widgets().miUSB20_SPI->isChecked());
    EXPECT_EQ(ReadBytes(SettingsPath()), "[Settings]\r\nConnectType=4\r\n");
}

TEST_F(QuorvMain, WithoutLanguageFilesTheMenuHoldsTheBaseLanguageOnlyChecked) {
    ASSERT_EQ(LangManager()->GetLanguageCount(), 1); // no language registered yet
    Window->InitMainForm(ProgramPath);
    const QStringList captions = MenuCaptions(Window->Widgets().Language1);
    ASSERT_EQ(captions.size(), 1);
    const QString base = QString::fromStdString(GetLangConstant("BaseLangStr")) + " (";
    EXPECT_TRUE(captions.first().startsWith(base)) << captions.first().toStdString();
    EXPECT_TRUE(Window->Widgets().Language1->actions().first()->isChecked());
}

// Stands in for the language-file parser: "LANGID=n" on the first line, and the application
// name as the one translated constant.
class TFakeLanguageReader : public TVexaLangFileReader {
public:
    std::uint16_t ReadLanguageId(const std::string& fileName) override {
        std::ifstream in(fileName);
        std::string line;
        std::getline(in, line);
        return line.rfind("LANGID=", 0) == 0 ? static_cast<std::uint16_t>(std::stoi(line.substr(7)))
                                             : 0;
    }
    std::unique_ptr<TVexaLang_CompTranslations>
    LoadTranslations(const std::string& fileName) override {
        std::ifstream in(fileName);
        if (!in)
            throw EVexaLangError("Cannot open file " + fileName);
        std::string line, appName;
        while (std::getline(in, line))
            if (line.rfind("AppNameStr=", 0) == 0)
                appName = line.substr(11, line.find('\r') - 11);
        auto translations = std::make_unique<TVexaLang_CompTranslations>();
        translations->Constants().Add("AppNameStr", appName);
        return translations;
    }
};

// Each test has a language manager of its own, set up as the program entry sets up the
// program-wide one: the built-in texts' language is 0 until the language files are known.
class QuorvMainLanguages : public QuorvMain {
protected:
    void SetUp() override {
        QuorvMain::SetUp();
        Manager.SetFileReader(std::make_shared<TFakeLanguageReader>());
        Manager.SetDefaultLanguageID(0);
        Manager.SetCurrentLanguageID(0);
        Window->SetLanguageManager(&Manager);
    }
    TVexaLanguageManager Manager;
    QString LanguageFile(const char* name, int langId, const char* appName) {
        const QString path = Dir.filePath(name);
        WriteBytes(path, "LANGID=" + std::to_string(langId) +
                             "\r\n[$CONSTANTS]\r\nAppNameStr=" + appName + "\r\n");
        return path;
    }
};

TEST_F(QuorvMainLanguages, ASwitchChecksItsItemOnlyWhenItSucceedsAndTheChoiceIsSaved) {
    const QString german = LanguageFile("Quorvex_de.lng", 1031, "Anwendung");
    const QString french = LanguageFile("Quorvex_fr.lng", 1036, "Application FR");
    ASSERT_TRUE(Manager.AddLanguageFile(german.toStdString()));
    ASSERT_TRUE(Manager.AddLanguageFile(french.toStdString()));
    Window->InitMainForm(ProgramPath);

    auto item = [this](int langId) -> QAction* {
        for (QAction* action : Window->Widgets().Language1->actions())
            if (action->data().toInt() == langId)
                return action;
        return nullptr;
    };
    ASSERT_NE(item(1031), nullptr);
    ASSERT_NE(item(1036), nullptr);
    ASSERT_NE(item(1033), nullptr); // the base-language item, first
    EXPECT_EQ(Window->Widgets().Language1->actions().first(), item(1033));

    item(1031)->trigger();
    EXPECT_EQ(LangID, 1031);
    EXPECT_TRUE(item(1031)->isChecked());
    EXPECT_EQ(Manager.ConstantText("AppNameStr"), "Anwendung");

    // A language file that went away: the switch fails, is reported, nothing moves.
    ASSERT_TRUE(QFile::remove(french));
    {
        TModalScript boxes({ClickButton(QMessageBox::Ok)});
        item(1036)->trigger();
        EXPECT_EQ(boxes.Texts.size(), 1);
        EXPECT_TRUE(boxes.Done());
    }
    EXPECT_EQ(LangID, 1031);
    EXPECT_TRUE(item(1031)->isChecked());
    EXPECT_FALSE(item(1036)->isChecked());

    ASSERT_TRUE(Window->close());
    EXPECT_NE(ReadBytes(SettingsPath()).find("LangID=1031\r\n"), std::string::npos);
}

TEST_F(QuorvMainLanguages, AnEnglishLanguageFileTakesThePlaceOfTheBaseLanguageItem) {
    ASSERT_TRUE(Manager.AddLanguageFile(
        LanguageFile("Quorvex_en.lng", 1033, "Application EN").toStdString()));
    ASSERT_TRUE(
        Manager.AddLanguageFile(LanguageFile("Quorvex_de.lng", 1031, "Anwendung").toStdString()));
    Window->InitMainForm(ProgramPath);
    QList<int> ids;
    for (const QAction* action : Window->Widgets().Language1->actions())
        ids << action->data().toInt();
    EXPECT_EQ(ids.size(), 2);
    EXPECT_TRUE(ids.contains(1033) && ids.contains(1031));
    const QString base = QString::fromStdString(GetLangConstant("BaseLangStr"));
    for (const QAction* action : Window->Widgets().Language1->actions())
        EXPECT_FALSE(action->text().startsWith(base));
    EXPECT_EQ(LangID, 1033);
    EXPECT_EQ(Manager.ConstantText("AppNameStr"), "Application EN");
}

} // namespace
