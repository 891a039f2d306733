#include "callerid/NorvelDecoder.h"

#include <memory>

#include "callerid/FskDemodulator.h"
#include "callerid/PulseDialing.h"
#include "callerid/ToneAnalysis.h"
#include "callerid/ToneDetector.h"

namespace norvel {

namespace {

constexpr uint32_t kFrameMilliseconds = 10;

void OnMillisecond(TNorvelState& state) {
    ++state.Milliseconds;
    CheckFskDeadline(state);
    CheckPulseTimeout(state);
    if (state.Milliseconds % kFrameMilliseconds == 0) {
        RunToneAnalysis(state);
    }
}

void ProcessSample(TNorvelState& state, int16_t sample) {
    StoreSample(state.Ring, sample);
    switch (state.State) {
    case TDecoderState::Idle:
        DetectClick(state, sample);
        if (state.Fsk.Phase != TFskPhase::Off) {
            RunFskSample(state, sample); // listening behind state 0
        }
        break;
    case TDecoderState::FskWaitCrossing:
    case TDecoderState::FskReception:
        RunFskSample(state, sample);
        break;
    default:
        break;
    }
    // The clock counts exact milliseconds of audio, also at rates that are not a multiple
    // of 1000 Hz.
    state.ClockRemainder += 1000;
    if (state.ClockRemainder >= static_cast<uint32_t>(state.SampleRate)) {
        state.ClockRemainder -= static_cast<uint32_t>(state.SampleRate);
        OnMillisecond(state);
    }
}

} // namespace

int16_t ResetDecoder(TNorvelState& state, int32_t sampleRate) {
    std::construct_at(&state);
    if (sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate) {
        return 1;
    }
    state.SampleRate = sampleRate;
    for (int tone = 0; tone < kToneCount; ++tone) {
        state.Filters[tone] = MakeToneFilter(kToneFrequencies[tone], sampleRate);
    }
    SetUpFskThresholds(state.Fsk, sampleRate);
    return 0;
}

void ProcessSamples(TNorvelState& state, const int16_t* samples, size_t count) {
    if (state.SampleRate == 0 || samples == nullptr) {
        return;
    }
    for (size_t index = 0; index < count; ++index) {
        ProcessSample(state, samples[index]);
    }
}

} // namespace norvel
