// DTMF digits from spandsp's generator, decoded at several levels, rates and noise, with
// spandsp's own DTMF receiver as a second opinion on the same audio.

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <spandsp.h>

#include "callerid/CallerIdStatus.h"
#include "callerid/DtmfDecoder.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

const std::string kAllKeys = "1234567890*#ABCD";
constexpr double kPi = 3.14159265358979323846;

TSamples DtmfCall(const std::string& digits, int level, int onMs = 50, int offMs = 55,
                  int twist = 0) {
    TSamples samples = Silence(kSpanRate, 200);
    Append(samples, DtmfDigits(digits, level, onMs, offMs, twist));
    Append(samples, Silence(kSpanRate, 200));
    return samples;
}

std::string DecodeDigits(int rate, const TSamples& samples8k) {
    const auto state = Decode(rate, FromSpanRate(samples8k, rate));
    return DigitText(StatusOf(*state));
}

std::string SpandspDigits(const TSamples& samples8k) {
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(receiver, samples8k.data(), static_cast<int>(samples8k.size()));
    char digits[256];
    const size_t count = dtmf_rx_get(receiver, digits, sizeof digits - 1);
    dtmf_rx_free(receiver);
    return std::string(digits, count);
}

TEST(Dtmf, EveryKeyAtEveryLevelAndRate) {
    for (const int level : {-10, -20, -30}) {
        const TSamples call = DtmfCall(kAllKeys, level);
        for (const int rate : {8000, 16000, 40000}) {
            const auto state = Decode(rate, FromSpanRate(call, rate));
            const TCallerIdStatus status = StatusOf(*state);
            EXPECT_EQ(status.Words[0], 2) << level << " dBm0 at " << rate;
            EXPECT_EQ(status.Words[1], kAllKeys.size() + 1);
            EXPECT_EQ(status.Words[3], 1); // tone digits
            EXPECT_EQ(DigitText(status), kAllKeys) << level << " dBm0 at " << rate;
        }
    }
}

TEST(Dtmf, SynthesisedDigitsAtRatesThatAreNoMultipleOfTheFrame) {
    // Sines made at the rate itself, including the recorder's 13333 Hz; the millisecond
    // clock counts exact milliseconds there too.
    const std::string digits = "159#";
    const int rows[] = {697, 770, 852, 941};
    const int columns[] = {1209, 1336, 1477, 1633};
    const std::string keys = "123A456B789C*0#D";
    for (const int rate : {4000, 11025, 13333, 20000, 22050}) {
        TSamples call = Silence(rate, 200);
        for (const char key : digits) {
            const size_t index = keys.find(key);
            TSamples tone = Sine(rate, rows[index / 4], 5000.0, 60);
            MixInto(tone, Sine(rate, columns[index % 4], 5000.0, 60));
            Append(call, tone);
            Append(call, Silence(rate, 60));
        }
        Append(call, Silence(rate, 200));
        EXPECT_EQ(DigitText(StatusOf(*Decode(rate, call))), digits) << rate;
    }
}

TEST(Dtmf, AgreesWithSpandspInWhiteNoise) {
    const std::string digits = "4085551234";
    for (const int level : {-10, -25}) {
        for (const double snr : {25.0, 15.0}) {
            TSamples call = DtmfCall(digits, level, 60, 60);
            // Noise power against the power of the tone pair (two tones at `level`).
            const float noiseLevel = static_cast<float>(level + 3.0 - snr);
            MixInto(call, WhiteNoise(static_cast<int>(call.size() / 8), noiseLevel, 11));
            EXPECT_EQ(SpandspDigits(call), digits) << level << " dBm0, SNR " << snr;
            for (const int rate : {8000, 40000}) {
                EXPECT_EQ(DecodeDigits(rate, call), digits)
                    << level << " dBm0, SNR " << snr << " at " << rate;
            }
        }
    }
}

TEST(Dtmf, TwistOfFourDecibelsIsAccepted) {
    for (const int twist : {-4, 4}) {
        EXPECT_EQ(DecodeDigits(8000, DtmfCall(kAllKeys, -15, 50, 55, twist)), kAllKeys) << twist;
    }
}

TEST(Dtmf, ShortTonesAreNotDigits) {
    struct TCase {
        int OnMs;
        bool Taken;
    };
    // Each frame looks 13 to 23 ms back, so a tone shows in more frames than its length in
    // 10 ms steps; the key's length measured over blocks that do not overlap decides.
    const TCase cases[] = {{20, false}, {30, false}, {40, false},
                           {50, true},  {60, true},  {100, true}};
    for (const TCase& c : cases) {
        for (const int level : {-10, -30}) {
            for (const int rate : {8000, 40000}) {
                const std::string decoded = DecodeDigits(rate, DtmfCall("159", level, c.OnMs, 60));
                EXPECT_EQ(decoded, c.Taken ? "159" : "")
                    << c.OnMs << " ms at " << level << " dBm0, " << rate << " Hz";
            }
        }
    }
}

// Two sines at 8000 Hz, each gliding linearly by `glide` (a share of its frequency) from below
// to above it over the tone, at -12 dBm0 each.
TSamples GlidingPair(double low, double high, double glide, int milliseconds) {
    const double peak = 32767.0 * std::pow(10.0, (-12.0 - 3.14) / 20.0);
    TSamples out(static_cast<size_t>(kSpanRate * milliseconds / 1000));
    double lowPhase = 0.0;
    double highPhase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(out.size()) - 0.5;
        lowPhase += 2.0 * kPi * low * (1.0 + glide * t) / kSpanRate;
        highPhase += 2.0 * kPi * high * (1.0 + glide * t) / kSpanRate;
        out[i] =
            static_cast<int16_t>(std::lround(peak * (std::sin(lowPhase) + std::sin(highPhase))));
    }
    return out;
}

TEST(Dtmf, APairThatGlidesAsAVoiceDoesIsNoKey) {
    // The harmonics of a voice can sit on a row and a column tone, but they follow its pitch:
    // here both move by 5% over 100 ms, never further than 2.5% from the key's tones.
    for (const double glide : {0.0, 0.05}) {
        TSamples call = Silence(kSpanRate, 200);
        Append(call, GlidingPair(770.0, 1336.0, glide, 100));
        Append(call, Silence(kSpanRate, 200));
        for (const int rate : {8000, 16000, 40000}) {
            EXPECT_EQ(DigitText(StatusOf(*Decode(rate, FromSpanRate(call, rate)))),
                      glide == 0.0 ? "5" : "")
                << glide << " at " << rate;
        }
    }
}

// A 200 ms digit whose level follows `gain` over its duration (0 to 1).
TSamples ShapedDigit(double (*gain)(double)) {
    TSamples digit = DtmfDigits("8", -12, 200, 100);
    const size_t on = 200 * kSpanRate / 1000;
    for (size_t i = 0; i < on && i < digit.size(); ++i) {
        digit[i] = static_cast<int16_t>(
            std::lround(digit[i] * gain(static_cast<double>(i) / static_cast<double>(on))));
    }
    TSamples call = Silence(kSpanRate, 200);
    Append(call, digit);
    Append(call, Silence(kSpanRate, 200));
    return call;
}

TEST(Dtmf, ALevelThatDriftsDuringTheDigitIsRefused) {
    struct TCase {
        const char* Name;
        double (*Gain)(double);
        bool Taken;
    };
    // A steady digit is taken although its correlation amplitude swings with the phase; the
    // spread is judged on the level, over the frames that see only the tone.
    const TCase cases[] = {
        {"steady", [](double) { return 1.0; }, true},
        {"5% ramp", [](double t) { return 1.0 - 0.05 * t; }, true},
        {"20% ramp", [](double t) { return 1.0 - 0.2 * t; }, false},
        {"20% step", [](double t) { return t < 0.5 ? 1.0 : 0.8; }, false},
        {"20% rise", [](double t) { return 0.8 + 0.2 * t; }, false},
    };
    for (const TCase& c : cases) {
        for (const int rate : {8000, 40000}) {
            EXPECT_EQ(DecodeDigits(rate, ShapedDigit(c.Gain)), c.Taken ? "8" : "")
                << c.Name << " at " << rate;
        }
    }
}

TEST(Dtmf, ASteadyKeysLevelHoldsStillWhateverTheBeatOfItsTones) {
    // The level the spread check compares: within a few percent over a steady 200 ms key, for
    // every key at every rate. A window's mean magnitude swings by up to 9% with the beat of
    // the key's two tones, which left noise little of the 15% spread a digit may have.
    for (const int rate : {8000, 16000, 40000}) {
        for (const char key : kAllKeys) {
            const auto state =
                Decode(rate, FromSpanRate(DtmfCall(std::string(1, key), -15, 200, 100), rate));
            std::vector<float> levels;
            for (int i = 0; i < state->DtmfHistory.Write; ++i) {
                const norvel::THistoryEntry& entry = state->DtmfHistory.Entries[i];
                if (entry.Symbol != 0) {
                    levels.push_back(entry.Level);
                }
            }
            ASSERT_GE(levels.size(), 18u) << key << " at " << rate;
            // Leave out the frames whose windows reach over the key's start or end.
            const auto inside = std::vector<float>(levels.begin() + 3, levels.end() - 3);
            const auto [lowest, highest] = std::minmax_element(inside.begin(), inside.end());
            EXPECT_LT((*highest - *lowest) / *highest, 0.03) << key << " at " << rate;
        }
    }
}

// Frames fed straight into the history: symbol s of the DTMF table (row + 1), level 1000.
std::string ExtractFrames(const std::vector<int>& symbols, const std::vector<float>& levels = {}) {
    auto state = std::make_unique<norvel::TNorvelState>();
    for (size_t i = 0; i < symbols.size(); ++i) {
        const float level = i < levels.size() ? levels[i] : 1000.0f;
        norvel::PushDtmfFrame(*state, norvel::THistoryEntry{static_cast<uint8_t>(symbols[i]),
                                                            symbols[i] != 0, level});
    }
    norvel::PushDtmfFrame(*state, norvel::THistoryEntry{});
    norvel::PushDtmfFrame(*state, norvel::THistoryEntry{});
    TCallerIdStatus status{};
    norvel::FillCallerIdStatus(*state, status);
    return DigitText(status);
}

TEST(Dtmf, FrameRulesOfTheExtraction) {
    // Symbol 1 is key "1", symbol 6 key "5" (rows of the code table plus one).
    struct TCase {
        const char* Name;
        std::vector<int> Symbols;
        std::string Digits;
    };
    const TCase cases[] = {
        {"five frames", {0, 1, 1, 1, 1, 1, 0}, "1"},
        {"three frames", {0, 1, 1, 1, 0}, "1"},
        {"two frames", {0, 1, 1, 0}, ""},
        {"one-frame dropout bridged", {0, 1, 1, 0, 1, 0}, "1"},
        {"two-frame dropout splits", {0, 1, 1, 0, 0, 1, 1, 0}, ""},
        {"one-frame outlier bridged", {0, 1, 1, 6, 1, 1, 0}, "1"},
        {"change without a gap", {0, 1, 1, 1, 1, 1, 6, 6, 6, 6, 6, 0}, ""},
        {"closing gaps open the next", {0, 1, 1, 1, 1, 1, 0, 0, 6, 6, 6, 6, 6, 0}, "15"},
        {"a one-frame gap is smoothed away", {0, 1, 1, 1, 1, 1, 0, 6, 6, 6, 6, 6, 0}, ""},
        {"no gap before the first", {1, 1, 1, 1, 1, 1, 0}, "1"}, // a cleared history is gaps
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(ExtractFrames(c.Symbols), c.Digits) << c.Name;
    }
}

TEST(Dtmf, LevelSpreadLeavesOutTheFramesAtTheEdges) {
    const std::vector<int> run = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
    // The steep rise and fall at the ends are frames that straddle the tone's start or end.
    EXPECT_EQ(ExtractFrames(run, {0, 300, 600, 900, 1000, 1000, 1000, 1000, 900, 500, 200, 0}),
              "1");
    EXPECT_EQ(ExtractFrames(run, {0, 300, 600, 900, 1000, 800, 1000, 1000, 900, 500, 200, 0}), "");
    EXPECT_EQ(ExtractFrames(run, {0, 300, 600, 900, 1000, 900, 1000, 1000, 900, 500, 200, 0}), "1");
}

TEST(Dtmf, APairThatNeverDominatesThePowerIsNoDigit) {
    auto state = std::make_unique<norvel::TNorvelState>();
    for (const int symbol : {0, 1, 1, 1, 1, 1, 1, 0, 0}) {
        norvel::PushDtmfFrame(*state,
                              norvel::THistoryEntry{static_cast<uint8_t>(symbol), false, 1000.0f});
    }
    EXPECT_EQ(state->ToneDigitCount, 0);
}

TEST(Dtmf, TheDigitListKeepsAHundredDigits) {
    std::string digits;
    for (int i = 0; i < 110; ++i) {
        digits.push_back(static_cast<char>('0' + i % 10));
    }
    const auto state = Decode(8000, DtmfCall(digits, -15));
    EXPECT_EQ(state->ToneDigitCount, 100);
    EXPECT_EQ(DigitText(StatusOf(*state)), digits.substr(0, 100));
}

} // namespace
} // namespace norvel_test
