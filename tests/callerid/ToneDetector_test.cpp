// The restructured correlator (running sums over quarter periods) against the literal one
// that walks back sample by sample.

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

#include "callerid/DtmfDecoder.h"
#include "callerid/NorvelDecoder.h"
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
        const uint16_t dtmfSpan = norvel::MakeToneWindow(677, rate).Length;
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
                // Every window ending at the newest sample, and every window centred on the
                // middle of a longer span (the DTMF tones' windows share one centre).
                for (const uint16_t span : {uint16_t{0}, dtmfSpan}) {
                    const TToneReading fast =
                        norvel::DetectTone(*ring, norvel::MakeToneFilter(f, rate, span));
                    const TToneReading literal =
                        LiteralDetectTone(history, history.size() - 1, f, rate, span);
                    ASSERT_EQ(fast.Amplitude, literal.Amplitude)
                        << rate << " Hz, tone " << f << ", span " << span;
                    ASSERT_EQ(fast.Level, literal.Level)
                        << rate << " Hz, tone " << f << ", span " << span;
                    ++checked;
                }
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

TEST(ToneDetector, DtmfWindowsShareOneCentreAtEveryRate) {
    for (const int rate : {4000, 8000, 11025, 13333, 16000, 22050, 40000}) {
        auto state = std::make_unique<norvel::TNorvelState>();
        ASSERT_EQ(norvel::ResetDecoder(*state, rate), 0);
        const int span = norvel::DtmfWindowSpan(*state);
        for (int tone = 0; tone < norvel::kToneCount; ++tone) {
            for (const norvel::TToneWindow& window : state->Filters[tone].Windows) {
                if (tone < 8) {
                    // Centre (Delay + Length / 2) at span / 2, to within one sample.
                    EXPECT_LE(std::abs(2 * window.Delay + window.Length - span), 1)
                        << rate << " Hz, " << window.Frequency << " Hz";
                    EXPECT_LT(window.Delay + window.Length, norvel::kSampleRingSize);
                } else {
                    // The request tone, the carrier and the multi-frequency tones keep windows
                    // that end at the newest sample.
                    EXPECT_EQ(window.Delay, 0) << rate << " Hz, " << window.Frequency << " Hz";
                }
            }
        }
    }
}

TEST(ToneDetector, PairAmplitudeHoldsStillAndFollowsTheFill) {
    // Two tones of a key 268 Hz apart beat against each other; fitted together, their amplitudes
    // neither swing with the beat nor with the phase, and a pair filling a quarter of the window
    // reads about a quarter.
    for (const int rate : {8000, 16000, 40000}) {
        const uint16_t span = norvel::MakeToneWindow(677, rate).Length;
        TSamples pair = Sine(rate, 941, 6000, 400);
        MixInto(pair, Sine(rate, 1209, 3000, 400));
        auto ring = std::make_unique<TSampleRing>();
        double lowest = 1e9;
        double highest = 0.0;
        for (size_t i = 0; i < pair.size(); ++i) {
            norvel::StoreSample(*ring, pair[i]);
            if (i >= span && i % 37 == 0) {
                const double amplitude = norvel::PairAmplitude(*ring, 941, 1209, rate, span);
                lowest = std::min(lowest, amplitude);
                highest = std::max(highest, amplitude);
            }
        }
        EXPECT_NEAR(lowest, 9000.0, 9000.0 * 0.02) << rate;
        EXPECT_NEAR(highest, 9000.0, 9000.0 * 0.02) << rate;
        for (size_t i = 0; i < span * 3 / 4; ++i) {
            norvel::StoreSample(*ring, 0);
        }
        EXPECT_NEAR(norvel::PairAmplitude(*ring, 941, 1209, rate, span), 2250.0, 9000.0 * 0.06)
            << rate;
    }
}

} // namespace
} // namespace norvel_test
