#include <cstdlib>
#include <gtest/gtest.h>
#include <random>

#include "platform/CodePage.h"

namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

TEST(CodePage, ConvertsEveryWindowsCodePageBothWays) {
    // Byte values from Python's codecs, an implementation independent of iconv.
    struct TCase {
        unsigned CodePage;
        const char* AnsiHex;
        const char* Utf8Hex;
    };
    const TCase cases[] = {
        {1250, "a3f3649f", "c581c3b364c5ba"},               // Łódź
        {1251, "cff0e8e2e5f2", "d09fd180d0b8d0b2d0b5d182"}, // Привет
        {1252, "8020636166e9", "e282ac20636166c3a9"},       // € café
        {1253, "d9ecdde3e1", "cea9cebcceadceb3ceb1"},       // Ωμέγα
        {1254, "f0fdfe", "c49fc4b1c59f"},                   // ğış
        {1255, "f9ece5ed", "d7a9d79cd795d79d"},             // שלום
        {1256, "d3e1c7e3", "d8b3d984d8a7d985"},             // سلام
        {1257, "e0e8e6", "c485c48dc499"},                   // ąčę
        {1258, "d0e0", "c490c3a0"},                         // Đà
        {874, "e4b7c2", "e0b984e0b897e0b8a2"},              // ไทย
        {932, "93fa967b", "e697a5e69cac"},                  // 日本
        {936, "d6d0cec4", "e4b8ade69687"},                  // 中文
        {949, "c7d1b1b9", "ed959ceab5ad"},                  // 한국
        {950, "a4a4a4e5", "e4b8ade69687"},                  // 中文
    };
    for (const TCase& c : cases) {
        std::string ansi = FromHex(c.AnsiHex), utf8 = FromHex(c.Utf8Hex);
        EXPECT_TRUE(IsCodePageSupported(c.CodePage)) << c.CodePage;
        EXPECT_EQ(AnsiToUtf8(ansi, c.CodePage), utf8) << c.CodePage;
        bool lossless = false;
        EXPECT_EQ(Utf8ToAnsi(utf8, c.CodePage, &lossless), ansi) << c.CodePage;
        EXPECT_TRUE(lossless) << c.CodePage;
    }
}

TEST(CodePage, BadBytesAndMissingCharactersNeverLoseTheRest) {
    // Undefined Windows-1252 bytes become the C1 controls of the same value, as on Windows,
    // and go back to the same bytes.
    const std::string undefined = "a\x81\x8D\x8F\x90\x9Dz";
    std::string utf8 = AnsiToUtf8(undefined, 1252);
    EXPECT_EQ(utf8, "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9Dz");
    EXPECT_EQ(Utf8ToAnsi(utf8, 1252), undefined);

    // A Hebrew letter that iconv holds back for a combining mark survives the bad byte after it.
    EXPECT_EQ(AnsiToUtf8("\xF9\xFF", 1255), "\xD7\xA9\xEF\xBF\xBD");
    // A double-byte sequence cut short at the end.
    EXPECT_EQ(AnsiToUtf8("ab\x93", 932), "ab\xEF\xBF\xBD");

    bool lossless = true;
    EXPECT_EQ(Utf8ToAnsi("x\xD0\x96y\xE6\x97\xA5z", 1252, &lossless), "x?y?z");
    EXPECT_FALSE(lossless);
    lossless = true;
    EXPECT_EQ(Utf8ToAnsi("bad\xFF", 1252, &lossless), "bad?");
    EXPECT_FALSE(lossless);

    // An unknown code page reads and writes as Windows-1252 rather than losing the text.
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_EQ(AnsiToUtf8("caf\xE9", 12345), "caf\xC3\xA9");
    EXPECT_EQ(Utf8ToAnsi("caf\xC3\xA9", 12345), "caf\xE9");

    std::mt19937 random(7);
    for (unsigned codePage : {1251u, 932u, 65001u}) {
        for (int round = 0; round < 200; ++round) {
            std::string bytes(random() % 40, '\0');
            for (char& byte : bytes)
                byte = static_cast<char>(random());
            EXPECT_TRUE(IsValidUtf8(AnsiToUtf8(bytes, codePage)));
        }
    }
}

TEST(CodePage, Utf8AndUtf16) {
    struct TCase {
        const char* Label;
        std::string Utf8;
        std::u16string Utf16;
    };
    const TCase cases[] = {
        {"ASCII", "abc", u"abc"},
        {"two-byte", "\xD0\x96", u"\u0416"},
        {"three-byte", "\xE2\x84\x96", u"\u2116"},
        {"surrogate pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"empty", "", u""},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.Utf8), c.Utf16) << c.Label;
        EXPECT_EQ(Utf16ToUtf8(c.Utf16), c.Utf8) << c.Label;
        EXPECT_TRUE(IsValidUtf8(c.Utf8)) << c.Label;
    }
    // Malformed input becomes U+FFFD, one per bad unit.
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', char16_t(0xD800), u'b'}), "a\xEF\xBF\xBD"
                                                                         "b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00)}), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xC0\xAF"), u"a\uFFFD\uFFFD"); // overlong
    const char* invalid[] = {"\xFF",    "\xC3", "\xE2\x84", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                             "\xC0\x80"};
    for (const char* text : invalid)
        EXPECT_FALSE(IsValidUtf8(text)) << text;
    EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBD")); // a genuine replacement character
    EXPECT_EQ(Utf8Length("a\xD0\x96\xF0\x9F\x98\x80\xFF"), 4u);
}

TEST(CodePage, LanguageTableGivesNamesAndCodePages) {
    struct TCase {
        std::uint16_t LangId;
        const char* Name;
        unsigned CodePage;
    };
    const TCase cases[] = {
        {0x0409, "English (United States)", 1252},
        {0x0809, "English (United Kingdom)", 1252},
        {0x0419, "Russian (Russia)", 1251},
        {0x0422, "Ukrainian (Ukraine)", 1251},
        {0x0407, "German (Germany)", 1252},
        {0x040C, "French (France)", 1252},
        {0x0C0A, "Spanish (Spain)", 1252},
        {0x0410, "Italian (Italy)", 1252},
        {0x0415, "Polish (Poland)", 1250},
        {0x0405, "Czech (Czech Republic)", 1250},
        {0x0408, "Greek (Greece)", 1253},
        {0x041F, "Turkish (Turkey)", 1254},
        {0x040D, "Hebrew (Israel)", 1255},
        {0x0401, "Arabic (Saudi Arabia)", 1256},
        {0x0426, "Latvian (Latvia)", 1257},
        {0x042A, "Vietnamese (Vietnam)", 1258},
        {0x0411, "Japanese (Japan)", 932},
        {0x0437, "Georgian (Georgia)", 0}, // Unicode only
        {0x3C09, "English", 1252},         // a sub-language we do not list
        {0x03FF, "", 0},                   // no such language
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(LanguageNameOfId(c.LangId), c.Name) << c.LangId;
        EXPECT_EQ(AnsiCodePageOfLanguageId(c.LangId), c.CodePage) << c.LangId;
    }
}

TEST(CodePage, SystemCodePageFollowsTheLocaleUnlessPinned) {
    struct TCase {
        const char* Locale;
        std::uint16_t LangId;
    };
    const TCase cases[] = {
        {"ru_RU.UTF-8", 0x0419},
        {"en_GB", 0x0409},
        {"de", 0x0407},
        {"PL_pl", 0x0415},
        {"C", 0},
        {"POSIX", 0},
        {"", 0},
        {"zz_ZZ", 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(LanguageIdOfLocaleName(c.Locale), c.LangId) << c.Locale;

    SetSystemAnsiCodePage(1251);
    EXPECT_EQ(SystemAnsiCodePage(), 1251u);
    EXPECT_EQ(AnsiToUtf8("\xC6", SystemCodePage), "\xD0\x96");
    SetSystemAnsiCodePage(0);
    EXPECT_NE(SystemAnsiCodePage(), 0u);
}
