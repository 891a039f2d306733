#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/IniFile.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return (Folder / name).string(); }
    std::string Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
        return PathOf(name);
    }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t EntriesInFolder() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(Folder), {}));
    }

    testsupport::TTempDir Temp;
    const fs::path& Folder = Temp.Path;
};

} // namespace

TEST_F(IniFileTest, ReadsLikeTheProfileFunctions) {
    const std::string text = "Orphan=before any section\r\n"
                             "; a comment=not a key\r\n"
                             "[Settings]\r\n"
                             "  DefFolder  =  C:\\Sounds  \r\n"
                             "Mask=\"  padded  \"\r\n"
                             "Single='x'\r\n"
                             "Inner=a \"b\" c\r\n"
                             "Half=\"open\r\n"
                             "Inline=1 ; not a comment\r\n"
                             "   ;Indented=comment\r\n"
                             "Empty=\r\n"
                             "NoEquals line\r\n"
                             "=no name\r\n"
                             "Dup=first\r\n"
                             "DUP=second\r\n"
                             "[ settings ]\r\n"
                             "Dup=third\r\n"
                             "Later=only in the repeated section\r\n"
                             "[Other]\n"
                             "Unix=lf line\r"
                             "Mac=cr line";
    TIniFile ini(Put("read.ini", text));
    struct TCase {
        const char* Section;
        const char* Key;
        const char* Expected;
    };
    const TCase cases[] = {
        {"Settings", "DefFolder", "C:\\Sounds"},
        {"SETTINGS", "deffolder", "C:\\Sounds"},
        {"Settings", "Mask", "  padded  "},
        {"Settings", "Single", "x"},
        {"Settings", "Inner", "a \"b\" c"},
        {"Settings", "Half", "\"open"},
        {"Settings", "Inline", "1 ; not a comment"},
        {"Settings", ";Indented", "(default)"},
        {"Settings", "Empty", ""},
        {"Settings", "NoEquals line", "(default)"},
        {"Settings", "", "(default)"},
        {"Settings", "Dup", "first"},
        {"Settings", "Later", "only in the repeated section"},
        {"Settings", "Orphan", "(default)"},
        {"", "Orphan", "(default)"},
        {"Other", "Unix", "lf line"},
        {"Other", "Mac", "cr line"},
        {"Missing", "DefFolder", "(default)"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ini.ReadString(c.Section, c.Key, "(default)"), c.Expected)
            << c.Section << "/" << c.Key;

    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Settings", "Other"}));
    EXPECT_EQ(ini.ReadSection("settings"),
              (std::vector<std::string>{"DefFolder", "Mask", "Single", "Inner", "Half", "Inline",
                                        "Empty", "Dup", "Later"}));
    EXPECT_TRUE(ini.SectionExists("OTHER"));
    EXPECT_FALSE(ini.SectionExists("Missing"));
    EXPECT_TRUE(ini.ValueExists("Settings", "empty"));
    EXPECT_FALSE(ini.ValueExists("Settings", "Orphan"));
}

TEST(StrToIntDef, ParsesLikeTheFramework) {
    struct TCase {
        const char* Text;
        std::int32_t Expected;
    };
    const TCase cases[] = {
        {"0", 0},
        {"12", 12},
        {"007", 7},
        {"-7", -7},
        {"+5", 5},
        {"  42", 42},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$1F", 31},
        {"$ff", 255},
        {"0x1f", 31},
        {"0X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        // Failures give the default, -99.
        {"2147483648", -99},
        {"-2147483649", -99},
        {"$100000000", -99},
        {"99999999999999999999", -99},
        {"", -99},
        {"-", -99},
        {"$", -99},
        {"0x", -99},
        {"12abc", -99},
        {"12 ", -99},
        {"1.5", -99},
        {"true", -99},
        {"$G", -99},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(StrToIntDef(c.Text, -99), c.Expected) << c.Text;
}

TEST_F(IniFileTest, IntegersAndBooleansReadThroughStrToIntDef) {
    TIniFile ini(Put("numbers.ini", "[N]\r\nDec=5000\r\nHex=$10\r\nBad=5k\r\nQuoted=\"12\"\r\n"
                                    "One=1\r\nZero=0\r\nTwo=2\r\nMinus=-1\r\nWord=true\r\n"
                                    "Blank=\r\n"));
    EXPECT_EQ(ini.ReadInteger("N", "Dec", 3), 5000);
    EXPECT_EQ(ini.ReadInteger("N", "Hex", 3), 16);
    EXPECT_EQ(ini.ReadInteger("N", "Bad", 3), 3);
    EXPECT_EQ(ini.ReadInteger("N", "Quoted", 3), 12);
    EXPECT_EQ(ini.ReadInteger("N", "Missing", 3), 3);
    struct TCase {
        const char* Key;
        bool Default;
        bool Expected;
    };
    const TCase cases[] = {
        {"One", false, true},   {"Zero", true, false},   {"Two", false, true},
        {"Minus", false, true}, {"Word", true, true},    {"Word", false, false},
        {"Blank", true, true},  {"Missing", true, true}, {"Missing", false, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ini.ReadBool("N", c.Key, c.Default), c.Expected) << c.Key << c.Default;
}

TEST_F(IniFileTest, UpdateKeepsUnknownLinesAndPlacesNewKeys) {
    const std::string original = "; settings of the program\r\n"
                                 "\r\n"
                                 "[Settings]\r\n"
                                 "  Indented = kept as written\r\n"
                                 "ConnectType=3\r\n"
                                 "\r\n"
                                 "; trailing comment of the section\r\n"
                                 "[OtherSettings]\r\n"
                                 "RecentFile0=a.ovk\r\n";
    std::string path = Put("settings.set", original);
    {
        TIniFile ini(path);
        ini.WriteInteger("settings", "connecttype", 4);
        ini.WriteBool("Settings", "SyncTime", true);
        ini.WriteString("New Section", "Key", "value");
        ini.WriteInteger("OtherSettings", "MaxOutputSize", -5000);
        EXPECT_TRUE(ini.Modified());
        EXPECT_TRUE(ini.UpdateFile());
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_EQ(Contents(path), "; settings of the program\r\n"
                              "\r\n"
                              "[Settings]\r\n"
                              "  Indented = kept as written\r\n"
                              "ConnectType=4\r\n"
                              "SyncTime=1\r\n"
                              "\r\n"
                              "; trailing comment of the section\r\n"
                              "[OtherSettings]\r\n"
                              "RecentFile0=a.ovk\r\n"
                              "MaxOutputSize=-5000\r\n"
                              "\r\n"
                              "[New Section]\r\n"
                              "Key=value\r\n");
    EXPECT_EQ(EntriesInFolder(), 1u); // no temporary file left behind

    TIniFile reread(path);
    EXPECT_EQ(reread.ReadInteger("OtherSettings", "MaxOutputSize", 0), -5000);
    EXPECT_TRUE(reread.ReadBool("Settings", "SyncTime", false));
}

TEST_F(IniFileTest, WrittenValuesReadBackExactly) {
    const std::string values[] = {
        "",      "plain",        "  leading and trailing  ", "\"quoted\"", "'single'", "\"half",
        "a;b=c", "C:\\Sounds\\", "\xD0\x96\xD1\x83\xD0\xBA", "\t tab",
    };
    std::string path = PathOf("roundtrip.ini");
    {
        TIniFile ini(path);
        for (std::size_t i = 0; i < std::size(values); ++i)
            ini.WriteString("S", "Key" + std::to_string(i), values[i]);
        // Line breaks cannot live in a line; they become blanks.
        ini.WriteString("S", "Lines", "one\r\ntwo");
        EXPECT_EQ(ini.ReadString("S", "Key2", "?"), values[2]);
    } // the destructor writes pending changes
    TIniFile ini(path);
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(ini.ReadString("S", "Key" + std::to_string(i), "?"), values[i]) << i;
    EXPECT_EQ(ini.ReadString("S", "Lines", "?"), "one  two");
}

TEST_F(IniFileTest, NamesTheFileCannotHoldAreNotWritten) {
    TIniFile ini(PathOf("names.ini"));
    ini.WriteString("", "Key", "v");
    ini.WriteString("S", "", "v");
    ini.WriteString("S", "a=b", "v");
    ini.WriteString("S]x", "Key", "v");
    ini.WriteString("S", "two\nlines", "v");
    ini.WriteString("S", ";comment", "v");
    EXPECT_FALSE(ini.Modified());
    EXPECT_TRUE(ini.ReadSections().empty());
}

TEST_F(IniFileTest, DeleteKeyAndEraseSectionRemoveEveryOccurrence) {
    std::string path = Put("delete.ini", "[A]\r\nK=1\r\nOther=x\r\n[B]\r\nK=2\r\n[a]\r\nk=3\r\n"
                                         "; comment inside a\r\n[C]\r\nK=4\r\n");
    TIniFile ini(path);
    // Names are trimmed, as everywhere.
    ini.DeleteKey(" A ", "K ");
    EXPECT_FALSE(ini.ValueExists("A", "K")); // not even the one of the repeated section
    EXPECT_EQ(ini.ReadString("A", "Other", ""), "x");
    EXPECT_EQ(ini.ReadString("B", "K", ""), "2");
    ini.EraseSection("a ");
    EXPECT_FALSE(ini.SectionExists("A"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"B", "C"}));
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(Contents(path), "[B]\r\nK=2\r\n[C]\r\nK=4\r\n");

    TIniFile untouched(path);
    untouched.DeleteKey("B", "Missing");
    untouched.EraseSection("Missing");
    EXPECT_FALSE(untouched.Modified());
}

TEST_F(IniFileTest, EncodingsAreReadAndKept) {
    const std::string zhuk = "\xD0\x96\xD1\x83\xD0\xBA"; // "Жук"
    struct TCase {
        const char* Label;
        std::string Bytes;
        unsigned CodePage;
        const char* Expected;
    };
    const TCase cases[] = {
        {"UTF-8 with BOM", "\xEF\xBB\xBF[S]\r\nName=" + zhuk + "\r\n", 1252, zhuk.c_str()},
        {"UTF-8 without BOM", "[S]\r\nName=" + zhuk + "\r\n", 1252, zhuk.c_str()},
        {"UTF-16LE",
         std::string("\xFF\xFE[\0S\0]\0\r\0\n\0N\0a\0m\0e\0=\0\x16\x04\x43\x04\x3A\x04\r\0\n\0",
                     32),
         1252, zhuk.c_str()},
        {"Windows-1251", "[S]\r\nName=\xC6\xF3\xEA\r\n", 1251, zhuk.c_str()},
        {"Windows-1252", "[S]\r\nName=Caf\xE9\r\n", 1252, "Caf\xC3\xA9"},
    };
    for (const TCase& c : cases) {
        std::string path = Put("enc.ini", c.Bytes);
        {
            TIniFile ini(path, c.CodePage);
            EXPECT_EQ(ini.ReadString("S", "Name", "?"), c.Expected) << c.Label;
            ini.WriteString("S", "Name", c.Expected); // unchanged text, rewritten line
            ASSERT_TRUE(ini.UpdateFile()) << c.Label;
        }
        EXPECT_EQ(Contents(path), c.Bytes) << c.Label;
    }
}

TEST_F(IniFileTest, AnsiFileGainingForeignTextBecomesUtf8WithBom) {
    std::string path = Put("ansi.ini", "[S]\r\nName=Caf\xE9\r\n");
    {
        TIniFile ini(path, 1252);
        ini.WriteString("S", "Other", "\xD0\x96"); // Cyrillic, not in Windows-1252
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_EQ(Contents(path), "\xEF\xBB\xBF[S]\r\nName=Caf\xC3\xA9\r\nOther=\xD0\x96\r\n");
    TIniFile reread(path, 1252);
    EXPECT_EQ(reread.ReadString("S", "Name", "?"), "Caf\xC3\xA9");
}

TEST_F(IniFileTest, FailuresAreReportedAndNeverCostTheOldFile) {
    // A folder that does not exist.
    TIniFile nowhere(PathOf("missing/settings.set"));
    nowhere.WriteString("S", "K", "v");
    EXPECT_FALSE(nowhere.UpdateFile());
    EXPECT_TRUE(nowhere.Modified());

    // Something that exists but cannot be read as a file is never replaced.
    fs::create_directory(PathOf("folder.ini"));
    TIniFile folder(PathOf("folder.ini"));
    EXPECT_TRUE(folder.ReadSections().empty());
    folder.WriteString("S", "K", "v");
    EXPECT_FALSE(folder.UpdateFile());
    EXPECT_TRUE(fs::is_directory(PathOf("folder.ini")));
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(IniFileTest, ReplacingKeepsTheFileModeAndWritesThroughLinks) {
    std::string path = Put("profile.rpr", "[Recorder model]\r\nModel=12\r\n");
    ::chmod(path.c_str(), 0640);
    fs::create_symlink(path, PathOf("link.rpr"));
    {
        TIniFile ini(PathOf("link.rpr"));
        ini.WriteInteger("Recorder model", "Model", 9);
        ASSERT_TRUE(ini.UpdateFile());
    }
    EXPECT_TRUE(fs::is_symlink(PathOf("link.rpr")));
    EXPECT_EQ(Contents(path), "[Recorder model]\r\nModel=9\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
