#include <gtest/gtest.h>

#include "FixtureBytes.h"
#include "engine/RecClassesSettings.h"

namespace {

using fixture::Bytes;

// Distinct byte values so that a field read from the wrong offset shows.
Bytes PatternBytes(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

TEST(RecProfile, FieldsSitAtTheirOffsetsAndRoundTrip) {
    const Bytes raw = PatternBytes(TRecProfile::Size);
    const TRecProfile p = TRecProfile::FromBytes(raw.data());
    struct Case {
        const char* field;
        unsigned value;
        std::size_t offset;
        int width;
    };
    const Case cases[] = {
        {"Request", p.Request, 0, 1},
        {"Number", p.Number, 1, 1},
        {"Name[0]", p.Name[0], 2, 1},
        {"Name[7]", p.Name[7], 9, 1},
        {"SampleRate", p.SampleRate, 10, 1},
        {"Compress", p.Compress, 11, 1},
        {"CompressParam", p.CompressParam, 12, 1},
        {"CyclicRecord", p.CyclicRecord, 13, 1},
        {"CycleBufSize", p.CycleBufSize, 14, 1},
        {"TimerType", p.TimerType, 15, 1},
        {"TimerStartHour", p.TimerStartHour, 16, 1},
        {"TimerStartMonth", p.TimerStartMonth, 19, 1},
        {"TimerStartYear", p.TimerStartYear, 20, 2},
        {"TimerStopHour", p.TimerStopHour, 22, 1},
        {"TimerStopMonth", p.TimerStopMonth, 25, 1},
        {"TimerStopYear", p.TimerStopYear, 26, 2},
        {"Vas", p.Vas, 28, 1},
        {"VasLevel", static_cast<std::uint8_t>(p.VasLevel), 29, 1},
        {"VasTime", p.VasTime, 30, 1},
        {"PgacGain", p.PgacGain, 31, 1},
        {"PgacMode", p.PgacMode, 32, 1},
        {"PgacFastAttack", p.PgacFastAttack, 33, 1},
        {"PgacSlowRelease", p.PgacSlowRelease, 36, 1},
    };
    for (const Case& c : cases) {
        const unsigned expected = c.width == 1 ? raw[c.offset] : fixture::Get16(&raw[c.offset]);
        EXPECT_EQ(c.value, expected) << c.field;
    }
    const auto back = p.ToBytes();
    EXPECT_EQ(Bytes(back.begin(), back.end()), raw);
}

TEST(RecSettings, FieldsSitAtTheirOffsetsAndRoundTrip) {
    const Bytes raw = PatternBytes(TRecSettings::Size);
    const TRecSettings s = TRecSettings::FromBytes(raw.data());
    EXPECT_EQ(s.Profiles[3].SampleRate, raw[3 * 37 + 10]);
    EXPECT_EQ(s.Profiles[7].PgacSlowRelease, raw[295]);
    EXPECT_EQ(s.SearchStep, raw[296]);
    EXPECT_EQ(s.KeyPressType, raw[297]);
    EXPECT_EQ(s.AccessLevel, raw[298]);
    EXPECT_EQ(s.BatteryThresholds[0], fixture::Get16(&raw[299]));
    EXPECT_EQ(s.BatteryThresholds[3], fixture::Get16(&raw[305]));
    EXPECT_EQ(s.AntialiasFilter, raw[307]);
    EXPECT_EQ(s.CurrentProfile, raw[308]);
    EXPECT_EQ(s.Password[0], raw[309]);
    EXPECT_EQ(s.Password[20], raw[329]);
    EXPECT_EQ(s.LineParams[0].Tag, raw[330]);
    EXPECT_EQ(s.LineParams[0].Value, raw[331]);
    EXPECT_EQ(s.LineParams[12].Value, raw[355]);
    const auto back = s.ToBytes();
    EXPECT_EQ(Bytes(back.begin(), back.end()), raw);
}

TEST(RecSettings, FindLineParamLooksUpByTagWhateverTheOrder) {
    TRecSettings s;
    s.LineParams[5] = {LineTagAnswerAndCallerId, 0x0C};
    s.LineParams[0] = {0x33, 1}; // unknown tag
    ASSERT_NE(s.FindLineParam(LineTagAnswerAndCallerId), nullptr);
    EXPECT_EQ(s.FindLineParam(LineTagAnswerAndCallerId)->Value, 0x0C);
    EXPECT_EQ(s.FindLineParam(LineTagDialDelay), nullptr);
}

TEST(RecSettings, NormalisationMendsWhatAReadMayFind) {
    struct Case {
        std::uint8_t rate, expectedRate, compress, expectedCompress;
    };
    const Case cases[] = {{0, 0, 0, 0},   {1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 0},
                          {4, 4, 255, 0}, {5, 5, 0, 0}, {6, 4, 0, 0}, {255, 4, 0, 0}};
    static_assert(std::size(cases) == TRecSettings::ProfileCount);
    TRecSettings s;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        s.Profiles[i].SampleRate = cases[i].rate;
        s.Profiles[i].Compress = cases[i].compress;
        s.Profiles[i].Number = 77;
    }
    s.CurrentProfile = 9;
    s.AccessLevel = 0;
    NormaliseRecSettings(s);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(s.Profiles[i].SampleRate, cases[i].expectedRate) << "profile " << i;
        EXPECT_EQ(s.Profiles[i].Compress, cases[i].expectedCompress) << "profile " << i;
        EXPECT_EQ(s.Profiles[i].Number, i + 1);
    }
    EXPECT_EQ(s.CurrentProfile, 0);
    EXPECT_EQ(s.AccessLevel, 1);

    s.CurrentProfile = 7;
    s.AccessLevel = 3;
    NormaliseRecSettings(s);
    EXPECT_EQ(s.CurrentProfile, 7);
    EXPECT_EQ(s.AccessLevel, 3);
}

TEST(RecSettings, RateCodesBothWays) {
    const std::pair<std::uint8_t, std::uint32_t> table[] = {{0, 40000}, {1, 20000}, {2, 13333},
                                                            {3, 8000},  {4, 4000},  {5, 16000}};
    for (auto [code, hz] : table) {
        EXPECT_EQ(RateCodeToHz(code), hz);
        EXPECT_EQ(HzToRateCode(hz), code);
    }
    EXPECT_EQ(RateCodeToHz(6), 4000u);
    EXPECT_EQ(RateCodeToHz(255), 4000u);
    EXPECT_EQ(HzToRateCode(44100), 1);
}

TEST(RecSettings, VasLevelNegation) {
    EXPECT_EQ(NegateVasLevel(-30), 30);
    EXPECT_EQ(NegateVasLevel(0), 0);
    EXPECT_EQ(NegateVasLevel(55), -55);
    EXPECT_EQ(NegateVasLevel(-128), -128); // wraps, never traps
}

TEST(Password, FieldsAreBuiltOverTheNoPasswordBlock) {
    EXPECT_EQ(NoPasswordBlock[19], 0xFF);
    EXPECT_EQ(NoPasswordBlock[20], 0x00);

    EXPECT_EQ(MakePasswordField(""), NoPasswordBlock);
    const auto abc = MakePasswordField("abc");
    ASSERT_TRUE(abc);
    TPasswordField expected = NoPasswordBlock;
    expected[0] = 'a';
    expected[1] = 'b';
    expected[2] = 'c';
    expected[3] = 0;
    EXPECT_EQ(*abc, expected);

    const std::string twenty(20, 'x');
    const auto longest = MakePasswordField(twenty);
    ASSERT_TRUE(longest);
    EXPECT_EQ((*longest)[19], 'x');
    EXPECT_EQ((*longest)[20], 0);
}

TEST(Password, OnlyPrintableAsciiOfAtMostTwentyCharacters) {
    const char* refused[] = {"caf\xC3\xA9", "a\tb", "\x7F", "line\n"};
    for (const char* p : refused) {
        EXPECT_FALSE(IsValidPassword(p)) << p;
        EXPECT_FALSE(MakePasswordField(p)) << p;
    }
    EXPECT_FALSE(MakePasswordField(std::string(21, 'x')));
    EXPECT_TRUE(IsValidPassword(" ~!09AZaz"));
}

TEST(Password, ReadBackFromAField) {
    EXPECT_EQ(PasswordFromField(NoPasswordBlock), "");
    EXPECT_EQ(PasswordFromField(*MakePasswordField("secret")), "secret");
    TPasswordField garbage;
    garbage.fill(0x01);
    EXPECT_FALSE(PasswordFromField(garbage));
    TPasswordField unterminated;
    unterminated.fill('a');
    EXPECT_FALSE(PasswordFromField(unterminated));
}

} // namespace
