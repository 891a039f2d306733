// Speech read by espeak-ng: over five minutes in eight languages, male and female voices, loud
// and normal; and a wider corpus of twenty minutes in twelve languages, every voice variant,
// pitches from 0 to 99 and speeds from 80 to 260 words a minute, band-limited and loud, in two
// halves (the guards were fitted on the first, the second checks them). No digit, number,
// message or pulse train may come out of any of it.

#include <future>
#include <gtest/gtest.h>

#include "callerid/NorvelDecoder.h"
#include "tests/callerid/SignalKit.h"
#include "tests/callerid/SpeechCorpus.h"

namespace norvel_test {
namespace {

using norvel::TDecoderState;

// What the decoder made of each utterance, empty when nothing.
std::vector<std::string> FalseResults(int rate, const std::vector<TUtterance>& utterances,
                                      double& seconds) {
    std::vector<std::string> results;
    seconds = 0.0;
    for (const TUtterance& utterance : utterances) {
        const TSamples speech = Speak(utterance, rate);
        seconds += static_cast<double>(speech.size()) / rate;
        const auto state = Decode(rate, speech);
        const TCallerIdStatus status = StatusOf(*state);
        std::string found;
        if (status.Words[0] != 0 || status.Words[1] != 0 || status.Words[2] != 0) {
            found += " digits \"" + DigitText(status) +
                     "\", word 0 = " + std::to_string(status.Words[0]) +
                     ", group 2 = " + std::to_string(status.Words[2]);
        }
        if (state->State != TDecoderState::Idle) {
            found += " state " + std::to_string(static_cast<int>(state->State));
        }
        if (state->Pulse.PulseMode) {
            found += " pulse train";
        }
        results.push_back(found.empty() ? found : utterance.Voice + ":" + found);
    }
    return results;
}

// Decodes the utterances at the three rates side by side (the corpora are long): nothing may
// come out, and each rate must have heard at least `minSeconds` of speech.
void ExpectNothingFrom(const std::vector<TUtterance>& utterances, double minSeconds) {
    std::vector<std::future<std::vector<std::string>>> runs;
    double seconds[3] = {};
    const int rates[3] = {8000, 16000, 40000};
    for (int r = 0; r < 3; ++r) {
        runs.push_back(std::async(std::launch::async, FalseResults, rates[r], std::cref(utterances),
                                  std::ref(seconds[r])));
    }
    for (int r = 0; r < 3; ++r) {
        for (const std::string& result : runs[static_cast<size_t>(r)].get()) {
            EXPECT_EQ(result, "") << rates[r] << " Hz";
        }
        EXPECT_GE(seconds[r], minSeconds) << rates[r] << " Hz";
    }
}

TEST(TalkOff, SpeechInSeveralLanguagesGivesNothingAtAnyRate) {
    ExpectNothingFrom(TalkOffUtterances(), 300.0);
}

TEST(TalkOff, WideCorpusHalfTheGuardsWereFittedOn) {
    ExpectNothingFrom(WideSpeechUtterances(0), 450.0);
}

TEST(TalkOff, WideCorpusHalfHeldOut) {
    ExpectNothingFrom(WideSpeechUtterances(1), 450.0);
}

} // namespace
} // namespace norvel_test
