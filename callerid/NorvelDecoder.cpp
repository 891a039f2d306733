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

// Samples from `first` that need nothing but storing: state 0 with no click open and no FSK
// listening, quieter than a click, and short of the next millisecond. Most of a call.
size_t QuietRun(const TNorvelState& state, const int16_t* samples, size_t count) {
    if (state.State != TDecoderState::Idle || state.Pulse.ClickOpen ||
        state.Fsk.Phase != TFskPhase::Off) {
        return 0;
    }
    const uint32_t rate = static_cast<uint32_t>(state.SampleRate);
    // The sample that completes the millisecond goes the whole way.
    const size_t beforeTick = (rate - state.ClockRemainder - 1) / 1000;
    const size_t limit = count < beforeTick ? count : beforeTick;
    const int32_t threshold = state.Pulse.ClickThreshold;
    size_t run = 0;
    while (run < limit && samples[run] <= threshold && samples[run] >= -threshold) {
        ++run;
    }
    return run;
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
    size_t index = 0;
    while (index < count) {
        const size_t quiet = QuietRun(state, samples + index, count - index);
        if (quiet > 0) {
            StoreSamples(state.Ring, samples + index, quiet);
            state.ClockRemainder += static_cast<uint32_t>(1000 * quiet);
            index += quiet;
            continue;
        }
        ProcessSample(state, samples[index++]);
    }
}

} // namespace norvel
