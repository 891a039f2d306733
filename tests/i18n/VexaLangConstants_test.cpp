#include <gtest/gtest.h>
#include <random>

#include "i18n/VexaLangConstants.h"
#include "i18n/VexaLangError.h"
#include "i18n/VexaLangResources.h"
#include "tests/i18n/StreamBytes.h"

namespace {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EVexaLangError& error) {
        return error.what();
    }
    return "(no error)";
}

std::vector<std::string> NamesInOrder(const TVexaLang_Constants& table) {
    std::vector<std::string> names;
    for (int i = 0; i < table.Count(); ++i)
        names.push_back(table.Item(i).Name);
    return names;
}

} // namespace

TEST(VexaLangConstants, NameRuleAcceptsLettersOfAnyScriptAndRejectsTheRest) {
    struct TCase {
        const char* Name;
        bool Valid;
    };
    const TCase cases[] = {
        {"A", true},
        {"_", true},
        {"_x9", true},
        {"AccessQuestionStr", true},
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", true}, // Cyrillic word
        {"\xE5\x90\x8D\xE5\x89\x8D", true},                         // CJK word
        {"x\xD9\xA3", true},  // an Arabic-Indic digit after a letter
        {"\xD9\xA3x", false}, // ... but not first
        {"", false},
        {"9Lives", false},
        {"Dot.Name", false},
        {"Two Words", false},
        {"Dash-Name", false},
        {"Name\xFF", false}, // not UTF-8
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TVexaLang_Constants::IsValidName(c.Name), c.Valid) << c.Name;
}

TEST(VexaLangConstants, AddKeepsNameOrderAndRefusesBadOrRepeatedNames) {
    TVexaLang_Constants table;
    for (const char* name : {"Zeta", "alpha", "Beta", "_under", "beta2"})
        table.Add(name, std::string("text of ") + name);
    // ASCII letters folded, then ordinal: "_" (0x5F) sorts after the folded letters.
    EXPECT_EQ(NamesInOrder(table),
              (std::vector<std::string>{"alpha", "Beta", "beta2", "Zeta", "_under"}));

    EXPECT_EQ(ErrorOf([&] { table.Add("1st", "x"); }), "Invalid constant name (\"1st\")");
    EXPECT_EQ(ErrorOf([&] { table.Add("a.b", "x"); }), "Invalid constant name (\"a.b\")");
    EXPECT_EQ(ErrorOf([&] { table.Add("", "x"); }), "Invalid constant name (\"\")");
    // The message quotes the name being added, not the one present.
    EXPECT_EQ(ErrorOf([&] { table.Add("ALPHA", "x"); }), "Duplicate constant name (\"ALPHA\")");
    EXPECT_EQ(table.Count(), 5);

    int index = -1;
    EXPECT_TRUE(table.IndexOfName("ZETA", index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(table.IndexOfName("Gamma", index));
    EXPECT_EQ(index, 3); // between "beta2" and "Zeta"

    const TVexaLang_Constant& beta = table.FindConstant("bEtA");
    EXPECT_EQ(beta.Value, "text of Beta");
    EXPECT_EQ(beta.DefaultValue, "text of Beta");
    EXPECT_EQ(beta.Flags, 0);
    EXPECT_EQ(ErrorOf([&] { table.GetValueByName("Gamma"); }), "Constant \"Gamma\" not found");
}

TEST(VexaLangConstants, ReadsEveryStreamVersion) {
    // "Привет" in Windows-1251, the code page of Russian (1049).
    const std::string privetCp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    const std::string privetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
    const std::u16string privetUtf16 = u"\u041F\u0440\u0438\u0432\u0435\u0442";
    struct TCase {
        const char* Label;
        std::vector<std::uint8_t> Stream;
        bool AutoSave;
    };
    const TCase cases[] = {
        {"v0: no flag, 8-bit name and value",
         TStreamBytes().Byte(0).I32(1).Narrow("Hello").Narrow(privetCp1251).Bytes, false},
        {"v1: no flag, auto-save implied",
         TStreamBytes().Byte(1).I32(1).Narrow("Hello").Narrow(privetCp1251).Bytes, true},
        {"v2: flag, 8-bit name, UTF-16 value",
         TStreamBytes().Byte(2).Byte(0).I32(1).Narrow("Hello").Wide(privetUtf16).Bytes, false},
        {"v3: flag, UTF-16 name and value",
         TStreamBytes().Byte(3).Byte(7).I32(1).Wide(u"Hello").Wide(privetUtf16).Bytes, true},
    };
    for (const TCase& c : cases) {
        TVexaLang_Constants table([] { return std::uint16_t{1049}; });
        table.SetAutoSave(!c.AutoSave);
        table.ReadConstantsStream(c.Stream);
        ASSERT_EQ(table.Count(), 1) << c.Label;
        EXPECT_EQ(table.GetValueByName("hello"), privetUtf8) << c.Label;
        EXPECT_EQ(table.Item(0).DefaultValue, privetUtf8) << c.Label;
        EXPECT_EQ(table.AutoSave(), c.AutoSave) << c.Label;
    }
}

TEST(VexaLangConstants, OldValuesFollowTheLanguageOfTheTable) {
    // The same byte is "é" under Windows-1252 (English) and "й" under Windows-1251 (Russian).
    auto stream = TStreamBytes().Byte(1).I32(1).Narrow("Letter").Narrow("\xE9").Bytes;
    TVexaLang_Constants english([] { return std::uint16_t{1033}; });
    TVexaLang_Constants russian([] { return std::uint16_t{1049}; });
    english.ReadConstantsStream(stream);
    russian.ReadConstantsStream(stream);
    EXPECT_EQ(english.GetValueByName("Letter"), "\xC3\xA9");
    EXPECT_EQ(russian.GetValueByName("Letter"), "\xD0\xB9");
}

TEST(VexaLangConstants, BadStreamsFailWithTheirErrorAndLeaveTheTableAlone) {
    struct TCase {
        const char* Label;
        std::vector<std::uint8_t> Stream;
        std::string Message;
    };
    const TCase cases[] = {
        {"version 4", TStreamBytes().Byte(4).Byte(1).I32(0).Bytes,
         "Stream version (4) is greater than the current one (3)"},
        {"version 255", TStreamBytes().Byte(255).Bytes,
         "Stream version (255) is greater than the current one (3)"},
        {"empty", {}, "Stream read error"},
        {"count cut short", TStreamBytes().Byte(3).Byte(1).U16(1).Bytes, "Stream read error"},
        {"more pairs announced than present",
         TStreamBytes().Byte(3).Byte(1).I32(2).Wide(u"A").Wide(u"a").Bytes, "Stream read error"},
        {"string longer than the stream",
         TStreamBytes().Byte(3).Byte(1).I32(1).U16(500).U16('A').Bytes, "Stream read error"},
        {"huge count", TStreamBytes().Byte(3).Byte(1).I32(0x7FFFFFFF).Bytes, "Stream read error"},
        {"negative count", TStreamBytes().Byte(3).Byte(1).I32(-1).Bytes,
         "Invalid constants count (-1)"},
        {"duplicate name",
         TStreamBytes()
             .Byte(3)
             .Byte(1)
             .I32(2)
             .Wide(u"Same")
             .Wide(u"1")
             .Wide(u"SAME")
             .Wide(u"2")
             .Bytes,
         "Duplicate constant name (\"SAME\")"},
        {"invalid name", TStreamBytes().Byte(2).Byte(1).I32(1).Narrow("a.b").Wide(u"x").Bytes,
         "Invalid constant name (\"a.b\")"},
    };
    for (const TCase& c : cases) {
        TVexaLang_Constants table;
        table.Add("Kept", "still here");
        EXPECT_EQ(ErrorOf([&] { table.ReadConstantsStream(c.Stream); }), c.Message) << c.Label;
        EXPECT_EQ(table.Count(), 1) << c.Label;
        EXPECT_EQ(table.GetValueByName("Kept"), "still here") << c.Label;
    }
}

TEST(VexaLangConstants, WriterProducesTheCurrentLayoutByteForByte) {
    TVexaLang_Constants table;
    table.Add("b", "\xE2\x84\x96");      // "№", U+2116
    table.Add("A", "x\xF0\x9F\x98\x80"); // an emoji: a surrogate pair in UTF-16
    table.SetAutoSave(true);
    auto expected = TStreamBytes()
                        .Byte(3)
                        .Byte(1)
                        .I32(2)
                        .Wide(u"A")
                        .Wide(u"x\U0001F600")
                        .Wide(u"b")
                        .Wide(u"\u2116")
                        .Bytes;
    EXPECT_EQ(table.WriteConstantsStream(), expected);

    TVexaLang_Constants reread;
    reread.ReadConstantsStream(expected);
    EXPECT_EQ(reread.GetValueByName("a"), "x\xF0\x9F\x98\x80");
    EXPECT_EQ(reread.GetValueByName("B"), "\xE2\x84\x96");
}

TEST(VexaLangConstants, EveryPrefixAndRandomBytesFailCleanly) {
    TVexaLang_Constants source;
    source.Add("First", "one");
    source.Add("Second", "two\r\nlines");
    auto stream = source.WriteConstantsStream();
    for (std::size_t length = 0; length < stream.size(); ++length) {
        TVexaLang_Constants table;
        std::vector<std::uint8_t> prefix(stream.begin(), stream.begin() + length);
        EXPECT_THROW(table.ReadConstantsStream(prefix), EVexaLangError) << length;
        EXPECT_EQ(table.Count(), 0);
    }
    std::mt19937 random(20240611);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> garbage(random() % 64);
        for (auto& byte : garbage)
            byte = static_cast<std::uint8_t>(random());
        if (!garbage.empty())
            garbage[0] %= 5; // mostly known versions, so the body gets parsed
        TVexaLang_Constants table;
        try {
            table.ReadConstantsStream(garbage);
        } catch (const EVexaLangError&) {
        }
    }
}

TEST(VexaLangConstants, TranslateFromKeepsWhatTheOtherTableLacks) {
    TVexaLang_Constants table;
    table.Add("X", "x default");
    table.Add("Y", "y default");
    TVexaLang_Constants languageA;
    languageA.Add("x", "x in A");
    languageA.Add("y", "y in A");
    languageA.Add("Unknown", "ignored");
    TVexaLang_Constants languageB;
    languageB.Add("Y", "y in B");

    table.TranslateFrom(&languageA);
    table.TranslateFrom(&languageB);
    EXPECT_EQ(table.GetValueByName("X"), "x in A");
    EXPECT_EQ(table.GetValueByName("Y"), "y in B");
    EXPECT_EQ(table.Count(), 2);

    table.TranslateFrom(nullptr);
    EXPECT_EQ(table.GetValueByName("X"), "x default");
    EXPECT_EQ(table.GetValueByName("Y"), "y default");
}

TEST(VexaLangConstants, LoadFromResourceNeedsTheResource) {
    TResourceModule module;
    TVexaLang_Constants table;
    table.Add("Kept", "k");
    EXPECT_FALSE(table.LoadFromResource(module, "VEXALANG_CONSTS"));
    EXPECT_EQ(table.Count(), 1);

    module.AddResource("VexaLang_Consts",
                       TStreamBytes().Byte(3).Byte(1).I32(1).Wide(u"Only").Wide(u"o").Bytes);
    EXPECT_TRUE(table.LoadFromResource(module, "VEXALANG_CONSTS"));
    EXPECT_EQ(NamesInOrder(table), std::vector<std::string>{"Only"});
}
