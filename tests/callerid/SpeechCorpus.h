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
    // The wide corpus: band-limited to 300-3400 Hz and scaled to this peak in dB below full
    // scale instead of to `Level`.
    bool TelephoneBand = false;
    double PeakDbfs = -1.0;
};

// One utterance at `sampleRate`; throws when espeak-ng or sox cannot be run. Kept in the build
// folder's speech cache when the build names one, so later runs read it back.
TSamples Speak(const TUtterance& utterance, int sampleRate);

// The utterances of the talk-off corpus: eight languages, male and female voices, numbers
// read aloud, at a loud and a normal level; over five minutes in all.
std::vector<TUtterance> TalkOffUtterances();

// The whole corpus at `sampleRate`, each utterance followed by half a second of silence.
TSamples TalkOffCorpus(int sampleRate);

// A wider corpus that no guard was fitted to: twelve languages, every male and female voice
// variant, pitches across the whole range from 0 to 99, speeds from 80 to 260 words a minute,
// band-limited to the telephone band and normalised loud; over fifteen minutes. It comes in
// two halves of the same make-up: the guards may be tuned on half 0, half 1 checks them.
std::vector<TUtterance> WideSpeechUtterances(int half);

} // namespace norvel_test
