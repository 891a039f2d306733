#pragma once

// The whole state of one caller-ID decoder. The library keeps one instance behind its
// exports; the tests create as many as they like.

#include <array>
#include <cstdint>

namespace norvel {

// Decoder states. The numbers are visible through the status record, so they stay as they are.
enum class TDecoderState : uint16_t {
    Idle = 0,            // DTMF, request tones and pulse clicks are watched
    MfReception = 2,     // multi-frequency symbols after the 500 Hz request tone
    FskWaitCrossing = 3, // 1200 Hz carrier seen, waiting for its first zero crossing
    MfComplete = 18,     // a full multi-frequency cycle was taken
    FskReception = 19,
    FskComplete = 35,
};

constexpr int32_t kMinSampleRate = 4000;
constexpr int32_t kMaxSampleRate = 40000;

// Tone set: 0-3 DTMF rows, 4-7 DTMF columns, 8-13 multi-frequency, 14 request, 15 FSK mark.
constexpr int kToneCount = 16;
constexpr int kDtmfRowFirst = 0;
constexpr int kDtmfColumnFirst = 4;
constexpr int kMfFirst = 8;
constexpr int kMfToneCount = 6;
// The multi-frequency number goes out as a repeated cycle: start, category, seven digits.
constexpr uint16_t kMfCycle = 9;
constexpr int kRequestTone = 14;
constexpr int kFskMarkTone = 15;
// A tone frame counts only above this mean magnitude.
constexpr double kMinToneLevel = 256.0;
constexpr std::array<uint32_t, kToneCount> kToneFrequencies = {
    697, 770, 852, 941, 1209, 1336, 1477, 1633, 700, 900, 1100, 1300, 1500, 1700, 500, 1200};

constexpr int kSampleRingSize = 4096;
constexpr int kSampleRingMask = kSampleRingSize - 1;
constexpr int kHistorySize = 128;
constexpr int kHistoryMask = kHistorySize - 1;
constexpr int kFskRingSize = 1024;
constexpr int kFskRingMask = kFskRingSize - 1;
constexpr int kClickRingSize = 256;
// Type, length, up to 255 data bytes and the checksum: the longest FSK message fits whole.
constexpr int kMessageCapacity = 258;
constexpr int kToneDigitCapacity = 100;
constexpr int kPulseDigitCapacity = 100;

// A quarter-period correlator covers 16 periods, so at most 64 quarters.
constexpr int kMaxQuarters = 64;

// A frame whose analysis window reaches past a tone's start or end shows a level at least
// this much below its neighbour inside the tone (a window fills or empties by more than 40%
// per 10 ms frame); at most this many such frames lie at either end.
constexpr float kDtmfEdgeStep = 0.06f;
constexpr int kDtmfMaxEdgeFrames = 4;
// Frames a run of one key needs before its length is measured. Not five: near the level floor
// the frames at a 50 ms key's edges fall below it, and the length measured over blocks keeps
// 40 ms keys out at every level.
constexpr int kDtmfMinFrames = 3;

// Audio in the order it arrived, with running sums so that any window's sum is a difference.
struct TSampleRing {
    std::array<int16_t, kSampleRingSize> Samples{};
    std::array<uint32_t, kSampleRingSize> Prefix{}; // sum of all samples up to this one, mod 2^32
    std::array<uint32_t, kSampleRingSize> AbsPrefix{}; // the same for the magnitudes
    int64_t Count = 0;                                 // samples stored; the newest is Count - 1
};

// One analysed frequency: n samples back from the window's newest sample, which lies `Delay`
// samples before the ring's newest, split into quarter periods.
struct TToneWindow {
    uint32_t Frequency = 0;
    uint16_t Length = 0;
    uint16_t Delay = 0;
    uint16_t QuarterCount = 0;
    std::array<uint16_t, kMaxQuarters> QuarterEnd{}; // back-index one past each quarter
    std::array<uint16_t, 4> BinCount{};
};

// A tone and its two neighbours 3% below and above.
struct TToneFilter {
    std::array<TToneWindow, 3> Windows{}; // f - d, f, f + d
};

struct TToneReading {
    double Amplitude = 0.0;
    double Level = 0.0;
    double Ratio = 100.0; // level / amplitude, 100 when either is 0
    double InPhase = 0.0;
    double Quadrature = 0.0;
};

// One frame's symbol (or flag). DTMF frames keep their level and whether the tone pair
// carried most of the frame's power within the twist limits.
struct THistoryEntry {
    uint8_t Symbol = 0;
    bool PairDominant = false;
    float Level = 0.0f;
    bool Smoothed = false; // a copy of its predecessor, put in place of a one-frame outlier
    int64_t End = 0;       // samples stored when the frame was analysed (a copy keeps its own)
};

struct TSymbolHistory {
    std::array<THistoryEntry, kHistorySize> Entries{};
    uint8_t Write = 0; // next slot to fill
    uint8_t Read = 0;  // next settled entry to hand to the extraction
};

enum class TDtmfFrameRole : uint8_t { Held, Pending, Inside };

// A key's tone pair measured over short blocks that tile the audio without overlap, from
// before the key was first seen until after it was last seen. A block a key fills in part
// reads in proportion, so the blocks add up to the key's length whatever its level and
// wherever it starts, and the phase turn from block to block gives each tone's frequency.
constexpr int kDtmfTrackBlocks = 64; // 5 ms each
constexpr int kDtmfTrackSlots = 3;
struct TDtmfBlock {
    float RowRe = 0.0f, RowIm = 0.0f; // complex amplitude against an absolute reference
    float ColumnRe = 0.0f, ColumnIm = 0.0f;
};
struct TDtmfTrack {
    uint8_t Symbol = 0;    // key followed, 0 for none
    uint32_t LastSeen = 0; // frame number when a frame last carried the key
    int64_t End = 0;       // sample index one past the newest block
    uint16_t Count = 0;    // blocks held, the newest at Newest
    uint16_t Newest = 0;
    std::array<TDtmfBlock, kDtmfTrackBlocks> Blocks{};
};

struct TDtmfRun {
    bool Armed = true;    // the last settled frame carried no symbol
    int64_t FirstEnd = 0; // frame ends of the run's first and newest frames
    int64_t LastEnd = 0;
    uint8_t Symbol = 0; // symbol of the run being followed, 0 for none
    uint32_t Length = 0;
    // Where the newest frame went: held while the levels still rise steeply (the tone's
    // start), pending while they fall steeply (maybe its end), or counted as inside the tone.
    TDtmfFrameRole Role = TDtmfFrameRole::Held;
    float Previous = 0.0f; // level of the run's newest frame
    bool PreviousDominant = false;
    bool SteepRise = false; // the newest frame rose steeply from the one before
    // The frames of a steep fall at the run's end so far, and whether their pair dominated.
    std::array<float, kDtmfMaxEdgeFrames> Falling{};
    std::array<bool, kDtmfMaxEdgeFrames> FallingDominant{};
    uint8_t FallingCount = 0;
    float InteriorMin = 0.0f;
    float InteriorMax = 0.0f;
    bool HasInterior = false;
    bool PairDominant = false; // some frame of the run had the pair carry the power
    bool WeakInside = false;   // a frame inside the tone had the pair not carry it
};

struct TMfRun {
    uint8_t Symbol = 0;
    uint32_t Length = 0;
    uint32_t ZeroFrames = 0;
};

// The phase of the 1200 Hz component in the last frame, against an absolute 1200 Hz clock,
// and the turn it made over the current run of carrier frames.
struct TMarkPhase {
    bool Valid = false;
    double Phase = 0.0;
    int64_t Newest = 0;
    double RunTurn = 0.0;   // radians since the run's first frame
    int64_t RunSamples = 0; // samples over which RunTurn was measured
};

// The 500 Hz request tone's phase in the last frame, against an absolute 500 Hz clock, and the
// offset from 500 Hz that the turn since the frame before gave.
struct TRequestPhase {
    bool Valid = false;
    double Phase = 0.0;
    int64_t Newest = 0;
    bool HasOffset = false;
    double OffsetHz = 0.0;
};

struct TMessageBuffer {
    std::array<uint16_t, kMessageCapacity> Entries{};
    uint16_t Count = 0;
    uint16_t Sum = 0;
};

// Bell 202 tone correlators over one bit: at most 40000 / 1200 samples.
constexpr int kFskWindowCapacity = 34;

enum class TFskPhase : uint8_t { Off, WaitCrossing, Receiving };

// One sample's products with the mark and space references, kept until it leaves the window.
struct TFskProducts {
    int32_t MarkI = 0, MarkQ = 0, SpaceI = 0, SpaceQ = 0;
    int32_t Energy = 0;
};

struct TFskDemodulator {
    double T1 = 0.0, T2 = 0.0, T3 = 0.0, T4 = 0.0; // period limits in samples
    uint32_t FramingWindow = 0;                    // R / 60: pending samples before framing
    uint32_t ByteSpan = 0;   // ten bit cells at the slowest bit rate taken (2% below 1200 bit/s)
    uint32_t MarkPeriod = 0; // R / 1200, rounded up
    uint32_t Window = 0;     // samples per bit, rounded
    uint32_t MarkStep = 0, SpaceStep = 0; // reference phase steps per sample, 2^32 a turn
    TFskPhase Phase = TFskPhase::Off;
    // Listening behind state 0: a carrier off nominal may be the 1209 Hz DTMF column held
    // alone, so the decoder leaves state 0 only once a message really begins.
    bool Background = false;
    // Sliding correlation of the last bit's samples with both tones (exact integer sums).
    uint32_t MarkAngle = 0, SpaceAngle = 0;
    std::array<TFskProducts, kFskWindowCapacity> Products{};
    uint32_t ProductIndex = 0;
    int64_t MarkI = 0, MarkQ = 0, SpaceI = 0, SpaceQ = 0, Energy = 0;
    std::array<uint8_t, kFskRingSize> Classes{}; // 0 mark, 1 space, 2 neither, per sample
    uint16_t Write = 0;
    uint16_t Read = 0;
    int16_t Previous = 0;  // the last sample, for the first zero crossing
    uint32_t Deadline = 0; // millisecond clock at which an unfinished reception ends
};

struct TClick {
    uint32_t Time = 0;
    uint16_t Polarity = 0; // 1 positive, 2 negative
    uint16_t Duration = 0;
    uint16_t Peak = 0;
    uint16_t LevelBefore = 0; // mean magnitude over the 10 ms before the click
};

struct TClickReference {
    uint16_t Polarity = 0;
    double DurationMin = 0.0, DurationMax = 0.0;
    double PeakMin = 0.0, PeakMax = 0.0;
};

enum class TEdgeKind : uint8_t { None, Make, Break };

struct TPulseDecoder {
    int32_t ClickThreshold = 6553;
    bool ClickOpen = false;
    TClick Open{};
    bool AnyClick = false;
    uint32_t LastClickTime = 0;
    // A click waits out the lockout before it is committed: another click close after it, as
    // close before it, makes it part of a sound (the pitch pulses of a loud voice), not a dial.
    bool ClickPending = false;
    TClick Pending{};
    bool AnyAnalysed = false;
    uint32_t LastAnalysedTime = 0; // the last click out of the dead time of the one before

    std::array<TClick, kClickRingSize> Clicks{};
    uint8_t Write = 0;
    uint8_t Read = 0;

    // First: the later click of the make interval; second: the earlier one.
    TClickReference FirstReference{};
    TClickReference SecondReference{};
    uint32_t MakeMin = 36, MakeMax = 44;
    uint32_t BreakMin = 56, BreakMax = 64;
    bool PulseMode = false;

    uint8_t Reference = 0; // click r of the counting
    uint8_t Scan = 0;      // next click the counting looks at
    TEdgeKind LastEdge = TEdgeKind::None;
    uint16_t PulseCount = 0;
    uint32_t TrainFirst = 0;
    uint32_t TrainLast = 0;
    uint32_t DigitStart = 0; // times of the previous digit
    uint32_t DigitEnd = 0;

    std::array<uint8_t, kPulseDigitCapacity> Digits{};
    uint16_t DigitCount = 0;
};

struct TNorvelState {
    int32_t SampleRate = 0; // 0 until a valid reset: samples are then ignored
    TDecoderState State = TDecoderState::Idle;

    TSampleRing Ring{};
    uint32_t Milliseconds = 0;
    uint32_t ClockRemainder = 0; // sample rate fractions towards the next millisecond

    std::array<TToneFilter, kToneCount> Filters{};
    std::array<TToneReading, kToneCount> Readings{};

    TSymbolHistory DtmfHistory{};
    TSymbolHistory MfHistory{};
    TSymbolHistory RequestHistory{};
    TSymbolHistory MarkHistory{};
    TDtmfRun DtmfRun{};
    std::array<TDtmfTrack, kDtmfTrackSlots> DtmfTracks{};
    uint32_t DtmfFrames = 0; // frames analysed for DTMF since reset
    TMfRun MfRun{};
    TMarkPhase MarkPhase{};
    TRequestPhase RequestPhase{};
    uint32_t ReceptionStart = 0;

    TMessageBuffer Message{};
    std::array<uint8_t, kToneDigitCapacity> ToneDigits{};
    uint16_t ToneDigitCount = 0;

    TFskDemodulator Fsk{};
    TPulseDecoder Pulse{};
};

} // namespace norvel
