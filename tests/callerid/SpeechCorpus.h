#pragma once

// Synthetic speech for the talk-off checks: espeak-ng reads texts in several languages and
// voices, sox resamples its output with a real filter. Generated when asked for, so no
// recording is committed.

#include <string>
#include <vector>

#include "tests/callerid/SignalKit.h"

namespace norvel_test {

struct TUtterance {
    std::string Voice; // espeak-ng voice, with a variant after "+"
    int WordsPerMinute = 160;
    int Pitch = 50;       // 0..99
    double Level = -15.0; // dBm0 of the speech while it sounds
    std::string Text;
};

// One utterance at `sampleRate`; throws when espeak-ng or sox cannot be run.
TSamples Speak(const TUtterance& utterance, int sampleRate);

// The utterances of the talk-off corpus: eight languages, male and female voices, numbers
// read aloud, at a loud and a normal level; over five minutes in all.
std::vector<TUtterance> TalkOffUtterances();

// The whole corpus at `sampleRate`, each utterance followed by half a second of silence.
TSamples TalkOffCorpus(int sampleRate);

} // namespace norvel_test
