// The restructured correlator (running sums over quarter periods) against the literal one
// that walks back sample by sample.

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

#include "callerid/ToneDetector.h"
#include "tests/callerid/LiteralToneDetector.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

using norvel::TSampleRing;
using norvel::TToneReading;

// Noise, tones at the analysed frequencies and full-scale bursts.
TSamples MixedSignal(int rate, int milliseconds, uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_int_distribution<int> tone(0, norvel::kToneCount - 1);
    TSamples signal = Silence(rate, milliseconds);
    for (size_t at = 0; at < signal.size(); at += static_cast<size_t>(rate / 20)) {
        const TSamples part =
            Sine(rate, norvel::kToneFrequencies[tone(random)], 1000.0 + random() % 15000, 50);
        MixInto(signal, part, at);
    }
    for (size_t i = 0; i < signal.size(); i += 97) {
        signal[i] = static_cast<int16_t>(sample(random));
    }
    return signal;
}

TEST(ToneDetector, AgreesExactlyWithTheLiteralCorrelator) {
    for (const int rate : {4000, 8000, 11025, 13333, 16000, 20000, 40000}) {
        const TSamples signal = MixedSignal(rate, 1200, static_cast<uint32_t>(rate));
        auto ring = std::make_unique<TSampleRing>();
        TSamples history;
        int checked = 0;
        for (size_t i = 0; i < signal.size(); ++i) {
            norvel::StoreSample(*ring, signal[i]);
            history.push_back(signal[i]);
            // Early frames read before the ring is full, later ones after it wrapped.
            if (i % 331 != 7) {
                continue;
            }
            for (int tone = 0; tone < norvel::kToneCount; ++tone) {
                const uint32_t f = norvel::kToneFrequencies[tone];
                const TToneReading fast =
                    norvel::DetectTone(*ring, norvel::MakeToneFilter(f, rate));
                const TToneReading literal =
                    LiteralDetectTone(history, history.size() - 1, f, rate);
                ASSERT_EQ(fast.Amplitude, literal.Amplitude) << rate << " Hz, tone " << f;
                ASSERT_EQ(fast.Level, literal.Level) << rate << " Hz, tone " << f;
                ++checked;
            }
        }
        EXPECT_GT(checked, 100);
    }
}

TEST(ToneDetector, TakesItsOwnFrequencyAndNotOneSixPercentAway) {
    struct TCase {
        double OffsetPercent;
        bool Present;
    };
    const TCase cases[] = {{0.0, true},  {1.0, true},   {-1.0, true},
                           {6.0, false}, {-6.0, false}, {12.0, false}};
    for (const int rate : {8000, 40000}) {
        for (int tone = 0; tone < norvel::kToneCount; ++tone) {
            const uint32_t f = norvel::kToneFrequencies[tone];
            for (const TCase& c : cases) {
                auto ring = std::make_unique<TSampleRing>();
                for (const int16_t s : Sine(rate, f * (1.0 + c.OffsetPercent / 100.0), 8000, 60)) {
                    norvel::StoreSample(*ring, s);
                }
                const TToneReading reading =
                    norvel::DetectTone(*ring, norvel::MakeToneFilter(f, rate));
                EXPECT_EQ(reading.Amplitude > 0.0, c.Present)
                    << rate << " Hz, tone " << f << ", offset " << c.OffsetPercent << "%";
                if (c.Present) {
                    // A sine's mean magnitude is 2/pi of its peak; its amplitude 0.45 to 0.64.
                    EXPECT_NEAR(reading.Level, 8000 * 2 / M_PI, 8000 * 0.04)
                        << rate << " Hz, tone " << f;
                    EXPECT_GT(reading.Amplitude, 8000 * 0.43);
                    EXPECT_LT(reading.Amplitude, 8000 * 0.66);
                }
            }
        }
    }
}

TEST(ToneDetector, CorrelationGivesPowerShareAndASteadyPhase) {
    const int rate = 8000;
    auto ring = std::make_unique<TSampleRing>();
    TSamples pair = Sine(rate, 697, 6000, 200);
    MixInto(pair, Sine(rate, 1336, 6000, 200));
    double firstPhase = 0.0;
    for (size_t i = 0; i < pair.size(); ++i) {
        norvel::StoreSample(*ring, pair[i]);
        if (i == 400) {
            firstPhase = norvel::PhaseOf(norvel::CorrelateTone(*ring, 697, rate, 183));
        }
    }
    // Each of two equal tones carries half the power; a frequency not in the signal nothing.
    EXPECT_NEAR(norvel::PowerShareOf(norvel::CorrelateTone(*ring, 697, rate, 183)), 0.5, 0.03);
    EXPECT_NEAR(norvel::PowerShareOf(norvel::CorrelateTone(*ring, 1336, rate, 183)), 0.5, 0.03);
    EXPECT_LT(norvel::PowerShareOf(norvel::CorrelateTone(*ring, 941, rate, 183)), 0.02);
    // The reference runs from the first sample, so the phase of a steady tone stays put.
    EXPECT_NEAR(norvel::PhaseOf(norvel::CorrelateTone(*ring, 697, rate, 183)), firstPhase, 0.05);
}

} // namespace
} // namespace norvel_test
