#include "callerid/DtmfDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>

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

// A key must last this long. Keys of 40 ms are never digits and keys of 50 ms always are;
// the blocks measure a key's length to within a few milliseconds at any level and start.
constexpr double kDtmfMinKeyMs = 45.0;
// A tone off by more than this share of its frequency is no key's (1.5% must be taken, 3.5%
// refused).
constexpr double kDtmfMaxOffset = 0.025;
// Blocks measured before a key is first seen with its pair dominating: its start lies at most
// two frames and one window span earlier.
constexpr int kDtmfBackfillBlocks = 10;
// Frames a track goes on after its key was last seen: the run ends within a few frames.
constexpr uint32_t kDtmfTrackFrames = 6;
// Shares of the key's steady amplitude: a block at or above the first is inside the key (and
// gives its phase), one below the second lies outside it.
constexpr double kDtmfInsideShare = 0.5;
constexpr double kDtmfEdgeShare = 0.2;
// A key's tones turn by the same angle from block to block; speech that lands a harmonic on
// each of them glides. |sum of the turns| / sum of their sizes, for either tone: 50 ms keys
// keep above 0.97 at 12 dB S/N and above this at 5 dB; the speech that came closest read 0.88.
constexpr double kDtmfMinCoherence = 0.90;
constexpr double kTwoPi = 6.283185307179586476925286766559;

// DTMF: mask bit i = tone i; codes 10-13 are A-D, 14 "*", 15 "#". Symbol = row + 1.
constexpr TMaskCode kDtmfTable[16] = {
    {0x11, 1}, {0x21, 2}, {0x41, 3}, {0x81, 10}, {0x12, 4},  {0x22, 5}, {0x42, 6},  {0x82, 11},
    {0x14, 7}, {0x24, 8}, {0x44, 9}, {0x84, 12}, {0x18, 14}, {0x28, 0}, {0x48, 15}, {0x88, 13},
};

int RowToneOf(uint8_t symbol) {
    return std::countr_zero(static_cast<unsigned>(kDtmfTable[symbol - 1].Mask & 0x0F));
}

int ColumnToneOf(uint8_t symbol) {
    return std::countr_zero(static_cast<unsigned>(kDtmfTable[symbol - 1].Mask & 0xF0));
}

int64_t TrackBlockLength(const TNorvelState& state) {
    return std::max<int64_t>(1, (state.SampleRate + 100) / 200);
}

TDtmfTrack* FindTrack(TNorvelState& state, uint8_t symbol) {
    for (TDtmfTrack& track : state.DtmfTracks) {
        if (track.Symbol == symbol) {
            return &track;
        }
    }
    return nullptr;
}

void StartTrack(TNorvelState& state, uint8_t symbol) {
    TDtmfTrack* chosen = &state.DtmfTracks[0];
    for (TDtmfTrack& track : state.DtmfTracks) {
        if (track.Symbol == 0) {
            chosen = &track;
            break;
        }
        if (track.LastSeen < chosen->LastSeen) {
            chosen = &track;
        }
    }
    const int64_t block = TrackBlockLength(state);
    const int64_t oldest = std::max<int64_t>(0, state.Ring.Count - (kSampleRingSize - 1));
    chosen->Symbol = symbol;
    chosen->LastSeen = state.DtmfFrames;
    chosen->Count = 0;
    chosen->Newest = 0;
    chosen->End = std::max(oldest, state.Ring.Count - kDtmfBackfillBlocks * block);
}

void ExtendTrack(const TNorvelState& state, TDtmfTrack& track) {
    const int64_t block = TrackBlockLength(state);
    const uint32_t row = kToneFrequencies[RowToneOf(track.Symbol)];
    const uint32_t column = kToneFrequencies[ColumnToneOf(track.Symbol)];
    while (track.End + block <= state.Ring.Count) {
        track.End += block;
        const TPairFit fit = FitTonePair(state.Ring, row, column, state.SampleRate, track.End,
                                         static_cast<uint16_t>(block));
        track.Newest = static_cast<uint16_t>((track.Newest + 1) % kDtmfTrackBlocks);
        track.Blocks[track.Newest] =
            TDtmfBlock{static_cast<float>(fit.FirstRe), static_cast<float>(fit.FirstIm),
                       static_cast<float>(fit.SecondRe), static_cast<float>(fit.SecondIm)};
        track.Count = static_cast<uint16_t>(std::min<int>(track.Count + 1, kDtmfTrackBlocks));
    }
}

// Every analysed frame: follow the frame's key, and keep measuring the keys seen lately.
void TrackDtmfFrame(TNorvelState& state, const THistoryEntry& entry) {
    ++state.DtmfFrames;
    if (entry.Symbol != 0) {
        TDtmfTrack* track = FindTrack(state, entry.Symbol);
        if (track != nullptr) {
            track->LastSeen = state.DtmfFrames;
        } else if (entry.PairDominant) {
            // A run without a frame in which the pair dominates is no digit: most stray
            // symbols need no track.
            StartTrack(state, entry.Symbol);
        }
    }
    for (TDtmfTrack& track : state.DtmfTracks) {
        if (track.Symbol != 0) {
            if (state.DtmfFrames - track.LastSeen > kDtmfTrackFrames) {
                track.Symbol = 0;
            } else {
                ExtendTrack(state, track);
            }
        }
    }
}

struct TKeyMeasure {
    double LengthMs = 0.0;
    double RowOffset = 0.0; // share of the tone's frequency
    double ColumnOffset = 0.0;
    bool Phased = false;    // two blocks in a row inside the key gave the offsets
    double Coherence = 1.0; // |sum of turns| / sum of |turns|, the lesser of the two tones
};

std::complex<double> RowOf(const TDtmfBlock& block) {
    return {block.RowRe, block.RowIm};
}

std::complex<double> ColumnOf(const TDtmfBlock& block) {
    return {block.ColumnRe, block.ColumnIm};
}

double PairOf(const TDtmfBlock& block) {
    return 2.0 * (std::abs(RowOf(block)) + std::abs(ColumnOf(block)));
}

// The key's length and frequency offsets from the blocks of its run: from one window span
// before its first frame to one frame after its last.
TKeyMeasure MeasureKey(const TNorvelState& state, const TDtmfTrack& track, const TDtmfRun& run) {
    TKeyMeasure measure;
    const int64_t block = TrackBlockLength(state);
    const int64_t from = run.FirstEnd - DtmfWindowSpan(state) - block;
    const int64_t to = run.LastEnd + state.SampleRate / 100 + block;
    // Blocks oldest first, within the run's reach.
    std::array<const TDtmfBlock*, kDtmfTrackBlocks> blocks{};
    int count = 0;
    bool reachesOldest = false;
    for (int k = track.Count - 1; k >= 0; --k) {
        const int64_t end = track.End - k * block;
        if (end - block < from || end > to) {
            continue;
        }
        reachesOldest = reachesOldest || k == track.Count - 1;
        blocks[static_cast<size_t>(count++)] = &track.Blocks[static_cast<size_t>(
            (track.Newest - k + kDtmfTrackBlocks) % kDtmfTrackBlocks)];
    }
    if (count == 0) {
        return measure;
    }
    int peakIndex = 0;
    for (int i = 1; i < count; ++i) {
        if (PairOf(*blocks[i]) > PairOf(*blocks[peakIndex])) {
            peakIndex = i;
        }
    }
    const double peak = PairOf(*blocks[peakIndex]);
    std::array<double, kDtmfTrackBlocks> strong{};
    int strongCount = 0;
    for (int i = 0; i < count; ++i) {
        if (PairOf(*blocks[i]) >= kDtmfInsideShare * peak) {
            strong[static_cast<size_t>(strongCount++)] = PairOf(*blocks[i]);
        }
    }
    std::nth_element(strong.begin(), strong.begin() + strongCount / 2,
                     strong.begin() + strongCount);
    const double steady = strong[static_cast<size_t>(strongCount / 2)];
    if (!(steady > 0.0)) {
        return measure;
    }
    int first = peakIndex;
    while (first > 0 && PairOf(*blocks[first - 1]) >= kDtmfEdgeShare * steady) {
        --first;
    }
    int last = peakIndex;
    while (last + 1 < count && PairOf(*blocks[last + 1]) >= kDtmfEdgeShare * steady) {
        ++last;
    }
    double filled = 0.0;
    std::complex<double> rowTurn, columnTurn;
    double rowTurnSum = 0.0, columnTurnSum = 0.0;
    for (int i = first; i <= last; ++i) {
        filled += std::min(1.0, PairOf(*blocks[i]) / steady);
        if (i > first && PairOf(*blocks[i]) >= kDtmfInsideShare * steady &&
            PairOf(*blocks[i - 1]) >= kDtmfInsideShare * steady) {
            const std::complex<double> rowStep =
                RowOf(*blocks[i]) * std::conj(RowOf(*blocks[i - 1]));
            const std::complex<double> columnStep =
                ColumnOf(*blocks[i]) * std::conj(ColumnOf(*blocks[i - 1]));
            rowTurn += rowStep;
            columnTurn += columnStep;
            rowTurnSum += std::abs(rowStep);
            columnTurnSum += std::abs(columnStep);
            measure.Phased = true;
        }
    }
    if (measure.Phased) {
        measure.Coherence =
            std::min(std::abs(rowTurn) / rowTurnSum, std::abs(columnTurn) / columnTurnSum);
    }
    measure.LengthMs = filled * 1000.0 * static_cast<double>(block) / state.SampleRate;
    if (first == 0 && reachesOldest && track.Count == kDtmfTrackBlocks) {
        measure.LengthMs = std::max(measure.LengthMs, 1000.0); // longer than the track holds
    }
    const double perBlock =
        static_cast<double>(state.SampleRate) / (kTwoPi * static_cast<double>(block));
    const uint8_t symbol = track.Symbol;
    measure.RowOffset = std::arg(rowTurn) * perBlock / kToneFrequencies[RowToneOf(symbol)];
    measure.ColumnOffset = std::arg(columnTurn) * perBlock / kToneFrequencies[ColumnToneOf(symbol)];
    return measure;
}

// Frames fed without audio behind them (the extraction's own checks) have no blocks to measure.
bool KeyLengthAndFrequencyHold(TNorvelState& state, const TDtmfRun& run) {
    if (state.SampleRate == 0) {
        return true;
    }
    const TDtmfTrack* track = FindTrack(state, run.Symbol);
    if (track == nullptr) {
        return false;
    }
    const TKeyMeasure key = MeasureKey(state, *track, run);
    return key.LengthMs >= kDtmfMinKeyMs && key.Phased && key.Coherence >= kDtmfMinCoherence &&
           std::fabs(key.RowOffset) <= kDtmfMaxOffset &&
           std::fabs(key.ColumnOffset) <= kDtmfMaxOffset;
}

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

struct TPairMeasure {
    bool Dominant = false;
    float Level = 0.0f;
};

// Whether the pair carries the power within the twist limits, and the pair's level for the
// spread check and the edges: both tones' amplitudes fitted together over the longest DTMF
// window, which shares its centre with all the others. The row tone window's mean magnitude
// swings by up to 9% with the beat of the two tones alone, and noise at 12 dB S/N moves it by
// as much again: together more than the spread allowed. The fitted amplitudes hold within a
// few percent there, and they fall in proportion to how much of the window the key fills, so
// a frame over a key's edge still shows as one.
TPairMeasure MeasurePair(const TNorvelState& state, int row, int column) {
    const auto share = [&state](int tone) {
        const TToneWindow& window = state.Filters[tone].Windows[1];
        return PowerShareOf(CorrelateTone(state.Ring, kToneFrequencies[tone], state.SampleRate,
                                          window.Length, window.Delay));
    };
    TPairMeasure pair;
    pair.Level = static_cast<float>(PairAmplitude(state.Ring, kToneFrequencies[row],
                                                  kToneFrequencies[column], state.SampleRate,
                                                  DtmfWindowSpan(state)));
    const double rowShare = share(row);
    const double columnShare = share(column);
    if (rowShare <= 0.0 || columnShare <= 0.0) {
        return pair;
    }
    const double twist = 10.0 * std::log10(rowShare / columnShare);
    pair.Dominant = rowShare + columnShare >= kDtmfPairShare && twist <= kDtmfNormalTwist &&
                    twist >= -kDtmfReverseTwist;
    return pair;
}

bool DtmfLevelSteady(const TDtmfRun& run) {
    if (!run.HasInterior || run.InteriorMax <= 0.0f) {
        return true;
    }
    return (run.InteriorMax - run.InteriorMin) / run.InteriorMax < kDtmfMaxSpread;
}

void AddDtmfFrame(TDtmfRun& run, const THistoryEntry& entry) {
    if (run.Length == 0) {
        run.FirstEnd = entry.End;
    }
    run.LastEnd = entry.End;
    AddDtmfLevel(run, entry.Level, entry.PairDominant);
    run.PairDominant = run.PairDominant || entry.PairDominant;
}

void CloseDtmfRun(TNorvelState& state) {
    const TDtmfRun& run = state.DtmfRun;
    if (run.Symbol != 0 && run.Length >= kDtmfMinFrames && run.PairDominant && !run.WeakInside &&
        DtmfLevelSteady(run) && KeyLengthAndFrequencyHold(state, run)) {
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

// The windows are 16 periods long: 10 to 24 ms. Ending together at the newest sample, a key's
// row tone window would still be filling while its column tone window already empties, so at
// each edge of a key one tone sees little of it, and a 50 ms key in noise could keep fewer
// than the five frames a digit needs. With one centre both tones fill and empty in the same
// frames.
void SetUpDtmfFilters(TNorvelState& state) {
    // The lowest row tone's lower neighbour has the longest window.
    const uint16_t span =
        MakeToneFilter(kToneFrequencies[kDtmfRowFirst], state.SampleRate).Windows[0].Length;
    for (int tone = kDtmfRowFirst; tone < kDtmfColumnFirst + 4; ++tone) {
        state.Filters[tone] = MakeToneFilter(kToneFrequencies[tone], state.SampleRate, span);
    }
}

uint16_t DtmfWindowSpan(const TNorvelState& state) {
    return state.Filters[kDtmfRowFirst].Windows[0].Length;
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
    const uint8_t symbol = SymbolOfMask(kDtmfTable, mask);
    if (symbol == 0) {
        return {};
    }
    const TPairMeasure pair = MeasurePair(state, row, column);
    return THistoryEntry{symbol, pair.Dominant, pair.Level};
}

void PushDtmfFrame(TNorvelState& state, const THistoryEntry& frame) {
    THistoryEntry entry = frame;
    if (state.SampleRate != 0) {
        entry.End = state.Ring.Count;
        TrackDtmfFrame(state, entry);
    }
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
