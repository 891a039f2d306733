#include <gtest/gtest.h>

#include "engine/RecClassesLists.h"
#include "i18n/VexaLang.h"
#include "transfer/FileNameMask.h"

namespace {

TSystemTime Time(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    TSystemTime t;
    t.Year = static_cast<std::uint16_t>(year);
    t.Month = static_cast<std::uint16_t>(month);
    t.Day = static_cast<std::uint16_t>(day);
    t.Hour = static_cast<std::uint16_t>(hour);
    t.Minute = static_cast<std::uint16_t>(minute);
    t.Second = static_cast<std::uint16_t>(second);
    t.Milliseconds = static_cast<std::uint16_t>(ms);
    return t;
}

const TSystemTime March5 = Time(2011, 3, 5, 14, 7, 9, 42);
const std::string DefaultMask = "file_[rn]_([yyyy]_[mm]_[dd]-[hh_nn_ss])_[sn].wav";

TEST(FileNameMask, DefaultMaskIsTheBuiltInDefaultText) {
    EXPECT_EQ(GetLangConstant("DefFNMaskStr"), DefaultMask);
}

struct TMaskCase {
    const char* Name;
    std::string Mask;
    std::uint32_t VoicePart;
    std::string CallText;
    std::string Expected;
};

class FileNameMaskExpand : public ::testing::TestWithParam<TMaskCase> {};

TEST_P(FileNameMaskExpand, ExpandsTokens) {
    const TMaskCase& c = GetParam();
    EXPECT_EQ(ExpandFileNameMask(c.Mask, March5, "SN123OCV345", 12, c.VoicePart, c.CallText),
              c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileNameMaskExpand,
    ::testing::Values(TMaskCase{"Default", DefaultMask, NoVoicePart, "",
                                "file_12_(2011_03_05-14_07_09)_SN123OCV345.wav"},
                      TMaskCase{"VoicePartNumberFollowsRecord", "[rn]", 3, "", "12_3"},
                      TMaskCase{"VoicePartZero", "[rn]", 0, "", "12_0"},
                      TMaskCase{"TokenCaseIgnored", "[Rn][rN][RN]-[sN]-[Ei]", NoVoicePart, "In 555",
                                "121212-SN123OCV345-In 555"},
                      TMaskCase{"UpperCaseDateTokens", "[YYYY]_[MM]_[DD]-[HH_NN_SS]", NoVoicePart,
                                "", "2011_03_05-14_07_09"},
                      TMaskCase{"UnclosedTokenIsPlainText", "abc[rn", NoVoicePart, "", "abcrn"},
                      TMaskCase{"UnclosedAfterTokens", "[rn]x[yy", NoVoicePart, "", "12xyy"},
                      TMaskCase{"NoBrackets", "plain.wav", NoVoicePart, "x", "plain.wav"},
                      TMaskCase{"StrayClosingBracketCopied", "a]b[rn]]", NoVoicePart, "", "a]b12]"},
                      TMaskCase{"EmptyCallText", "x[ei]y", NoVoicePart, "", "xy"},
                      TMaskCase{"EmptyToken", "a[]b", NoVoicePart, "", "ab"},
                      TMaskCase{"OfferedShort", OfferedFileNameMasks[1], NoVoicePart, "",
                                "file_12_(110305-140709)_SN123OCV345.wav"},
                      TMaskCase{"OfferedMonthName", OfferedFileNameMasks[2], NoVoicePart, "",
                                "recorded 05 March 2011 at 14.07.09.wav"},
                      TMaskCase{"OfferedWithCall", OfferedFileNameMasks[0], NoVoicePart, "Out 0123",
                                "file_12 Out 0123 (2011_03_05-14_07_09)_SN123OCV345.wav"},
                      TMaskCase{"SeparatorsInsideInsertedTextsNeutralised", "[ei]|[sn]",
                                NoVoicePart, "../etc/x\\y\n", ".._etc_x_y_|SN123OCV345"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TFormatCase {
    const char* Format;
    const char* Expected;
};

TEST(FileNameMask, DateTimeFormatLetters) {
    const TFormatCase cases[] = {
        {"yyyy", "2011"},
        {"yy", "11"},
        {"y", "11"},
        {"mm", "03"},
        {"m", "3"},
        {"mmm", "Mar"},
        {"mmmm", "March"},
        {"dd", "05"},
        {"d", "5"},
        {"ddd", "Sat"},
        {"dddd", "Saturday"},
        {"hh", "14"},
        {"nn", "07"},
        {"ss", "09"},
        {"zzz", "042"},
        {"hh:mm", "14:07"},
        {"hh.nn.ss", "14.07.09"},
        {"'day' d", "day 5"},
        {"\"mm\"mm", "mm03"},
        {"_- .", "_- ."},
        {"HhNnSs", "140709"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(FormatMaskDateTime(c.Format, March5), c.Expected) << c.Format;
}

TEST(FileNameMask, SanitizeKeepsSafeNamesAndNeutralisesPaths) {
    const TFormatCase cases[] = {
        {"file_12_(2011_03_05-14_07_09)_SN.wav", "file_12_(2011_03_05-14_07_09)_SN.wav"},
        {"recorded 05 March 2011 at 14.07.09.wav", "recorded 05 March 2011 at 14.07.09.wav"},
        {"Caf\xc3\xa9 call.wav", "Caf\xc3\xa9 call.wav"},
        {"a..b.wav", "a..b.wav"},
        {"../../x.wav", ".._.._x.wav"},
        {"sub\\x.wav", "sub_x.wav"},
        {"tab\there\x7f", "tab_here_"},
        {"..", "_.."},
        {".", "_."},
        {"", "_"},
    };
    for (const TFormatCase& c : cases)
        EXPECT_EQ(SanitizeFileName(c.Format), c.Expected) << c.Format;
}

TEST(FileNameMask, RecordTakesCallersTimeVoicePartItsOwn) {
    TSoundFileInfo recording;
    recording.Number = 12;
    recording.Start = Time(2011, 3, 5, 14, 0, 0);
    recording.CallText = "In 555";
    TSoundFileInfo part;
    part.Number = 3;
    part.Parent = &recording;
    part.Start = Time(2011, 3, 5, 14, 20, 30);
    part.CallText = "";

    const std::string mask = "[rn]_[hh_nn_ss]_[ei]_[sn]";
    EXPECT_EQ(MakeRecordFileName(recording, March5, "S1", mask), "12_14_07_09_In 555_S1");
    EXPECT_EQ(MakeRecordFileName(part, March5, "S1", mask), "12_3_14_20_30__S1");
}

TEST(FileNameMask, MaskWithSeparatorsStaysInTheTargetFolder) {
    TSoundFileInfo recording;
    recording.Number = 7;
    EXPECT_EQ(MakeRecordFileName(recording, March5, "S", "../[rn]/x.wav"), ".._7_x.wav");
    EXPECT_EQ(MakeRecordFileName(recording, March5, "S", ""), "_");
    EXPECT_EQ(MakeRecordFileName(recording, March5, "S", "[rn].wav"),
              MakeRecordFileName(recording, Time(2020, 1, 1, 0, 0, 0), "S", "[rn].wav"));
}

} // namespace
