#include "callerid/ToneAnalysis.h"

#include <algorithm>
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
// Bell 202 and V.23 transmitters may be 1% off: a carrier may lie 13 Hz from 1200 Hz. Within
// 4.5 Hz it is taken at once; further off it might be the 1209 Hz DTMF column held alone, so
// the decoder listens behind state 0 until a message begins.
constexpr double kMarkMaxOffsetHz = 13.0;
constexpr double kMarkNominalOffsetHz = 4.5;
constexpr int kMarkPhaseMaxFrames = 3;
// The quarter-period correlator's amplitude for a sine of peak 1 lies between 0.45 and 0.64.
constexpr double kQuarterCorrelatorGain = 0.55;
// A DTMF row tone beside the carrier frequency makes the pair a key, not a carrier.
constexpr double kDtmfPresentRatio = 4.0;

void ClearHistory(TSymbolHistory& history) {
    history = TSymbolHistory{};
}

void ClearHistories(TNorvelState& state) {
    ClearHistory(state.DtmfHistory);
    ClearHistory(state.MfHistory);
    ClearHistory(state.RequestHistory);
    ClearHistory(state.MarkHistory);
    state.DtmfRun = TDtmfRun{};
    for (TDtmfTrack& track : state.DtmfTracks) {
        track.Symbol = 0;
    }
    state.MfRun = TMfRun{};
    state.MarkPhase = TMarkPhase{};
    state.RequestPhase = TRequestPhase{};
}

// Most frames carry no tone, so the neighbours are measured only for tones the frame rules
// could use: below these level-to-amplitude ratios.
constexpr double kRequestUsableRatio = 2.0;
constexpr double kMarkUsableRatio = 1.5;

void ReadTones(TNorvelState& state, int first, int count, double usableRatio,
               double neighbourShare = kNeighbourShare) {
    for (int tone = first; tone < first + count; ++tone) {
        state.Readings[tone] =
            DetectUsableTone(state.Ring, state.Filters[tone], usableRatio, neighbourShare);
    }
}

// A steady carrier keeps its phase against an absolute 1200 Hz clock, turning only by its
// offset; the turn is added up over the run of carrier frames. The first frame of a run has
// nothing to compare with and counts.
bool MarkFrequencyHolds(TNorvelState& state) {
    const uint16_t length = state.Filters[kFskMarkTone].Windows[1].Length;
    const double phase = PhaseOf(
        CorrelateTone(state.Ring, kToneFrequencies[kFskMarkTone], state.SampleRate, length));
    const int64_t newest = state.Ring.Count - 1;
    TMarkPhase& mark = state.MarkPhase;
    const int64_t elapsed = newest - mark.Newest;
    const int64_t frame = state.SampleRate / 100;
    if (!mark.Valid || elapsed <= 0 || elapsed > kMarkPhaseMaxFrames * frame + 1) {
        mark = TMarkPhase{true, phase, newest};
        return true;
    }
    double turn = phase - mark.Phase;
    turn -= 2.0 * kPi * std::floor((turn + kPi) / (2.0 * kPi));
    const double offsetHz = turn * state.SampleRate / (2.0 * kPi * static_cast<double>(elapsed));
    if (std::fabs(offsetHz) >= kMarkMaxOffsetHz) {
        mark = TMarkPhase{true, phase, newest};
        return false;
    }
    mark.Phase = phase;
    mark.Newest = newest;
    mark.RunTurn += turn;
    mark.RunSamples += elapsed;
    return true;
}

bool MarkNearNominal(const TNorvelState& state) {
    const TMarkPhase& mark = state.MarkPhase;
    if (mark.RunSamples <= 0) {
        return false;
    }
    const double offsetHz =
        mark.RunTurn * state.SampleRate / (2.0 * kPi * static_cast<double>(mark.RunSamples));
    return std::fabs(offsetHz) < kMarkNominalOffsetHz;
}

// The request tone is a steady tone alone. A deep voice puts a harmonic on 500 Hz that can
// hold for the 110 ms the flag needs, but the other multiples of its pitch carry as much of the
// power; a high voice's own pitch near 500 Hz is alone, but it glides. From frame to frame the
// tone's phase against a 500 Hz clock gives its offset, which must stay within 2% and change by
// less than a glide would.
constexpr double kRequestMinShare = 0.7;
constexpr double kRequestMaxOffsetHz = 10.0;
constexpr double kRequestMaxGlideHz = 2.0;
bool RequestToneAlone(TNorvelState& state) {
    const uint16_t length = state.Filters[kRequestTone].Windows[1].Length;
    // A 500 Hz tone needs no more than 8000 samples a second.
    const uint16_t stride = static_cast<uint16_t>(std::max(1, state.SampleRate / 8000));
    const TToneCorrelation correlation = CorrelateTone(state.Ring, kToneFrequencies[kRequestTone],
                                                       state.SampleRate, length, 0, stride);
    TRequestPhase& request = state.RequestPhase;
    if (PowerShareOf(correlation) < kRequestMinShare) {
        request.Valid = false;
        return false;
    }
    const double phase = PhaseOf(correlation);
    const int64_t newest = state.Ring.Count - 1;
    const int64_t elapsed = newest - request.Newest;
    const bool follows = request.Valid && elapsed > 0 && elapsed <= state.SampleRate / 100 + 1;
    const TRequestPhase before = request;
    request = TRequestPhase{true, phase, newest};
    if (!follows) {
        return true;
    }
    double turn = phase - before.Phase;
    turn -= 2.0 * kPi * std::floor((turn + kPi) / (2.0 * kPi));
    const double offsetHz = turn * state.SampleRate / (2.0 * kPi * static_cast<double>(elapsed));
    request.HasOffset = true;
    request.OffsetHz = offsetHz;
    if (std::fabs(offsetHz) >= kRequestMaxOffsetHz) {
        return false;
    }
    return !before.HasOffset || std::fabs(offsetHz - before.OffsetHz) < kRequestMaxGlideHz;
}

bool DtmfRowPresent(const TNorvelState& state) {
    for (int tone = kDtmfRowFirst; tone < kDtmfRowFirst + 4; ++tone) {
        const TToneReading& reading = state.Readings[tone];
        if (reading.Amplitude > 0.0 && reading.Ratio < kDtmfPresentRatio) {
            return true;
        }
    }
    return false;
}

// Multi-frequency symbols are 40 ms long without gaps. A window of 16 periods (23 ms at
// 700 Hz) straddles a symbol edge in up to three of a symbol's four frames, so the symbol's
// tones are measured over the last frame alone: every symbol then has at least three frames
// of its own, wherever it starts. Exact correlation keeps tones 2% off and the 200 Hz spacing
// apart; the amplitude is scaled to what the quarter-period correlator gives for a sine, so
// the frame rules keep their thresholds.
void ReadMfTones(TNorvelState& state) {
    const uint16_t length = static_cast<uint16_t>(state.SampleRate / 100);
    const double level = MeanMagnitude(state.Ring, length);
    for (int tone = kMfFirst; tone < kMfFirst + kMfToneCount; ++tone) {
        const TToneCorrelation correlation =
            CorrelateTone(state.Ring, kToneFrequencies[tone], state.SampleRate, length);
        const double peak =
            2.0 * std::hypot(correlation.Real, correlation.Imag) / static_cast<double>(length);
        TToneReading reading;
        reading.Amplitude = kQuarterCorrelatorGain * peak;
        reading.Level = level;
        if (reading.Amplitude > 0.0 && level > 0.0) {
            reading.Ratio = level / reading.Amplitude;
        }
        state.Readings[tone] = reading;
    }
}

void EnterMfReception(TNorvelState& state) {
    ClearHistories(state);
    StopFskReception(state.Fsk);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::MfReception;
    state.ReceptionStart = state.Milliseconds;
}

void EnterFskWait(TNorvelState& state) {
    ClearHistories(state);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::FskWaitCrossing;
    state.ReceptionStart = state.Milliseconds;
    StartFskReception(state, false);
}

void AnalyseMf(TNorvelState& state) {
    const bool inTime = state.Milliseconds - state.ReceptionStart <= kMfStartLimit;
    if (!inTime && state.Message.Count <= kMfCycle) {
        ReturnToIdle(state);
        return;
    }
    ReadMfTones(state);
    PushMfFrame(state, ClassifyMfFrame(state));
}

void AnalyseIdle(TNorvelState& state) {
    ReadTones(state, kRequestTone, 1, kRequestUsableRatio);
    ReadTones(state, kFskMarkTone, 1, kMarkUsableRatio);
    const TToneReading& request = state.Readings[kRequestTone];
    const bool requestFlag = request.Level < 2.0 * request.Amplitude &&
                             request.Level > kMinToneLevel && RequestToneAlone(state);
    PushHistory(state.RequestHistory, THistoryEntry{static_cast<uint8_t>(requestFlag ? 1 : 0)});
    if (CountTrailing(state.RequestHistory, 1) >= kToneFrames) {
        EnterMfReception(state);
        return;
    }

    ReadTones(state, kDtmfRowFirst, 8, kDtmfUsableRatio, kDtmfNeighbourShare);
    const TToneReading& mark = state.Readings[kFskMarkTone];
    bool markFlag = 2.0 * mark.Level < 3.0 * mark.Amplitude && mark.Level > kMinToneLevel &&
                    !DtmfRowPresent(state);
    if (markFlag) {
        markFlag = MarkFrequencyHolds(state);
    } else {
        state.MarkPhase.Valid = false;
    }
    PushHistory(state.MarkHistory, THistoryEntry{static_cast<uint8_t>(markFlag ? 1 : 0)});
    if (CountTrailing(state.MarkHistory, 1) >= kToneFrames && state.Fsk.Phase == TFskPhase::Off) {
        if (MarkNearNominal(state)) {
            EnterFskWait(state);
            return;
        }
        StartFskReception(state, true);
    }

    PushDtmfFrame(state, ClassifyDtmfFrame(state));
}

} // namespace

void ReturnToIdle(TNorvelState& state) {
    ClearHistories(state);
    StopFskReception(state.Fsk);
    state.Message = TMessageBuffer{};
    state.State = TDecoderState::Idle;
}

void CommitFskReception(TNorvelState& state) {
    ClearHistories(state);
    state.Fsk.Background = false;
    state.State = TDecoderState::FskReception;
    state.ReceptionStart = state.Milliseconds;
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
