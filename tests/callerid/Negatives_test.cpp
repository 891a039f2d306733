// Signals that carry no number must give none: silence, noise, speech-like sound, a lone
// 1209 Hz tone (the DTMF column next to the FSK carrier), at the lowest and highest rates.

#include <gtest/gtest.h>

#include "callerid/NorvelDecoder.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

using norvel::TDecoderState;

void ExpectNoNumber(const char* name, int rate, const TSamples& samples) {
    const auto state = Decode(rate, samples);
    const TCallerIdStatus status = StatusOf(*state);
    EXPECT_EQ(status.Words[0], 0) << name << " at " << rate;
    EXPECT_EQ(status.Words[1], 0) << name << " at " << rate;
    EXPECT_EQ(status.Words[2], 0) << name << " at " << rate;
    EXPECT_FALSE(state->Pulse.PulseMode) << name << " at " << rate;
}

TEST(Negatives, SilenceAndNoise) {
    for (const int rate : {8000, 40000}) {
        ExpectNoNumber("silence", rate, Silence(rate, 5000));
        for (const float level : {-40.0f, -20.0f, -10.0f}) {
            ExpectNoNumber("white noise", rate, FromSpanRate(WhiteNoise(5000, level, 21), rate));
            ExpectNoNumber("speech-shaped noise", rate,
                           FromSpanRate(HothNoise(5000, level, 22), rate));
        }
    }
}

TEST(Negatives, SpeechLikeSound) {
    // Vowels whose harmonics can fall on a DTMF row and column, loud pitch pulses that look
    // like dial clicks.
    for (const int seed : {1, 2, 3, 4, 5, 6}) {
        for (const double level : {-25.0, -12.0, -3.0}) {
            ExpectNoNumber("speech", 8000, SpeechLike(8000, 20000, seed, level));
        }
    }
    for (const int seed : {7, 8}) {
        ExpectNoNumber("speech", 40000, SpeechLike(40000, 10000, seed, -10.0));
    }
}

TEST(Negatives, ALone1209HzToneIsNeitherDigitNorCarrier) {
    for (const int rate : {8000, 40000}) {
        for (const double amplitude : {2000.0, 12000.0}) {
            TSamples tone = Silence(rate, 200);
            Append(tone, Sine(rate, 1209.0, amplitude, 3000));
            Append(tone, Silence(rate, 200));
            auto state = std::make_unique<norvel::TNorvelState>();
            norvel::ResetDecoder(*state, rate);
            bool carrierSeen = false;
            for (size_t i = 0; i < tone.size(); i += 64) {
                norvel::ProcessSamples(*state, tone.data() + i,
                                       std::min<size_t>(64, tone.size() - i));
                carrierSeen = carrierSeen || state->State != TDecoderState::Idle;
            }
            EXPECT_FALSE(carrierSeen) << rate << " Hz, amplitude " << amplitude;
            ExpectNoNumber("1209 Hz", rate, tone);
        }
    }
}

TEST(Negatives, TheCarrierItselfIsRecognised) {
    // The positive counterpart: a steady 1200 Hz tone does announce an FSK message.
    for (const int rate : {8000, 40000}) {
        TSamples tone = Silence(rate, 200);
        Append(tone, Sine(rate, 1200.0, 6000.0, 300));
        auto state = std::make_unique<norvel::TNorvelState>();
        norvel::ResetDecoder(*state, rate);
        norvel::ProcessSamples(*state, tone.data(), tone.size());
        EXPECT_EQ(state->State, TDecoderState::FskReception) << rate;
    }
}

TEST(Negatives, ALongKeyPressOnTheCarrierColumnKeepsTheDecoderListening) {
    // "1" is 697 + 1209 Hz; held for a second it must not pass for a carrier.
    TSamples call = Silence(kSpanRate, 200);
    Append(call, DtmfDigits("1", -10, 1000, 100));
    Append(call, DtmfDigits("23", -10, 60, 60));
    Append(call, Silence(kSpanRate, 200));
    EXPECT_EQ(DigitText(StatusOf(*Decode(8000, call))), "123");
}

} // namespace
} // namespace norvel_test
