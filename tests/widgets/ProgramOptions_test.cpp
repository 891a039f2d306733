#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/IniFile.h"
#include "tests/support/FileBytes.h"
#include "widgets/ProgramOptions.h"

namespace {

std::string ReadBytes(const QString& path) {
    return testsupport::ReadFileBytes(path.toStdString());
}

void WriteBytes(const QString& path, const std::string& bytes) {
    testsupport::WriteFileBytes(path.toStdString(), bytes);
}

class ProgramOptionsFile : public ::testing::Test {
protected:
    QString Path(const char* name = "Quorvex.set") const { return Dir.filePath(name); }

    // Loads the file as the main window does: options and layout start as given.
    void Load(const std::string& bytes) {
        WriteBytes(Path(), bytes);
        const TIniFile ini(Path().toStdString());
        LangId = LoadLanguageId(ini, LangId);
        LoadSettings(ini, Options, Layout);
    }
    void SaveAndReload() {
        {
            TIniFile ini(Path().toStdString());
            SaveSettings(ini, Options, Layout, TWindowPlacement{}, LangId);
            ASSERT_TRUE(ini.UpdateFile());
        }
        // Everything read back starts empty; the lists keep their column counts.
        Options = TProgramOptions{};
        TMainLayout empty;
        empty.RecColumnWidths.assign(Layout.RecColumnWidths.size(), 0);
        empty.DrvColumnWidths.assign(Layout.DrvColumnWidths.size(), 0);
        empty.ShellColumnWidths.assign(Layout.ShellColumnWidths.size(), 0);
        Layout = empty;
        const TIniFile ini(Path().toStdString());
        LoadSettings(ini, Options, Layout);
        LangId = LoadLanguageId(ini, 0);
    }

    QTemporaryDir Dir;
    TProgramOptions Options;
    TMainLayout Layout;
    std::uint16_t LangId = BaseLanguageId;
};

TEST_F(ProgramOptionsFile, AnEmptyFileGivesTheDefaults) {
    Layout.ExpWindow = false;
    Load("");
    EXPECT_EQ(Options.ConnectType, 0);
    EXPECT_TRUE(Layout.ExpWindow); // the explorer window is shown by default
    EXPECT_EQ(Options.RecentCount, 3);
    EXPECT_TRUE(Options.Split);
    EXPECT_EQ(Options.MaxOutputSize, 0);
    EXPECT_EQ(LangId, 1033);
    EXPECT_TRUE(Options.RecentFiles.isEmpty());
    EXPECT_FALSE(Options.SyncTime || Options.AutoDownload || Options.AutoDelete ||
                 Options.NonDownOnly || Options.SkipSilence || Options.ShowVoiceParts ||
                 Options.HideEditor || Options.DisableEditor || Options.HideFlashDrive ||
                 Options.DisableFlashDrive || Options.SimpleQualitySetup ||
                 Options.SimpleVasSetup || Options.SimpleAmpSetup || Options.HideMaskEdit ||
                 Options.HideSplitting || Options.NonSavedEraseDisable || Options.HideExpert ||
                 Options.HideAdvExpert || Options.AonOnly || Options.SorvaneFormat ||
                 Options.HideSorvaneFormat || Options.HideAmpSettings);
}

TEST_F(ProgramOptionsFile, EveryReadDefaultsToTheValueInMemory) {
    Options.ConnectType = 4;
    Options.DefFolder = "/home/u/Sounds";
    Options.MaxOutputSize = 640;
    Options.SkipSilence = true;
    Options.HideAmpSettings = true;
    Options.ImageFileName = "/images/a.ovk";
    Options.RecentCount = 9;
    Options.Split = false;
    Layout.ExpWidth = 321;
    Layout.RecColumnWidths = {10, 20, 30};
    LangId = 1049;
    // Missing keys and numbers that do not parse leave each option as it was.
    Load("[Settings]\r\nConnectType=four\r\nMaxOutputSize=\r\nSkipSilence=yes\r\n");
    EXPECT_EQ(Options.ConnectType, 4);
    EXPECT_EQ(Options.DefFolder, "/home/u/Sounds");
    EXPECT_EQ(Options.MaxOutputSize, 640);
    EXPECT_TRUE(Options.SkipSilence);
    EXPECT_TRUE(Options.HideAmpSettings);
    EXPECT_EQ(Options.ImageFileName, "/images/a.ovk");
    EXPECT_EQ(Layout.ExpWidth, 321);
    EXPECT_EQ(Layout.RecColumnWidths, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(LangId, 1049);
    // The two exceptions.
    EXPECT_EQ(Options.RecentCount, 3);
    EXPECT_TRUE(Options.Split);
}

TEST_F(ProgramOptionsFile, TheRulesOfSingleValues) {
    struct Case {
        const char* line;
        void (*check)(const TProgramOptions&);
    };
    const Case cases[] = {
        {"Split=0", [](const TProgramOptions& o) { EXPECT_TRUE(o.Split); }},
        {"ConnectType=7", [](const TProgramOptions& o) { EXPECT_EQ(o.ConnectType, 7); }},
        {"SyncTime=5", [](const TProgramOptions& o) { EXPECT_TRUE(o.SyncTime); }},
        {"SyncTime=0", [](const TProgramOptions& o) { EXPECT_FALSE(o.SyncTime); }},
        {"MaxOutputSize=-1", [](const TProgramOptions& o) { EXPECT_EQ(o.MaxOutputSize, -1); }},
        {"RecentCount=258", [](const TProgramOptions& o) { EXPECT_EQ(o.RecentCount, 2); }},
        {"RecentCount=0", [](const TProgramOptions& o) { EXPECT_EQ(o.RecentCount, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Options = TProgramOptions{};
        Load(std::string("[Settings]\r\n") + c.line + "\r\n");
        c.check(Options);
    }
}

TEST_F(ProgramOptionsFile, MaxOutputSizeSurvivesASaveAndALoad) {
    Load("");
    Options.MaxOutputSize = 5000;
    SaveAndReload();
    EXPECT_EQ(Options.MaxOutputSize, 5000);
}

TEST_F(ProgramOptionsFile, RecentFilesFollowTheCount) {
    Load("[Settings]\r\nRecentCount=2\r\n[OtherSettings]\r\n"
         "RecentFile0=/img/0.ovk\r\nRecentFile1=/img/1.ovk\r\nRecentFile2=/img/2.ovk\r\n"
         "RecentFile3=/img/3.ovk\r\nRecentFile4=/img/4.ovk\r\n");
    EXPECT_EQ(Options.RecentFiles, (QStringList{"/img/0.ovk", "/img/1.ovk"}));

    Load("[Settings]\r\nRecentCount=2\r\n[OtherSettings]\r\nRecentFile0=\r\n"
         "RecentFile1=/img/1.ovk\r\n");
    EXPECT_EQ(Options.RecentFiles, (QStringList{"/img/1.ovk"}));
}

TEST_F(ProgramOptionsFile, KeysBeyondTheRecentListAreDeletedOnSave) {
    Load("[Settings]\r\nRecentCount=5\r\n[OtherSettings]\r\n"
         "RecentFile0=/img/0.ovk\r\nRecentFile1=/img/1.ovk\r\nRecentFile2=/img/2.ovk\r\n"
         "recentfile3=/img/3.ovk\r\nRecentFile4=/img/4.ovk\r\nRecentFile12=/img/12.ovk\r\n");
    Options.RecentFiles = {"/img/new.ovk", "/img/0.ovk"};
    SaveAndReload();
    const std::string text = ReadBytes(Path());
    EXPECT_EQ(text.find("/img/2.ovk"), std::string::npos);
    EXPECT_EQ(text.find("/img/3.ovk"), std::string::npos);
    EXPECT_EQ(text.find("/img/12.ovk"), std::string::npos);
    // A larger count later does not bring the old entries back.
    EXPECT_EQ(Options.RecentFiles, (QStringList{"/img/new.ovk", "/img/0.ovk"}));
}

TEST_F(ProgramOptionsFile, AWindowsWrittenFileReadsAndWritesBackWithoutLoss) {
    // CRLF, ANSI (Windows-1252) text, keys and sections in other letter case, values with
    // blanks, backslashes and commas, a comment and keys this program does not know.
    const std::string file = "; written by hand\r\n"
                             "[SETTINGS]\r\n"
                             "connecttype = 4\r\n"
                             "maxoutputsize=700\r\n"
                             "Unknown Key = stays, as it is\r\n"
                             "\r\n"
                             "[othersettings]\r\n"
                             "defFolder=C:\\Program Files\\Rec, Sounds\\\r\n"
                             "FILENAMEMASK = call_[rn], [yyyy]\\[mm] caf\xE9.wav \r\n"
                             "ImageFileName=\"  D:\\Images\\my image.ovk  \"\r\n";
    Load(file);
    EXPECT_EQ(Options.ConnectType, 4);
    EXPECT_EQ(Options.MaxOutputSize, 700);
    EXPECT_EQ(Options.DefFolder, "C:\\Program Files\\Rec, Sounds\\");
    EXPECT_EQ(Options.FileNameMask, QString::fromUtf8("call_[rn], [yyyy]\\[mm] caf\u00E9.wav"));
    EXPECT_EQ(Options.ImageFileName, "  D:\\Images\\my image.ovk  ");

    const TProgramOptions loaded = Options;
    SaveAndReload();
    EXPECT_EQ(Options.DefFolder, loaded.DefFolder);
    EXPECT_EQ(Options.FileNameMask, loaded.FileNameMask);
    EXPECT_EQ(Options.ImageFileName, loaded.ImageFileName);
    EXPECT_EQ(Options.ConnectType, 4);

    const std::string written = ReadBytes(Path());
    EXPECT_NE(written.find("; written by hand\r\n"), std::string::npos);
    EXPECT_NE(written.find("Unknown Key = stays, as it is\r\n"), std::string::npos);
    EXPECT_NE(written.find("caf\xE9.wav"), std::string::npos); // still ANSI, not UTF-8
    EXPECT_EQ(written.find("caf\xC3\xA9"), std::string::npos);
    for (std::size_t at = written.find('\n'); at != std::string::npos;
         at = written.find('\n', at + 1))
        ASSERT_EQ(written[at - 1], '\r') << "every line ends with CR LF";
}

TEST_F(ProgramOptionsFile, LayoutValuesAndColumnWidthsRoundTrip) {
    Load("");
    const TMainLayout saved = {
        260, false, 140, true, 1, {120, 60, 110, 70, 80, 90}, {200, 50, 100}, {180, 60}};
    Layout = saved;
    SaveAndReload();
    EXPECT_EQ(Layout.ExpWidth, 260);
    EXPECT_FALSE(Layout.ExpWindow);
    EXPECT_EQ(Layout.FoldersWidth, 140);
    EXPECT_TRUE(Layout.FolderTree);
    EXPECT_EQ(Layout.ViewStyle, 1);
    EXPECT_EQ(Layout.RecColumnWidths, saved.RecColumnWidths);
    EXPECT_EQ(Layout.DrvColumnWidths, saved.DrvColumnWidths);
    EXPECT_EQ(Layout.ShellColumnWidths, saved.ShellColumnWidths);
    EXPECT_NE(ReadBytes(Path()).find("lvShellContentColumn1Width=60\r\n"), std::string::npos);
}

TEST(ProgramPlacement, HexTextRoundTripsAndNeedsExactly44Bytes) {
    TWindowPlacement placement;
    placement.ShowCmd = TWindowPlacement::ShowMaximized;
    placement.NormalLeft = -8;
    placement.NormalTop = 16;
    placement.NormalRight = 1024;
    placement.NormalBottom = 700;
    const QString hex = placement.ToHex();
    EXPECT_EQ(hex.size(), 88);
    EXPECT_TRUE(hex.startsWith("2C000000")); // the length field first, little-endian
    EXPECT_EQ(hex, hex.toUpper());
    EXPECT_EQ(hex.mid(28 * 2, 8), "F8FFFFFF"); // NormalLeft at offset 28
    ASSERT_TRUE(TWindowPlacement::FromHex(hex).has_value());
    EXPECT_EQ(*TWindowPlacement::FromHex(hex), placement);
    EXPECT_EQ(*TWindowPlacement::FromHex(hex.toLower()), placement);

    for (const QString& bad :
         {QString(), hex.left(86), hex + "00", hex.left(87) + "G", hex.left(87), QString(88, 'Z')})
        EXPECT_FALSE(TWindowPlacement::FromHex(bad).has_value()) << bad.toStdString();
}

TEST(ProgramSettingsPlace, BesideTheProgramWhenWritableElseTheConfigFolder) {
    EXPECT_EQ(SettingsFilePath("/opt/q/Quorvex", true, "/home/u/.config/Quorvex"),
              "/opt/q/Quorvex.set");
    EXPECT_EQ(SettingsFilePath("/opt/q/Quorvex.bin", true, "/cfg"), "/opt/q/Quorvex.set");
    EXPECT_EQ(SettingsFilePath("/opt/q/Quorvex", false, "/home/u/.config/Quorvex"),
              "/home/u/.config/Quorvex/Quorvex.set");
}

TEST(ProgramSettingsPlace, AMissingFileIsCopiedFromTheCurrentFolderNeverOverAnExistingOne) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("program"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("current"));
    const QString target = dir.filePath("program/Quorvex.set");
    WriteBytes(dir.filePath("current/Quorvex.set"), "[Settings]\r\nConnectType=4\r\n");

    EXPECT_TRUE(CopyMissingSettingsFile(target, dir.filePath("current")));
    EXPECT_EQ(ReadBytes(target), "[Settings]\r\nConnectType=4\r\n");

    WriteBytes(target, "[Settings]\r\nConnectType=1\r\n");
    EXPECT_FALSE(CopyMissingSettingsFile(target, dir.filePath("current")));
    EXPECT_EQ(ReadBytes(target), "[Settings]\r\nConnectType=1\r\n");

    EXPECT_FALSE(CopyMissingSettingsFile(dir.filePath("program/Other.set"),
                                         dir.filePath("current"))); // nothing to copy
    // The configuration folder is made when it is missing.
    EXPECT_TRUE(
        CopyMissingSettingsFile(dir.filePath("cfg/new/Quorvex.set"), dir.filePath("current")));
}

} // namespace
