#include "callerid/ToneAnalysis.h"

#include <cmath>

#include "callerid/DtmfDecoder.h"
#include "callerid/FskDemodulator.h"
#include "callerid/MfDecoder.h"
#include "callerid/SymbolHistory.h"
#include "callerid/ToneDetector.h"

namespace norvel {

namespace {

constexpr int kToneFrames = 11;          // request tone and carrier must stand 110 ms
constexpr uint32_t kMfStartLimit = 1000; // ms after the request tone
constexpr double kPi = 3.14159265358979323846;
// The carrier must stay within 4.5 Hz of 1200 Hz, half-way to the 1209 Hz DTMF column.
constexpr double kMarkMaxOffsetHz = 4.5;
constexpr int kMarkPhaseMaxFrames = 3;

void ClearHistory(TSymbolHistory& history) {
    history = TSymbolHistory{};
}

void ClearHistories(TNorvelState& state) {
    ClearHistory(state.DtmfHistory);
    ClearHistory(state.MfHistory);
    ClearHistory(state.RequestHistory);
    ClearHistory(state.MarkHistory);
    state.DtmfRun = TDtmfRun{};
    state.MfRun = TMfRun{};
    state.MarkPhase = TMarkPhase{};
}

void ReadTones(TNorvelState& state, int first, int count) {
    for (int tone = first; tone < first + count; ++tone) {
        state.Readings[tone] = DetectTone(state.Ring, state.Filters[tone]);
    }
}

// A steady 1200 Hz carrier keeps its phase against an absolute 1200 Hz clock; the 1209 Hz
// DTMF column turns by about 32 degrees every frame.
bool MarkFrequencyHolds(TNorvelState& state) {
    const uint16_t length = state.Filters[kFskMarkTone].Windows[1].Length;
    const double phase = PhaseOf(
        CorrelateTone(state.Ring, kToneFrequencies[kFskMarkTone], state.SampleRate, length));
    const int64_t newest = state.Ring.Count - 1;
    const TMarkPhase previous = state.MarkPhase;
    state.MarkPhase = TMarkPhase{true, phase, newest};
    const int64_t elapsed = newest - previous.Newest;
    const int64_t frame = state.SampleRate / 100;
    if (!previous.Valid || elapsed <= 0 || elapsed > kMarkPhaseMaxFrames * frame + 1) {
        return false;
    }
    double turn = phase - previous.Phase;
    turn -= 2.0 * kPi * std::floor((turn + kPi) / (2.0 * kPi));
    const double offsetHz = turn * state.SampleRate / (2.0 * kPi * static_cast<double>(elapsed));
    return std::fabs(offsetHz) < kMarkMaxOffsetHz;
}

void EnterMfReception(TNorvelState& state) {
    ClearHistories(state);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::MfReception;
    state.ReceptionStart = state.Milliseconds;
}

void EnterFskWait(TNorvelState& state) {
    ClearHistories(state);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::FskWaitCrossing;
    state.ReceptionStart = state.Milliseconds;
    StartFskReception(state);
}

void AnalyseDtmf(TNorvelState& state) {
    ReadTones(state, kDtmfRowFirst, 8);
    PushDtmfFrame(state, ClassifyDtmfFrame(state));
}

void AnalyseMf(TNorvelState& state) {
    const bool inTime = state.Milliseconds - state.ReceptionStart <= kMfStartLimit;
    if (!inTime && state.Message.Count <= kMfCycle) {
        ReturnToIdle(state);
        return;
    }
    ReadTones(state, kMfFirst, kMfToneCount);
    PushMfFrame(state, ClassifyMfFrame(state));
}

void AnalyseIdle(TNorvelState& state) {
    ReadTones(state, kRequestTone, 2);
    const TToneReading& request = state.Readings[kRequestTone];
    const bool requestFlag =
        request.Level < 2.0 * request.Amplitude && request.Level > kMinToneLevel;
    PushHistory(state.RequestHistory, THistoryEntry{static_cast<uint8_t>(requestFlag ? 1 : 0)});
    if (CountTrailing(state.RequestHistory, 1) >= kToneFrames) {
        EnterMfReception(state);
        return;
    }

    const TToneReading& mark = state.Readings[kFskMarkTone];
    bool markFlag = 2.0 * mark.Level < 3.0 * mark.Amplitude && mark.Level > kMinToneLevel;
    if (markFlag) {
        markFlag = MarkFrequencyHolds(state);
    } else {
        state.MarkPhase.Valid = false;
    }
    PushHistory(state.MarkHistory, THistoryEntry{static_cast<uint8_t>(markFlag ? 1 : 0)});
    if (CountTrailing(state.MarkHistory, 1) >= kToneFrames) {
        EnterFskWait(state);
        return;
    }

    AnalyseDtmf(state);
}

} // namespace

void ReturnToIdle(TNorvelState& state) {
    ClearHistories(state);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::Idle;
}

void RunToneAnalysis(TNorvelState& state) {
    switch (state.State) {
    case TDecoderState::Idle:
        AnalyseIdle(state);
        break;
    case TDecoderState::MfReception:
        AnalyseMf(state);
        break;
    default:
        break;
    }
}

} // namespace norvel
