// The two-of-six multi-frequency number after the 500 Hz request tone, built from spandsp's
// tone generators: start symbol, category, seven digits (last first), sent cyclically.

#include <cmath>
#include <gtest/gtest.h>

#include "callerid/CallerIdStatus.h"
#include "callerid/MfDecoder.h"
#include "tests/callerid/SignalKit.h"

namespace norvel_test {
namespace {

using norvel::TDecoderState;

TSamples RequestTone(int milliseconds = 150) {
    return Tones(500, -10, 0, 0, milliseconds);
}

// Request tone, `cycles` repetitions of the cycle, then silence.
TSamples MfCall(int category, const std::string& number, int level, int cycles = 2, int gapMs = 0) {
    const std::vector<int> cycle = MfCycleRows(category, number);
    std::vector<int> rows;
    for (int c = 0; c < cycles; ++c) {
        rows.insert(rows.end(), cycle.begin(), cycle.end());
    }
    TSamples samples = Silence(kSpanRate, 200);
    Append(samples, RequestTone());
    Append(samples, Silence(kSpanRate, gapMs));
    Append(samples, MfSymbols(rows, level, 40));
    Append(samples, Silence(kSpanRate, 300));
    return samples;
}

std::vector<uint16_t> Expected(int category, const std::string& number) {
    std::vector<uint16_t> values = {static_cast<uint16_t>(category)};
    for (const char digit : number) {
        values.push_back(static_cast<uint16_t>(digit - '0'));
    }
    return values;
}

TEST(MultiFrequency, NumberAfterTheRequestToneAtEveryRate) {
    struct TCase {
        int Category;
        std::string Number;
    };
    // Equal neighbours go out as the repeat symbol.
    const TCase cases[] = {{1, "4952213"}, {3, "1234567"}, {7, "9900990"}, {2, "5050505"}};
    for (const TCase& c : cases) {
        for (const int level : {-10, -20}) {
            const TSamples call = MfCall(c.Category, c.Number, level);
            for (const int rate : {8000, 16000, 40000}) {
                const auto state = Decode(rate, FromSpanRate(call, rate));
                const TCallerIdStatus status = StatusOf(*state);
                EXPECT_EQ(state->State, TDecoderState::MfComplete) << c.Number << " at " << rate;
                EXPECT_EQ(status.Words[0], 1); // an incoming call's number
                EXPECT_EQ(status.Words[1], 0);
                EXPECT_EQ(status.Words[2], 9);
                EXPECT_EQ(status.Words[3], 0); // multi-frequency kind
                EXPECT_EQ(MessageGroup(status), Expected(c.Category, c.Number))
                    << c.Number << " at " << level << " dBm0, " << rate << " Hz";
            }
        }
    }
}

TEST(MultiFrequency, ASingleCycleIsNotEnough) {
    // The decoder wants to see the cycle repeat before it trusts it.
    const auto state = Decode(8000, MfCall(1, "4952213", -10, 1));
    EXPECT_EQ(StatusOf(*state).Words[2], 0);
    EXPECT_EQ(state->State, TDecoderState::Idle);
}

TEST(MultiFrequency, WithoutTheRequestToneTheCodeIsIgnored) {
    TSamples call = Silence(kSpanRate, 200);
    const std::vector<int> cycle = MfCycleRows(1, "4952213");
    std::vector<int> rows = cycle;
    rows.insert(rows.end(), cycle.begin(), cycle.end());
    Append(call, MfSymbols(rows, -10, 40));
    Append(call, Silence(kSpanRate, 300));
    const TCallerIdStatus status = StatusOf(*Decode(8000, call));
    EXPECT_EQ(status.Words[0], 0);
    EXPECT_EQ(status.Words[2], 0);
}

TEST(MultiFrequency, AShortSpuriousRunDoesNotDeafenTheDecoder) {
    // A request tone, three symbols, silence; then DTMF that must still be heard.
    TSamples call = Silence(kSpanRate, 200);
    Append(call, RequestTone());
    Append(call, MfSymbols({10, 0, 2}, -10, 40));
    Append(call, Silence(kSpanRate, 300));
    Append(call, DtmfDigits("369", -15, 60, 60));
    Append(call, Silence(kSpanRate, 200));
    const auto state = Decode(8000, call);
    EXPECT_EQ(state->State, TDecoderState::Idle);
    EXPECT_EQ(DigitText(StatusOf(*state)), "369");
}

// A sine whose frequency moves linearly from `from` to `to` Hz, at 8000 Hz.
TSamples Glide(double from, double to, double peak, int milliseconds) {
    TSamples out(static_cast<size_t>(kSpanRate * milliseconds / 1000));
    double phase = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double frequency =
            from + (to - from) * static_cast<double>(i) / static_cast<double>(out.size());
        phase += 2.0 * 3.14159265358979323846 * frequency / kSpanRate;
        out[i] = static_cast<int16_t>(std::lround(peak * std::sin(phase)));
    }
    return out;
}

TEST(MultiFrequency, TheRequestToneIsASteadyToneAlone) {
    struct TCase {
        const char* Name;
        TSamples Sound;
        bool Taken;
    };
    // A deep voice: 100 Hz pitch with its harmonics up to 1 kHz, the strongest on 500 Hz.
    TSamples voice = Silence(kSpanRate, 300);
    for (int harmonic = 3; harmonic <= 10; ++harmonic) {
        MixInto(voice, Sine(kSpanRate, 100.0 * harmonic, harmonic == 5 ? 6000.0 : 2000.0, 300));
    }
    const TCase cases[] = {
        {"500 Hz", Sine(kSpanRate, 500.0, 8000.0, 300), true},
        {"505 Hz", Sine(kSpanRate, 505.0, 8000.0, 300), true},
        {"harmonics of a deep voice", voice, false},
        {"a glide from 470 to 530 Hz", Glide(470.0, 530.0, 8000.0, 300), false},
    };
    for (const TCase& c : cases) {
        TSamples call = Silence(kSpanRate, 200);
        Append(call, c.Sound);
        Append(call, Silence(kSpanRate, 200));
        for (const int rate : {8000, 40000}) {
            const auto state = Decode(rate, FromSpanRate(call, rate));
            EXPECT_EQ(state->State == TDecoderState::MfReception, c.Taken)
                << c.Name << " at " << rate;
        }
    }
}

TEST(MultiFrequency, ARequestToneWithNothingAfterItTimesOut) {
    TSamples call = Silence(kSpanRate, 200);
    Append(call, RequestTone(300));
    Append(call, Silence(kSpanRate, 1200));
    Append(call, DtmfDigits("12", -15, 60, 60));
    Append(call, Silence(kSpanRate, 200));
    const auto state = Decode(8000, call);
    EXPECT_EQ(state->State, TDecoderState::Idle);
    EXPECT_EQ(DigitText(StatusOf(*state)), "12");
}

// Frames fed straight into the multi-frequency history (symbols are table rows + 1).
std::unique_ptr<norvel::TNorvelState> FeedMfFrames(const std::vector<int>& frames) {
    auto state = std::make_unique<norvel::TNorvelState>();
    state->State = TDecoderState::MfReception;
    for (const int symbol : frames) {
        norvel::PushMfFrame(*state, static_cast<uint8_t>(symbol));
    }
    return state;
}

std::vector<int> Frames(const std::vector<int>& rows, int perSymbol) {
    std::vector<int> frames;
    for (const int row : rows) {
        frames.insert(frames.end(), static_cast<size_t>(perSymbol), row + 1);
    }
    return frames;
}

TEST(MultiFrequency, SymbolRulesOfTheExtraction) {
    const std::vector<int> cycle = MfCycleRows(1, "4952213");
    std::vector<int> twoCycles = cycle;
    twoCycles.insert(twoCycles.end(), cycle.begin(), cycle.end());

    // Three frames make a symbol, two do not.
    EXPECT_EQ(FeedMfFrames(Frames({10, 0, 2}, 3))->Message.Count, 2); // last one still open
    EXPECT_EQ(FeedMfFrames(Frames({10, 0, 2}, 2))->Message.Count, 0);

    // Two empty frames inside the sequence do not end it; three do.
    std::vector<int> frames = Frames({10, 0, 2, 0}, 4);
    frames.insert(frames.end(), {0, 0});
    const std::vector<int> rest = Frames({11, 1, 4, 8, 3}, 4);
    frames.insert(frames.end(), rest.begin(), rest.end());
    const auto bridged = FeedMfFrames(frames);
    EXPECT_EQ(bridged->State, TDecoderState::MfReception);
    EXPECT_EQ(bridged->Message.Count, 8);

    // Two cycles, then three empty frames: complete.
    std::vector<int> complete = Frames(twoCycles, 4);
    complete.insert(complete.end(), {0, 0, 0, 0});
    const auto done = FeedMfFrames(complete);
    EXPECT_EQ(done->State, TDecoderState::MfComplete);
    EXPECT_EQ(done->Message.Count, 18);

    // A run that ends without a repeated cycle returns to listening.
    std::vector<int> broken = Frames({10, 0, 2, 0, 11, 1, 4, 8, 3, 5, 6}, 4);
    broken.insert(broken.end(), {0, 0, 0, 0});
    EXPECT_EQ(FeedMfFrames(broken)->State, TDecoderState::Idle);
}

TEST(MultiFrequency, TheSymbolBufferIsNeverOverrun) {
    // An endless cycle keeps the decoder listening without writing past its buffer.
    const std::vector<int> cycle = MfCycleRows(1, "4952213");
    std::vector<int> rows;
    for (int c = 0; c < 40; ++c) {
        rows.insert(rows.end(), cycle.begin(), cycle.end());
    }
    const auto state = FeedMfFrames(Frames(rows, 4));
    EXPECT_EQ(state->Message.Count, norvel::kMessageCapacity);
    EXPECT_EQ(MessageGroup(StatusOf(*state)), Expected(1, "4952213"));
}

} // namespace
} // namespace norvel_test
