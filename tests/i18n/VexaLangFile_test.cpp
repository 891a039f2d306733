#include <fstream>
#include <gtest/gtest.h>
#include <random>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangEscape.h"
#include "i18n/VexaLangFile.h"
#include "i18n/VexaLangManager.h"
#include "platform/CodePage.h"
#include "platform/TextFormat.h"
#include "tests/i18n/FakeLanguages.h"
#include "tests/support/TestData.h"

namespace {

std::string Write(const TLanguageFolder& folder, const std::string& name,
                  const std::string& bytes) {
    std::filesystem::path file = folder.Path / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
}

std::unique_ptr<TVexaLang_CompTranslations> Parse(const std::string& text,
                                                  bool parametersOnly = false) {
    auto translations = std::make_unique<TVexaLang_CompTranslations>();
    ParseLanguageText(text, *translations, parametersOnly);
    return translations;
}

std::string ParseError(const std::string& text) {
    try {
        Parse(text);
    } catch (const EVexaLangError& error) {
        return error.what();
    }
    return "(no error)";
}

// Pins the system's ANSI code page for one test.
class TSystemCodePage {
public:
    explicit TSystemCodePage(unsigned codePage) { SetSystemAnsiCodePage(codePage); }
    ~TSystemCodePage() { SetSystemAnsiCodePage(0); }
};

} // namespace

TEST(LanguageFileEscapes, UnescapeTable) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"(a\nb)", "a\r\nb"},        {R"(a\tb)", "a\tb"},
        {R"(a\\b)", "a\\b"},          {R"(bell\07)", "bell\x07"},
        {R"(\65\66)", "AB"},          {R"(\00x)", std::string("\0x", 2)},
        {R"(\N\T\q)", R"(\N\T\q)"},   // unknown escapes stay
        {R"(end\7)", R"(end\7)"},     // a single digit at the end
        {R"(\7x)", R"(\7x)"},         // a single digit before a non-digit
        {"trailing\\", "trailing\\"}, // nothing after the backslash
        {R"(\\n)", R"(\n)"},          // the doubled backslash wins, n is plain
        {R"(\\\n)", "\\\r\n"},        {"", ""},
    };
    for (const auto& [escaped, plain] : cases)
        EXPECT_EQ(UnescapeControlChars(escaped), plain) << escaped;
}

TEST(LanguageFileEscapes, EscapeTableAndRoundTrip) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\r\nb", R"(a\nb)"},   {"a\n\rb", R"(a\nb)"},     {"a\nb", R"(a\nb)"},
        {"a\rb", R"(a\nb)"},     {"a\n\nb", R"(a\n\nb)"},   {"tab\t", R"(tab\t)"},
        {"back\\", R"(back\\)"}, {"\x07\x1F", R"(\07\31)"}, {"Grüße", "Grüße"},
    };
    for (const auto& [plain, escaped] : cases)
        EXPECT_EQ(EscapeControlChars(plain), escaped) << escaped;
    for (const std::string plain : {"x\r\ny\tz\\w\x01", "\\n literally", "\\07"})
        EXPECT_EQ(UnescapeControlChars(EscapeControlChars(plain)), plain) << plain;
}

TEST(LanguageFileParse, HeaderConstantsAndSections) {
    auto file = Parse("; a comment\r\n"
                      "  LANGID = 1031  \r\n"
                      "Author=A \\n B\n"
                      "noequals\n"
                      "=no name\n"
                      "[ $constants ]\r"
                      "ErrorStr = Fehler\\n!\n"
                      "; Comment=not a constant\n"
                      "[frmMain]\n"
                      "00000012=Datei\n"
                      "12x=ignored\n"
                      "0=ignored\n"
                      "-3=ignored\n"
                      "99999999999=ignored\n"
                      "7 = Hilfe \n"
                      "[]\n"
                      "8=still frmMain\n"
                      "[frmAbout\n"
                      "9=still frmMain\n"
                      "[AboutBox]\n"
                      "1=Info\n"
                      "[FRMMAIN]\n"
                      "10=continued\n"
                      "LANGID=1049\n");
    EXPECT_EQ(file->LanguageId(), 1031);
    EXPECT_EQ(file->Parameter("author"), "A \\n B"); // header values keep their escapes
    EXPECT_FALSE(file->HasParameter("noequals"));
    EXPECT_EQ(file->Constants().Count(), 1);
    EXPECT_EQ(file->Constants().GetValueByName("ErrorStr"), "Fehler\r\n!");

    ASSERT_EQ(file->SectionCount(), 2);
    const TVexaLang_CompTranslation* main = file->FindSection("frmMain");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->SectionName(), "frmMain");
    std::vector<std::pair<int, std::string>> texts;
    for (int i = 0; i < main->Count(); ++i)
        texts.emplace_back(main->Item(i).Id, main->Item(i).Text);
    const std::vector<std::pair<int, std::string>> expected = {
        {7, "Hilfe"}, {8, "still frmMain"}, {9, "still frmMain"}, {10, "continued"}, {12, "Datei"}};
    EXPECT_EQ(texts, expected);
    ASSERT_NE(file->FindSection("aboutbox"), nullptr);
    EXPECT_EQ(*file->FindSection("aboutbox")->Find(1), "Info");
}

TEST(LanguageFileParse, ParametersOnlyStopsAtTheFirstSection) {
    auto file = Parse("Name=German\n[$CONSTANTS]\nBad Name=x\nLANGID=1031\n", true);
    EXPECT_EQ(file->Parameter("Name"), "German");
    EXPECT_EQ(file->LanguageId(), 0); // placed after the first section: not seen
    EXPECT_EQ(file->Constants().Count(), 0);
    // For the scan any line that begins with "[" ends the header, even one that opens no
    // section.
    EXPECT_EQ(Parse("[]\nLANGID=1049\n", true)->LanguageId(), 0);
}

TEST(LanguageFileParse, LineErrorsNameTheZeroBasedLine) {
    EXPECT_EQ(ParseError("LANGID=1031\n\n[$CONSTANTS]\n1Str=x\n"),
              "Loading translations failed.\r\nLine 3: Invalid constant name (\"1Str\")");
    EXPECT_EQ(ParseError("[$Constants]\nAStr=x\r\nastr=y\n"),
              "Loading translations failed.\r\nLine 2: Duplicate constant name (\"astr\")");
    EXPECT_EQ(ParseError("[frmMain]\n5=a\n[other]\n5=fine\n[FRMMAIN]\n005=b\n"),
              "Loading translations failed.\r\nLine 5: Duplicate property value translation "
              "ID (5)");
    // CR LF counts as one line break, a lone CR as one too.
    EXPECT_EQ(ParseError("[$CONSTANTS]\r\n\r\rA.B=x"),
              "Loading translations failed.\r\nLine 3: Invalid constant name (\"A.B\")");
}

TEST(LanguageFileDecode, ByteOrderMarksAndTheSystemCodePage) {
    EXPECT_EQ(DecodeLanguageFileText("\xEF\xBB\xBFLANGID=1049"), "LANGID=1049");
    EXPECT_EQ(DecodeLanguageFileText(std::string("\xFF\xFE"
                                                 "A\0\x16\x04",
                                                 6)),
              "A\u0416");
    EXPECT_EQ(DecodeLanguageFileText(std::string("\xFE\xFF\0A\x04\x16", 6)), "A\u0416");
    // Cut inside the last UTF-16 character, or with an unpaired surrogate.
    EXPECT_EQ(DecodeLanguageFileText(std::string("\xFF\xFE"
                                                 "A\0B",
                                                 5)),
              "A\uFFFD");
    EXPECT_EQ(DecodeLanguageFileText(std::string("\xFF\xFE\x00\xD8", 4)), "\uFFFD");
    // Broken UTF-8 after its mark becomes replacement characters.
    EXPECT_EQ(DecodeLanguageFileText("\xEF\xBB\xBF"
                                     "a\xC3"),
              "a\uFFFD");
    {
        TSystemCodePage cyrillic(1251);
        EXPECT_EQ(DecodeLanguageFileText("\xD4\xE0\xE9\xEB"), "Файл");
    }
    {
        TSystemCodePage western(1252);
        EXPECT_EQ(DecodeLanguageFileText("Gr\xFC\xDF"
                                         "e"),
                  "Grüße");
    }
}

TEST(LanguageFileReader, ReadsFilesAndReportsOpenFailures) {
    TLanguageFolder folder;
    TSystemCodePage cyrillic(1251);
    const std::string russian = Write(
        folder, "ru.lng", "LANGID=1049\r\n[$CONSTANTS]\r\nErrorStr=\xCE\xF8\xE8\xE1\xEA\xE0\r\n");
    TVexaLangFileParser reader;
    EXPECT_EQ(reader.ReadLanguageId(russian), 1049);
    EXPECT_EQ(reader.LoadTranslations(russian)->Constants().GetValueByName("ErrorStr"), "Ошибка");

    const std::string missing = (folder.Path / "gone.lng").string();
    EXPECT_THROW(reader.ReadLanguageId(missing), EVexaLangError);
    EXPECT_THROW(reader.LoadTranslations(missing), EVexaLangError);
    EXPECT_THROW(reader.LoadTranslations(folder.Path.string()), EVexaLangError); // a folder
}

TEST(LanguageFileReader, GarbageAndTruncatedFilesFailCleanly) {
    // Random bytes, and every cut of a valid file: each either loads or raises the
    // translation error; a file that fails leaves the language and every text as they were.
    const std::string valid = "\xEF\xBB\xBFLANGID=1049\n[$CONSTANTS]\nAStr=a\\n\\07\\\n"
                              "[frm]\n1=x\n2=y\\";
    std::vector<std::string> inputs;
    for (std::size_t cut = 0; cut <= valid.size(); ++cut)
        inputs.push_back(valid.substr(0, cut));
    std::mt19937 random(12345);
    const std::string alphabet = "[]=;\\$\r\n 0123456789AZaz\x01\xFF\xFE\xEF\xBB\xBF\xC3\xD0";
    for (int n = 0; n < 400; ++n) {
        std::string bytes;
        const int length = static_cast<int>(random() % 80);
        for (int i = 0; i < length; ++i)
            bytes += (random() % 4 == 0) ? static_cast<char>(random() & 0xFF)
                                         : alphabet[random() % alphabet.size()];
        inputs.push_back(bytes);
        inputs.push_back("[$CONSTANTS]\n" + bytes); // names that are no constant names
    }

    TLanguageFolder folder;
    TVexaLanguageManager manager;
    Write(folder, "Quorvex_deu.lng", "LANGID=1031\n[$CONSTANTS]\nExceptErrorStr=Fehler %s %d %d\n");
    Write(folder, "Quorvex_rus.lng", "LANGID=1049\n");
    ASSERT_EQ(ScanProgramLanguageFiles(manager, (folder.Path / "Quorvex").string()), 2);

    int failures = 0;
    for (const std::string& bytes : inputs) {
        for (bool parametersOnly : {true, false}) {
            TVexaLang_CompTranslations target;
            try {
                ParseLanguageText(DecodeLanguageFileText(bytes), target, parametersOnly);
            } catch (const EVexaLangError&) {
            }
        }
        manager.SetCurrentLanguageID(1031);
        ASSERT_EQ(manager.ConstantText("ExceptErrorStr"), "Fehler %s %d %d");
        Write(folder, "Quorvex_rus.lng", bytes);
        try {
            manager.SetCurrentLanguageID(1049);
        } catch (const EVexaLangError&) {
            ++failures;
            EXPECT_EQ(manager.GetCurrentLanguageID(), 1031) << testing::PrintToString(bytes);
            EXPECT_EQ(manager.ConstantText("ExceptErrorStr"), "Fehler %s %d %d")
                << testing::PrintToString(bytes);
        }
    }
    EXPECT_GT(failures, 0) << "the garbage reached the error path";
    EXPECT_LT(failures, static_cast<int>(inputs.size())) << "and the valid cuts loaded";
}

TEST(LanguageFileScan, RegistersFilesByTheirLanguageId) {
    TLanguageFolder folder;
    TResourceModule module;
    TVexaLanguageManager manager(module);
    manager.SetFileReader(std::make_shared<TVexaLangFileParser>());
    Write(folder, "Quorvex_a.lng", "LANGID=1031\n[$CONSTANTS]\n");
    Write(folder, "Quorvex_b.lng", "; no language id\nName=x\n");
    Write(folder, "Quorvex_c.lng", "LANGID=0\n");
    Write(folder, "Quorvex_d.lng", "LANGID=1033\n"); // the default language
    Write(folder, "Quorvex_e.lng", "LANGID=1049\n");
    const std::string later = Write(folder, "Quorvex_f.lng", "LANGID=1031\n");
    Write(folder, "Quorvex_g.lng", "[$CONSTANTS]\nLANGID=1036\n"); // after a section
    Write(folder, "Quorvex_h.lng", "LANGID=abc\n");
    Write(folder, "Quorvex_i.lng",
          std::string("\xFF\xFE"
                      "L\0",
                      4)); // garbage
    Write(folder, "Other_x.lng", "LANGID=1040\n");
    std::filesystem::create_directory(folder.Path / "Quorvex_dir.lng");

    EXPECT_EQ(manager.FindLanguageFiles(folder.Path.string(), "Quorvex_*.lng", false), 4);
    ASSERT_EQ(manager.GetLanguageCount(), 3);
    EXPECT_EQ(manager.GetLanguageIDByIndex(1), 1031);
    EXPECT_EQ(manager.GetLanguageFileName(1), later); // the later file replaced the earlier
    EXPECT_EQ(manager.GetLanguageIDByIndex(2), 1049);
}

TEST(LanguageSampleFiles, TranslateKnownConstantsWithMatchingPlaceholders) {
    const std::filesystem::path folder = testsupport::TestDataFolder() / "../../i18n/lang";
    TVexaLanguageManager builtIn; // the program's own constants
    TVexaLangFileParser reader;
    const std::vector<std::pair<std::string, std::uint16_t>> files = {{"Quorvex_deu.lng", 1031},
                                                                      {"Quorvex_rus.lng", 1049}};
    for (const auto& [name, langId] : files) {
        const std::string file = (folder / name).string();
        EXPECT_EQ(reader.ReadLanguageId(file), langId) << name;
        auto translations = reader.LoadTranslations(file);
        const TVexaLang_Constants& constants = translations->Constants();
        EXPECT_GT(constants.Count(), 50) << name;
        for (const char* form : {"AboutBox", "PasswordDlg", "frmRename", "frmFmtChoose"})
            EXPECT_NE(translations->FindSection(form), nullptr) << name << ": " << form;
        for (int i = 0; i < constants.Count(); ++i) {
            const TVexaLang_Constant& constant = constants.Item(i);
            const TVexaLang_Constant original = builtIn.Constant(constant.Name);
            EXPECT_TRUE(FormatsAgree(constant.Value, original.DefaultValue))
                << name << ": " << constant.Name;
            EXPECT_TRUE(IsValidUtf8(constant.Value)) << name << ": " << constant.Name;
        }
    }
}

TEST(LanguageFileScan, ProgramFilesAreFoundBesideTheProgram) {
    TLanguageFolder folder;
    TResourceModule module;
    TVexaLanguageManager manager(module);
    Write(folder, "Quorvex_deu.lng", "LANGID=1031\n");
    Write(folder, "Quorvex.lng", "LANGID=1036\n");     // no "_" after the base name
    Write(folder, "Quorvex_rus.txt", "LANGID=1049\n"); // another extension
    Write(folder, "Other_ita.lng", "LANGID=1040\n");   // another program
    EXPECT_EQ(ScanProgramLanguageFiles(manager, (folder.Path / "Quorvex").string()), 1);
    ASSERT_EQ(manager.GetLanguageCount(), 2);
    EXPECT_EQ(manager.GetLanguageIDByIndex(1), 1031);
}
