#include "callerid/FskDemodulator.h"

#include <cmath>

#include "callerid/ToneAnalysis.h"

namespace norvel {

namespace {

constexpr uint32_t kReceptionLimit = 500; // ms after the carrier was recognised
constexpr uint16_t kMessageType = 0x80;   // multiple data message
// Once the length is known the message may need longer: 10 ms per byte and a margin.
constexpr uint32_t kMillisecondsPerByte = 10;
constexpr uint32_t kDeadlineMargin = 50;
constexpr double kStartHalfWave = 100.0;
constexpr int kCellsPerByte = 10;

uint16_t RingDistance(uint16_t from, uint16_t to) {
    return static_cast<uint16_t>((to - from) & kFskRingMask);
}

void WriteClasses(TFskDemodulator& fsk, uint8_t fskClass, uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) {
        if (RingDistance(fsk.Read, fsk.Write) == kFskRingMask) {
            fsk.Read = static_cast<uint16_t>((fsk.Read + 1) & kFskRingMask); // never overrun
        }
        fsk.Classes[fsk.Write] = fskClass;
        fsk.Write = static_cast<uint16_t>((fsk.Write + 1) & kFskRingMask);
    }
}

// Ten cells from the read position; cell 0 start (space), 1-8 data, 9 stop (mark). A cell's
// bit is the average class of the middle half of its samples: the half-wave that straddles
// a bit boundary takes its class from a period half in the neighbouring bit, and at 8000 Hz a
// lone mark bit is a single cycle.
bool FrameByte(const TFskDemodulator& fsk, int32_t sampleRate, uint8_t& value, uint16_t& lastMark) {
    int counts[kCellsPerByte] = {};
    int spaces[kCellsPerByte] = {};
    bool markSeen = false;
    for (uint32_t offset = 0; offset < fsk.ByteSpan; ++offset) {
        const uint64_t quarters = uint64_t{offset} * 1200 * 4 / static_cast<uint64_t>(sampleRate);
        const uint32_t cell = static_cast<uint32_t>(quarters / 4);
        const uint32_t quarter = static_cast<uint32_t>(quarters % 4);
        const uint16_t index = static_cast<uint16_t>((fsk.Read + offset) & kFskRingMask);
        const uint8_t fskClass = fsk.Classes[index];
        if (fskClass == 0) {
            lastMark = index;
            markSeen = true;
        }
        if (cell >= kCellsPerByte || fskClass == 2 || quarter == 0 || quarter == 3) {
            continue;
        }
        ++counts[cell];
        spaces[cell] += fskClass;
    }
    int bits[kCellsPerByte] = {};
    for (int cell = 0; cell < kCellsPerByte; ++cell) {
        if (counts[cell] == 0) {
            return false;
        }
        const double average = static_cast<double>(spaces[cell]) / counts[cell];
        if (average > 0.45 && average < 0.55) {
            return false;
        }
        bits[cell] = average < 0.5 ? 1 : 0;
    }
    if (bits[0] != 0 || bits[kCellsPerByte - 1] != 1 || !markSeen) {
        return false;
    }
    value = 0;
    for (int bit = 0; bit < 8; ++bit) {
        value = static_cast<uint8_t>(value | (bits[1 + bit] << bit));
    }
    return true;
}

void AcceptByte(TNorvelState& state, uint8_t value) {
    TMessageBuffer& message = state.Message;
    message.Sum = static_cast<uint16_t>(message.Sum + value);
    if (message.Count < kMessageCapacity) {
        message.Entries[message.Count] = value;
    }
    ++message.Count;
    if (message.Count == 1 && value != kMessageType) {
        ReturnToIdle(state);
        return;
    }
    if (message.Count == 2) {
        const uint32_t needed = (uint32_t{value} + 1) * kMillisecondsPerByte + kDeadlineMargin;
        if (state.Milliseconds + needed > state.Fsk.Deadline) {
            state.Fsk.Deadline = state.Milliseconds + needed;
        }
    }
    if (message.Count > 1 && message.Count == message.Entries[1] + 3) {
        if ((message.Sum & 0xFF) == 0) {
            state.State = TDecoderState::FskComplete;
        } else {
            ReturnToIdle(state); // a corrupted message gives nothing; listen again
        }
    }
}

void FrameBytes(TNorvelState& state) {
    TFskDemodulator& fsk = state.Fsk;
    while (state.State == TDecoderState::FskReception) {
        uint32_t pending = RingDistance(fsk.Read, fsk.Write);
        if (pending < fsk.FramingWindow) {
            return;
        }
        while (pending > 0 && fsk.Classes[fsk.Read] == 0) {
            fsk.Read = static_cast<uint16_t>((fsk.Read + 1) & kFskRingMask);
            --pending;
        }
        // A class-2 half-wave before the first space sample is the transition out of the mark:
        // the bit boundary lies inside it, so the start bit is taken to begin half-way.
        uint32_t transition = 0;
        while (transition < pending && fsk.Classes[(fsk.Read + transition) & kFskRingMask] == 2) {
            ++transition;
        }
        if (transition > fsk.MarkPeriod) {
            // Longer than any half-wave: noise or silence, not a transition.
            const uint32_t surplus = transition - fsk.MarkPeriod;
            fsk.Read = static_cast<uint16_t>((fsk.Read + surplus) & kFskRingMask);
            pending -= surplus;
            transition = fsk.MarkPeriod;
        }
        if (transition == pending) {
            return; // wait for what follows
        }
        const uint32_t skip =
            fsk.Classes[(fsk.Read + transition) & kFskRingMask] == 1 ? transition / 2 : transition;
        fsk.Read = static_cast<uint16_t>((fsk.Read + skip) & kFskRingMask);
        pending -= skip;
        if (fsk.Classes[fsk.Read] == 0) {
            continue; // a stray class-2 stretch inside the mark
        }
        if (pending < fsk.ByteSpan) {
            return;
        }
        uint8_t value = 0;
        uint16_t lastMark = fsk.Read;
        if (!FrameByte(fsk, state.SampleRate, value, lastMark)) {
            fsk.Read = static_cast<uint16_t>((fsk.Read + 1) & kFskRingMask);
            continue;
        }
        fsk.Read = lastMark;
        AcceptByte(state, value);
    }
}

bool IsPositive(int16_t sample) {
    return sample >= 0;
}

// Position of the zero crossing between the previous sample (at position - 1) and this one.
double CrossingPosition(int64_t position, int16_t previous, int16_t sample) {
    const double before = previous;
    return static_cast<double>(position - 1) + before / (before - static_cast<double>(sample));
}

} // namespace

void SetUpFskThresholds(TFskDemodulator& fsk, int32_t sampleRate) {
    const double b = sampleRate / 2200.0;
    const double c = sampleRate / 1200.0;
    fsk.T1 = (3.0 * b - c + 1.0) / 2.0;
    fsk.T2 = (b + c - 1.0) / 2.0;
    fsk.T3 = (b + c + 1.0) / 2.0;
    fsk.T4 = (3.0 * c - b - 1.0) / 2.0;
    fsk.FramingWindow = static_cast<uint32_t>(std::ceil(sampleRate / 60.0));
    fsk.ByteSpan = static_cast<uint32_t>(std::ceil(sampleRate / 120.0));
    fsk.MarkPeriod = static_cast<uint32_t>(std::ceil(c));
}

uint8_t ClassifyFskPeriod(const TFskDemodulator& fsk, double period) {
    if (period >= fsk.T3 && period <= fsk.T4) {
        return 0;
    }
    if (period >= fsk.T1 && period <= fsk.T2) {
        return 1;
    }
    return 2;
}

void StartFskReception(TNorvelState& state) {
    TFskDemodulator& fsk = state.Fsk;
    fsk.Classes.fill(0);
    fsk.Write = 0;
    fsk.Read = 0;
    fsk.Position = 0;
    fsk.PendingSamples = 0;
    fsk.Overlong = false;
    fsk.Deadline = state.Milliseconds + kReceptionLimit;
}

void WaitFskCrossing(TNorvelState& state) {
    const TSampleRing& ring = state.Ring;
    if (ring.Count < 2) {
        return;
    }
    const int16_t sample = ring.Samples[(ring.Count - 1) & kSampleRingMask];
    const int16_t previous = ring.Samples[(ring.Count - 2) & kSampleRingMask];
    if (IsPositive(sample) == IsPositive(previous)) {
        return;
    }
    TFskDemodulator& fsk = state.Fsk;
    fsk.Position = 0;
    fsk.LastCrossing = CrossingPosition(0, previous, sample);
    fsk.EarlierCrossing = fsk.LastCrossing - kStartHalfWave; // the first period is no bit
    fsk.Positive = IsPositive(sample);
    fsk.Previous = sample;
    fsk.PendingSamples = 1;
    fsk.Overlong = false;
    fsk.ZeroRun = 0;
    state.State = TDecoderState::FskReception;
}

void DemodulateFskSample(TNorvelState& state, int16_t sample) {
    TFskDemodulator& fsk = state.Fsk;
    ++fsk.Position;
    if (IsPositive(sample) != fsk.Positive) {
        const double crossing = CrossingPosition(fsk.Position, fsk.Previous, sample);
        const uint8_t fskClass =
            fsk.Overlong ? 2 : ClassifyFskPeriod(fsk, crossing - fsk.EarlierCrossing);
        WriteClasses(fsk, fskClass, fsk.PendingSamples);
        fsk.EarlierCrossing = fsk.LastCrossing;
        fsk.LastCrossing = crossing;
        fsk.Positive = !fsk.Positive;
        fsk.PendingSamples = 1;
        fsk.Overlong = false;
        fsk.ZeroRun = 0;
    } else {
        ++fsk.PendingSamples;
        fsk.ZeroRun = sample == 0 ? fsk.ZeroRun + 1 : 0;
        // Once the period can only end above the mark limit its class is known: write it now,
        // so that a burst followed by silence still delivers its last byte.
        if (!fsk.Overlong && static_cast<double>(fsk.Position) - fsk.EarlierCrossing > fsk.T4) {
            fsk.Overlong = true;
            // Digital silence: the half-wave ended where the signal reached zero and stayed.
            if (fsk.ZeroRun > 0 && fsk.ZeroRun < fsk.PendingSamples) {
                const double end = static_cast<double>(fsk.Position - fsk.ZeroRun) + 1.0;
                WriteClasses(fsk, ClassifyFskPeriod(fsk, end - fsk.EarlierCrossing),
                             fsk.PendingSamples - fsk.ZeroRun);
                fsk.PendingSamples = fsk.ZeroRun;
            }
        }
        if (fsk.Overlong) {
            WriteClasses(fsk, 2, fsk.PendingSamples);
            fsk.PendingSamples = 0;
        }
    }
    fsk.Previous = sample;
    FrameBytes(state);
}

void CheckFskDeadline(TNorvelState& state) {
    if (state.State != TDecoderState::FskWaitCrossing &&
        state.State != TDecoderState::FskReception) {
        return;
    }
    if (static_cast<int32_t>(state.Milliseconds - state.Fsk.Deadline) >= 0) {
        ReturnToIdle(state);
    }
}

} // namespace norvel
