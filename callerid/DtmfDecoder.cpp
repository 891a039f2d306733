#include "callerid/DtmfDecoder.h"

#include <cmath>

#include "callerid/SymbolHistory.h"
#include "callerid/ToneDetector.h"

namespace norvel {

namespace {

constexpr double kDtmfMaxSpread = 0.15;
// A rise by more than this from one frame to the next: a window filling with the tone.
constexpr float kDtmfSteepRise = 0.3f;
// Speech can put two harmonics on a row and a column frequency, but seldom for long and
// seldom alone. In every frame inside a digit the pair must carry most of the window's power,
// and the tones' powers must differ by no more than a keypad's twist: the column tone up to
// 12 dB weaker (normal twist, 8 dB needed) or up to 6 dB stronger (reverse, 4 dB needed);
// each tone's share leaks up to 2 dB of its partner through its own 16-period window.
constexpr double kDtmfPairShare = 0.6;
// kDtmfUsableRatio: the quarter-period amplitude of a sine swings from 0.45 to 0.64 of its
// peak with the phase, so a tone 8 dB below its partner can read a ratio of 4.6.
constexpr double kDtmfNormalTwist = 12.0; // dB
constexpr double kDtmfReverseTwist = 6.0; // dB

struct TMaskCode {
    uint8_t Mask;
    uint8_t Code;
};

// DTMF: mask bit i = tone i; codes 10-13 are A-D, 14 "*", 15 "#". Symbol = row + 1.
constexpr TMaskCode kDtmfTable[16] = {
    {0x11, 1}, {0x21, 2}, {0x41, 3}, {0x81, 10}, {0x12, 4},  {0x22, 5}, {0x42, 6},  {0x82, 11},
    {0x14, 7}, {0x24, 8}, {0x44, 9}, {0x84, 12}, {0x18, 14}, {0x28, 0}, {0x48, 15}, {0x88, 13},
};

void AppendToneDigit(TNorvelState& state, uint8_t code) {
    if (state.ToneDigitCount < kToneDigitCapacity) {
        state.ToneDigits[state.ToneDigitCount++] = code;
    }
}

void IncludeInterior(TDtmfRun& run, float level, bool dominant) {
    run.WeakInside = run.WeakInside || !dominant;
    if (!run.HasInterior) {
        run.InteriorMin = run.InteriorMax = level;
        run.HasInterior = true;
    } else {
        run.InteriorMin = std::fmin(run.InteriorMin, level);
        run.InteriorMax = std::fmax(run.InteriorMax, level);
    }
}

void AddFallingFrame(TDtmfRun& run, float level, bool dominant) {
    if (run.FallingCount == kDtmfMaxEdgeFrames) {
        // Longer than an edge: the oldest of the fall is inside the tone after all.
        IncludeInterior(run, run.Falling[0], run.FallingDominant[0]);
        for (int i = 1; i < kDtmfMaxEdgeFrames; ++i) {
            run.Falling[i - 1] = run.Falling[i];
            run.FallingDominant[i - 1] = run.FallingDominant[i];
        }
        --run.FallingCount;
    }
    run.Falling[run.FallingCount] = level;
    run.FallingDominant[run.FallingCount] = dominant;
    ++run.FallingCount;
    run.Role = TDtmfFrameRole::Pending;
}

void AddInsideFrame(TDtmfRun& run, float level, bool dominant) {
    for (uint8_t i = 0; i < run.FallingCount; ++i) {
        IncludeInterior(run, run.Falling[i], run.FallingDominant[i]);
    }
    run.FallingCount = 0;
    IncludeInterior(run, level, dominant);
    run.Role = TDtmfFrameRole::Inside;
}

// Frames count towards the level spread and the pair's dominance once they are known not to
// straddle the tone's start (a steep rise) or its end (a steep fall that lasts to the end of
// the run).
void AddDtmfLevel(TDtmfRun& run, float level, bool dominant) {
    ++run.Length;
    if (run.Length == 1) {
        run.Previous = level;
        run.PreviousDominant = dominant;
        run.Role = TDtmfFrameRole::Held;
        return;
    }
    if (level == run.Previous) {
        // A copy the smoothing made of the frame before: it shares that frame's place.
        if (run.Role == TDtmfFrameRole::Pending) {
            AddFallingFrame(run, level, dominant);
        } else if (run.Role == TDtmfFrameRole::Inside) {
            IncludeInterior(run, level, dominant);
        }
        return;
    }
    if (run.Role == TDtmfFrameRole::Held) {
        if (level > run.Previous * (1.0f + kDtmfEdgeStep)) {
            run.SteepRise = level > run.Previous * (1.0f + kDtmfSteepRise);
            run.Previous = level;
            run.PreviousDominant = dominant;
            return;
        }
        // In noise the last frame of the rise may step up by less than the edge step while
        // its window still reaches back before the tone: after a steep rise it is an edge.
        if (!run.SteepRise) {
            IncludeInterior(run, run.Previous, run.PreviousDominant);
        }
        run.Role = TDtmfFrameRole::Inside;
    }
    const bool falling = run.Role == TDtmfFrameRole::Pending
                             ? level <= run.Previous
                             : level < run.Previous * (1.0f - kDtmfEdgeStep);
    if (falling) {
        AddFallingFrame(run, level, dominant);
    } else {
        AddInsideFrame(run, level, dominant);
    }
    run.Previous = level;
    run.PreviousDominant = dominant;
}

bool PairDominates(const TNorvelState& state, int row, int column) {
    const auto share = [&state](int tone) {
        const uint16_t length = state.Filters[tone].Windows[1].Length;
        return PowerShareOf(
            CorrelateTone(state.Ring, kToneFrequencies[tone], state.SampleRate, length));
    };
    const double rowShare = share(row);
    const double columnShare = share(column);
    if (rowShare <= 0.0 || columnShare <= 0.0) {
        return false;
    }
    const double twist = 10.0 * std::log10(rowShare / columnShare);
    return rowShare + columnShare >= kDtmfPairShare && twist <= kDtmfNormalTwist &&
           twist >= -kDtmfReverseTwist;
}

bool DtmfLevelSteady(const TDtmfRun& run) {
    if (!run.HasInterior || run.InteriorMax <= 0.0f) {
        return true;
    }
    return (run.InteriorMax - run.InteriorMin) / run.InteriorMax < kDtmfMaxSpread;
}

void AddDtmfFrame(TDtmfRun& run, const THistoryEntry& entry) {
    AddDtmfLevel(run, entry.Level, entry.PairDominant);
    run.PairDominant = run.PairDominant || entry.PairDominant;
}

void CloseDtmfRun(TNorvelState& state) {
    const TDtmfRun& run = state.DtmfRun;
    if (run.Symbol != 0 && run.Length >= kDtmfMinFrames && run.PairDominant && !run.WeakInside &&
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

} // namespace

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
    if (!(toneLevel < 3.0 * amplitude && toneLevel > kMinToneLevel &&
          (rowReading.Amplitude + columnReading.Amplitude) / toneLevel >= 0.7)) {
        return {};
    }
    uint8_t mask = 0;
    if (rowReading.Ratio < kDtmfUsableRatio) {
        mask |= static_cast<uint8_t>(1u << row);
    }
    if (columnReading.Ratio < kDtmfUsableRatio) {
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

void PushDtmfFrame(TNorvelState& state, const THistoryEntry& entry) {
    PushHistory(state.DtmfHistory, entry);
    THistoryEntry settled;
    while (TakeSettledEntry(state.DtmfHistory, settled)) {
        FeedDtmfFrame(state, settled);
    }
}

uint8_t DtmfSymbolCode(uint8_t symbol) {
    return symbol >= 1 && symbol <= 16 ? kDtmfTable[symbol - 1].Code : 0;
}

} // namespace norvel
