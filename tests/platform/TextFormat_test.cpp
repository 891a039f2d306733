#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <limits>

#include "platform/TextFormat.h"

namespace {

struct TFormatCase {
    const char* Label;
    std::string Format;
    std::vector<TFormatArg> Args;
    std::string Expected;
};

} // namespace

TEST(TextFormat, FormatsTheProgramsMessages) {
    const TFormatCase cases[] = {
        {"exchange error",
         "ERROR: %s. Cmd: %d; Error code %d",
         {"I/O Error", 3, 1},
         "ERROR: I/O Error. Cmd: 3; Error code 1"},
        {"file info with 64-bit size and two-digit time",
         "Data size: %Ld\r\n    Channels: %d\r\n    Length: %.2d:%.2d:%.2d",
         {std::int64_t{6000000000}, 1, 0, 5, 7},
         "Data size: 6000000000\r\n    Channels: 1\r\n    Length: 00:05:07"},
        {"firmware versions",
         "Replace firmware version %d.%d with firmware version %d.%d?",
         {1, 2, 1, 10},
         "Replace firmware version 1.2 with firmware version 1.10?"},
        {"record number", "Record %d is non-downloaded.", {17}, "Record 17 is non-downloaded."},
        {"no placeholders", "Idle", {}, "Idle"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatText(c.Format, c.Args), c.Expected) << c.Label;
}

TEST(TextFormat, PlaceholderDetails) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const TFormatCase cases[] = {
        {"percent sign", "100%% done", {}, "100% done"},
        {"width", "[%5d]", {42}, "[   42]"},
        {"left aligned", "[%-5d]", {42}, "[42   ]"},
        {"width is not zero padding", "[%05d]", {42}, "[   42]"},
        {"precision pads digits", "%.3d", {7}, "007"},
        {"precision with sign", "%.2d", {-5}, "-05"},
        {"lowest integer",
         "%d",
         {std::numeric_limits<std::int64_t>::min()},
         "-9223372036854775808"},
        {"hexadecimal is upper case", "%x %X", {255, 255}, "FF FF"},
        {"hexadecimal precision", "%.4x", {255}, "00FF"},
        {"negative hexadecimal as 32 bits", "%x", {-1}, "FFFFFFFF"},
        {"negative unsigned as 32 bits", "%u", {-1}, "4294967295"},
        {"fixed defaults to two decimals", "%f", {3.14159}, "3.14"},
        {"fixed precision", "%.1f", {2.26}, "2.3"},
        {"thousands", "%n", {1234567.891}, "1,234,567.89"},
        {"negative thousands", "%.0n", {-1234.0}, "-1,234"},
        {"scientific", "%.3e", {12345.678}, "1.23E+004"},
        {"general", "%g", {0.5}, "0.5"},
        {"text width counts characters",
         "[%4s]",
         {"\xD0\x96\xD1\x83\xD0\xBA"},
         "[ \xD0\x96\xD1\x83\xD0\xBA]"},
        {"text precision cuts at a character",
         "[%.2s]",
         {"\xD0\x96\xD1\x83\xD0\xBA"},
         "[\xD0\x96\xD1\x83]"},
        {"upper-case types", "%S=%D", {"a", 1}, "a=1"},
        {"explicit indices", "%1:s %0:s", {"a", "b"}, "b a"},
        {"after an index the count goes on", "%1:s %s %0:s", {"a", "b", "c"}, "b c a"},
        {"length modifiers ignored", "%ld %lld %I64d %hd", {1, 2, 3, 4}, "1 2 3 4"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatText(c.Format, c.Args), c.Expected) << c.Label;
    EXPECT_EQ(FormatText("%d", {nan}), "0");
}

TEST(TextFormat, BadFormatsAndArgumentsNeverMisbehave) {
    const TFormatCase cases[] = {
        {"missing argument kept as written", "%d and %5.2d", {1}, "1 and %5.2d"},
        {"extra arguments ignored", "%d", {1, 2, "x"}, "1"},
        {"trailing percent", "100%", {}, "100%"},
        {"unknown type", "%z %d", {5}, "%z 5"},
        {"percent and blank", "50% off %s", {"now"}, "50% off now"},
        {"huge width", "%5000d", {1}, "%5000d"},
        {"huge index", "%99999:d", {1}, "%99999:d"},
        {"width from arguments", "%*d", {3, 4}, "%*d"},
        {"pointer type", "%p", {1}, "%p"},
        {"text for a number", "%d items", {"many"}, "many items"},
        {"number for a text", "[%s|%s]", {42, 1.5}, "[42|1.5]"},
        {"floating for an integer", "%d", {2.9}, "2"},
        {"integer for a floating", "%.1f", {3}, "3.0"},
        {"floating far outside 64 bits", "%d", {1e300}, "9223372036854775807"},
        {"infinite floating",
         "%d",
         {-std::numeric_limits<double>::infinity()},
         "-9223372036854775808"},
        {"large fixed", "%.2f", {1e20}, "100000000000000000000.00"},
        {"precision capped", "%.1000f", {0.5}, "0.500000000000000000"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatText(c.Format, c.Args), c.Expected) << c.Label;
}

TEST(TextFormat, IntegersAgreeWithPrintf) {
    // Where the framework's integer formats and C's agree, C is an independent reference.
    const char* formats[] = {"%d", "%5d", "%-5d", "%.2d", "%8.3d", "%u", "%X", "%.6X", "%-8X"};
    const char* cFormats[] = {"%lld", "%5lld", "%-5lld", "%.2lld", "%8.3lld",
                              "%u",   "%X",    "%.6X",   "%-8X"};
    const std::int32_t values[] = {0, 1, -1, 7, -42, 99, 12345, -99999, 2147483647, INT32_MIN};
    for (std::size_t f = 0; f < std::size(formats); ++f) {
        for (std::int32_t value : values) {
            char expected[64];
            if (f < 5)
                std::snprintf(expected, sizeof expected, cFormats[f],
                              static_cast<long long>(value));
            else
                std::snprintf(expected, sizeof expected, cFormats[f], static_cast<unsigned>(value));
            EXPECT_EQ(FormatText(formats[f], {value}), expected) << formats[f] << " " << value;
        }
    }
}

TEST(TextFormat, TranslationIsUsedOnlyWhenItsPlaceholdersAgree) {
    const std::string defaultFormat = "ERROR: %s. Cmd: %d; Error code %d";
    const std::vector<TFormatArg> args = {"I/O Error", 3, 1};
    const std::string fallback = "ERROR: I/O Error. Cmd: 3; Error code 1";
    struct TCase {
        const char* Label;
        std::string Translation;
        std::string Expected;
    };
    const TCase cases[] = {
        {"same placeholders", "FEHLER: %s. Befehl: %d; Code %d",
         "FEHLER: I/O Error. Befehl: 3; Code 1"},
        {"reordered with indices", "Code %2:d, Befehl %1:d: %0:s", "Code 1, Befehl 3: I/O Error"},
        {"other width and precision", "%-12s|%.3d|%2d", "I/O Error   |003| 1"},
        {"kinds swapped", "%d %s %d", fallback},
        {"placeholder missing", "FEHLER: %s. Befehl: %d", fallback},
        {"placeholder added", "%s %d %d %d", fallback},
        {"text where a number was", "%s %s %d", fallback},
        {"malformed placeholder", "100% %s %d %d", fallback},
        {"unknown type", "%s %d %y", fallback},
        {"empty translation", "", fallback},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(FormatText(c.Translation, defaultFormat, args), c.Expected) << c.Label;
        EXPECT_EQ(FormatsAgree(c.Translation, defaultFormat), c.Expected != fallback) << c.Label;
    }
    // "%Ld" and "%d" are the same kind of argument.
    EXPECT_TRUE(FormatsAgree("Size %d", "Data size: %Ld"));
    EXPECT_TRUE(FormatsAgree("Kein Platz", "Not enough space"));
}
