#include "callerid/ToneAnalysis.h"

#include <cmath>

#include "callerid/CallerIdStatus.h"
#include "callerid/FskDemodulator.h"
#include "callerid/ToneDetector.h"

namespace norvel {

namespace {

constexpr double kMinLevel = 256.0;
constexpr int kToneFrames = 11;          // request tone and carrier must stand 110 ms
constexpr uint32_t kMfStartLimit = 1000; // ms after the request tone
constexpr int kMfMinFrames = 3;
constexpr uint32_t kMfEndZeroFrames = 3;
constexpr uint16_t kMfCycle = 9;
constexpr double kDtmfMaxSpread = 0.15;
// Speech can put two harmonics on a row and a column frequency. In at least one frame of a
// digit the pair must carry most of the power, and the weaker tone a fair part of it
// (twist within about 6 dB).
constexpr double kDtmfPairShare = 0.6;
constexpr double kDtmfToneShare = 0.2;
constexpr double kPi = 3.14159265358979323846;
// The carrier must stay within 4.5 Hz of 1200 Hz, half-way to the 1209 Hz DTMF column.
constexpr double kMarkMaxOffsetHz = 4.5;
constexpr int kMarkPhaseMaxFrames = 3;

struct TMaskCode {
    uint8_t Mask;
    uint8_t Code;
};

// DTMF: mask bit i = tone i; codes 10-13 are A-D, 14 "*", 15 "#". Symbol = row + 1.
constexpr TMaskCode kDtmfTable[16] = {
    {0x11, 1}, {0x21, 2}, {0x41, 3}, {0x81, 10}, {0x12, 4},  {0x22, 5}, {0x42, 6},  {0x82, 11},
    {0x14, 7}, {0x24, 8}, {0x44, 9}, {0x84, 12}, {0x18, 14}, {0x28, 0}, {0x48, 15}, {0x88, 13},
};

// Multi-frequency: mask bit j = 700 + 200 j Hz. Row 10 is the start symbol, row 11 the repeat.
constexpr TMaskCode kMfTable[12] = {
    {0x03, 1}, {0x05, 2}, {0x06, 3}, {0x09, 4}, {0x0A, 5},  {0x0C, 6},
    {0x11, 7}, {0x12, 8}, {0x14, 9}, {0x18, 0}, {0x24, 11}, {0x28, 10},
};

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

void AppendToneDigit(TNorvelState& state, uint8_t code) {
    if (state.ToneDigitCount < kToneDigitCapacity) {
        state.ToneDigits[state.ToneDigitCount++] = code;
    }
}

void IncludeInterior(TDtmfRun& run, float level) {
    if (!run.HasInterior) {
        run.InteriorMin = run.InteriorMax = level;
        run.HasInterior = true;
    } else {
        run.InteriorMin = std::fmin(run.InteriorMin, level);
        run.InteriorMax = std::fmax(run.InteriorMax, level);
    }
}

void AddFallingFrame(TDtmfRun& run, float level) {
    if (run.FallingCount == kDtmfMaxEdgeFrames) {
        // Longer than an edge: the oldest of the fall is inside the tone after all.
        IncludeInterior(run, run.Falling[0]);
        for (int i = 1; i < kDtmfMaxEdgeFrames; ++i) {
            run.Falling[i - 1] = run.Falling[i];
        }
        --run.FallingCount;
    }
    run.Falling[run.FallingCount++] = level;
    run.Role = TDtmfFrameRole::Pending;
}

void AddInsideFrame(TDtmfRun& run, float level) {
    for (uint8_t i = 0; i < run.FallingCount; ++i) {
        IncludeInterior(run, run.Falling[i]);
    }
    run.FallingCount = 0;
    IncludeInterior(run, level);
    run.Role = TDtmfFrameRole::Inside;
}

// Frames count towards the level spread once they are known not to straddle the tone's start
// (a steep rise) or its end (a steep fall that lasts to the end of the run).
void AddDtmfLevel(TDtmfRun& run, float level) {
    ++run.Length;
    if (run.Length == 1) {
        run.Previous = level;
        run.Role = TDtmfFrameRole::Held;
        return;
    }
    if (level == run.Previous) {
        // A copy the smoothing made of the frame before: it shares that frame's place.
        if (run.Role == TDtmfFrameRole::Pending) {
            AddFallingFrame(run, level);
        } else if (run.Role == TDtmfFrameRole::Inside) {
            IncludeInterior(run, level);
        }
        return;
    }
    if (run.Role == TDtmfFrameRole::Held) {
        if (level > run.Previous * (1.0f + kDtmfEdgeStep)) {
            run.Previous = level;
            return;
        }
        IncludeInterior(run, run.Previous);
        run.Role = TDtmfFrameRole::Inside;
    }
    const bool falling = run.Role == TDtmfFrameRole::Pending
                             ? level <= run.Previous
                             : level < run.Previous * (1.0f - kDtmfEdgeStep);
    if (falling) {
        AddFallingFrame(run, level);
    } else {
        AddInsideFrame(run, level);
    }
    run.Previous = level;
}

bool PairDominates(const TNorvelState& state, int row, int column) {
    const auto share = [&state](int tone) {
        const uint16_t length = state.Filters[tone].Windows[1].Length;
        return PowerShareOf(
            CorrelateTone(state.Ring, kToneFrequencies[tone], state.SampleRate, length));
    };
    const double rowShare = share(row);
    const double columnShare = share(column);
    return rowShare + columnShare >= kDtmfPairShare && rowShare >= kDtmfToneShare &&
           columnShare >= kDtmfToneShare;
}

bool DtmfLevelSteady(const TDtmfRun& run) {
    if (!run.HasInterior || run.InteriorMax <= 0.0f) {
        return true;
    }
    return (run.InteriorMax - run.InteriorMin) / run.InteriorMax < kDtmfMaxSpread;
}

void AddDtmfFrame(TDtmfRun& run, const THistoryEntry& entry) {
    AddDtmfLevel(run, entry.Level);
    run.PairDominant = run.PairDominant || entry.PairDominant;
}

void CloseDtmfRun(TNorvelState& state) {
    const TDtmfRun& run = state.DtmfRun;
    if (run.Symbol != 0 && run.Length >= kDtmfMinFrames && run.PairDominant &&
        DtmfLevelSteady(run)) {
        AppendToneDigit(state, DtmfSymbolCode(run.Symbol));
    }
    state.DtmfRun = TDtmfRun{}; // the closing gap may open the next digit
}

void StartDtmfRun(TDtmfRun& run, const THistoryEntry& entry) {
    run = TDtmfRun{};
    run.Symbol = entry.Symbol;
    AddDtmfFrame(run, entry);
}

// A frame whose pair does not carry the power (a window half over a tone's edge, or noise
// picking a neighbour tone) is weak evidence: against a running digit of another key it
// counts as a gap, and a run of such frames gives way to a key that does dominate.
void FeedDtmfFrame(TNorvelState& state, const THistoryEntry& entry) {
    TDtmfRun& run = state.DtmfRun;
    if (entry.Symbol == 0) {
        CloseDtmfRun(state);
        return;
    }
    if (run.Symbol == entry.Symbol) {
        AddDtmfFrame(run, entry);
        return;
    }
    if (run.Symbol == 0) {
        if (run.Armed) {
            StartDtmfRun(run, entry);
        }
        return;
    }
    if (!entry.PairDominant) {
        CloseDtmfRun(state);
        return;
    }
    if (!run.PairDominant) {
        StartDtmfRun(run, entry);
        return;
    }
    // Two keys back to back without a gap: wait for the next gap.
    run = TDtmfRun{};
    run.Armed = false;
}

void AnalyseDtmf(TNorvelState& state) {
    ReadTones(state, kDtmfRowFirst, 8);
    PushDtmfFrame(state, ClassifyDtmfFrame(state));
}

void EndMfSequence(TNorvelState& state) {
    if (FindMfCycleStart(state.Message) >= 0) {
        state.State = TDecoderState::MfComplete;
    } else {
        // Nothing usable was heard: listen again rather than stay deaf for the call.
        ReturnToIdle(state);
    }
}

void AppendMfSymbol(TNorvelState& state, uint16_t row) {
    TMessageBuffer& message = state.Message;
    if (message.Count < kMessageCapacity) {
        message.Entries[message.Count++] = row;
    }
}

void FeedMfFrame(TNorvelState& state, uint8_t symbol) {
    TMfRun& run = state.MfRun;
    if (symbol == run.Symbol) {
        if (run.Length < UINT32_MAX) {
            ++run.Length;
        }
    } else {
        if (run.Symbol != 0 && run.Length >= kMfMinFrames) {
            AppendMfSymbol(state, static_cast<uint16_t>(run.Symbol - 1));
        }
        run.Symbol = symbol;
        run.Length = 1;
    }
    run.ZeroFrames = symbol == 0 ? run.ZeroFrames + 1 : 0;
    if (state.Message.Count > 0 && run.ZeroFrames >= kMfEndZeroFrames) {
        EndMfSequence(state);
    }
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
    const bool requestFlag = request.Level < 2.0 * request.Amplitude && request.Level > kMinLevel;
    PushHistory(state.RequestHistory, THistoryEntry{static_cast<uint8_t>(requestFlag ? 1 : 0)});
    if (CountTrailing(state.RequestHistory, 1) >= kToneFrames) {
        EnterMfReception(state);
        return;
    }

    const TToneReading& mark = state.Readings[kFskMarkTone];
    bool markFlag = 2.0 * mark.Level < 3.0 * mark.Amplitude && mark.Level > kMinLevel;
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

void PushDtmfFrame(TNorvelState& state, const THistoryEntry& entry) {
    PushHistory(state.DtmfHistory, entry);
    THistoryEntry settled;
    while (TakeSettledEntry(state.DtmfHistory, settled)) {
        FeedDtmfFrame(state, settled);
    }
}

void PushMfFrame(TNorvelState& state, uint8_t symbol) {
    PushHistory(state.MfHistory, THistoryEntry{symbol});
    THistoryEntry settled;
    while (state.State == TDecoderState::MfReception &&
           TakeSettledEntry(state.MfHistory, settled)) {
        FeedMfFrame(state, settled.Symbol);
    }
}

void PushHistory(TSymbolHistory& history, const THistoryEntry& entry) {
    const uint8_t newest = history.Write & kHistoryMask;
    history.Entries[newest] = entry;
    history.Write = static_cast<uint8_t>((history.Write + 1) & kHistoryMask);
    THistoryEntry& previous = history.Entries[(newest - 1) & kHistoryMask];
    const THistoryEntry& before = history.Entries[(newest - 2) & kHistoryMask];
    if (before.Symbol != previous.Symbol && previous.Symbol != entry.Symbol) {
        previous = before;
    }
}

bool TakeSettledEntry(TSymbolHistory& history, THistoryEntry& entry) {
    const uint8_t newest = (history.Write - 1) & kHistoryMask;
    if (history.Read == newest) {
        return false;
    }
    entry = history.Entries[history.Read];
    history.Read = static_cast<uint8_t>((history.Read + 1) & kHistoryMask);
    return true;
}

int CountTrailing(const TSymbolHistory& history, uint8_t symbol) {
    int count = 0;
    uint8_t index = history.Write;
    while (count < kHistorySize) {
        index = (index - 1) & kHistoryMask;
        if (history.Entries[index].Symbol != symbol) {
            break;
        }
        ++count;
    }
    return count;
}

THistoryEntry ClassifyDtmfFrame(const TNorvelState& state) {
    // Keep the row and the column tone with the lowest level-to-amplitude ratio.
    int row = kDtmfRowFirst;
    int column = kDtmfColumnFirst;
    for (int tone = kDtmfRowFirst + 1; tone < kDtmfRowFirst + 4; ++tone) {
        if (state.Readings[tone].Ratio < state.Readings[row].Ratio) {
            row = tone;
        }
    }
    for (int tone = kDtmfColumnFirst + 1; tone < kDtmfColumnFirst + 4; ++tone) {
        if (state.Readings[tone].Ratio < state.Readings[column].Ratio) {
            column = tone;
        }
    }
    const TToneReading& rowReading = state.Readings[row];
    const TToneReading& columnReading = state.Readings[column];
    const TToneReading& strongest =
        columnReading.Amplitude > rowReading.Amplitude ? columnReading : rowReading;
    const double amplitude = strongest.Amplitude;
    const double toneLevel = strongest.Level;
    if (!(toneLevel < 3.0 * amplitude && toneLevel > kMinLevel &&
          (rowReading.Amplitude + columnReading.Amplitude) / toneLevel >= 0.7)) {
        return {};
    }
    uint8_t mask = 0;
    if (rowReading.Ratio < 4.0) {
        mask |= static_cast<uint8_t>(1u << row);
    }
    if (columnReading.Ratio < 4.0) {
        mask |= static_cast<uint8_t>(1u << column);
    }
    for (int entry = 0; entry < 16; ++entry) {
        if (kDtmfTable[entry].Mask == mask) {
            // The spread check compares frames, so their levels all come from one window:
            // the row tone's. The strongest tone's window changes with the amplitudes.
            return THistoryEntry{static_cast<uint8_t>(entry + 1), PairDominates(state, row, column),
                                 static_cast<float>(rowReading.Level)};
        }
    }
    return {};
}

uint8_t ClassifyMfFrame(const TNorvelState& state) {
    int first = -1;
    int second = -1;
    for (int tone = kMfFirst; tone < kMfFirst + kMfToneCount; ++tone) {
        const double amplitude = state.Readings[tone].Amplitude;
        if (first < 0 || amplitude > state.Readings[first].Amplitude) {
            second = first;
            first = tone;
        } else if (second < 0 || amplitude > state.Readings[second].Amplitude) {
            second = tone;
        }
    }
    const double a1 = state.Readings[first].Amplitude;
    const double a2 = state.Readings[second].Amplitude;
    const double level = state.Readings[first].Level;
    if (!(level < 3.0 * a1 && level > kMinLevel && 4.0 * a2 > a1)) {
        return 0;
    }
    const uint8_t mask =
        static_cast<uint8_t>((1u << (first - kMfFirst)) | (1u << (second - kMfFirst)));
    for (int entry = 0; entry < 12; ++entry) {
        if (kMfTable[entry].Mask == mask) {
            return static_cast<uint8_t>(entry + 1);
        }
    }
    return 0;
}

uint8_t DtmfSymbolCode(uint8_t symbol) {
    return symbol >= 1 && symbol <= 16 ? kDtmfTable[symbol - 1].Code : 0;
}

uint8_t MfRowCode(uint16_t row) {
    return row < 12 ? kMfTable[row].Code : 0;
}

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
