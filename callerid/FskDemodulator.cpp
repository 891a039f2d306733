#include "callerid/FskDemodulator.h"

#include <algorithm>
#include <cmath>

#include "callerid/ToneAnalysis.h"

namespace norvel {

namespace {

constexpr uint32_t kReceptionLimit = 500; // ms after the carrier was recognised
constexpr uint16_t kMessageType = 0x80;   // multiple data message
// Once the length is known the message may need longer: 10 ms per byte and a margin.
constexpr uint32_t kMillisecondsPerByte = 10;
constexpr uint32_t kDeadlineMargin = 50;
constexpr int kCellsPerByte = 10;
constexpr uint32_t kBitRates[] = {1200, 1176, 1224};

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

// Ten cells from the read position; cell 0 start (space), 1-8 data, 9 stop (mark). Each bit
// is the average class over its whole cell: every sample's class comes from a bit-long
// window centred near it, so most of what each one saw lies inside the cell.
bool FrameByteAt(const TFskDemodulator& fsk, int32_t sampleRate, uint32_t bitRate, uint8_t& value,
                 uint16_t& lastMark) {
    int counts[kCellsPerByte] = {};
    int spaces[kCellsPerByte] = {};
    bool markSeen = false;
    const uint64_t rate = static_cast<uint64_t>(sampleRate);
    const uint32_t span = static_cast<uint32_t>((kCellsPerByte * rate + bitRate - 1) / bitRate);
    for (uint32_t offset = 0; offset < span; ++offset) {
        const uint32_t cell = static_cast<uint32_t>(uint64_t{offset} * bitRate / rate);
        const uint16_t index = static_cast<uint16_t>((fsk.Read + offset) & kFskRingMask);
        const uint8_t fskClass = fsk.Classes[index];
        if (fskClass == 0) {
            lastMark = index;
            markSeen = true;
        }
        if (cell >= kCellsPerByte || fskClass == 2) {
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

// Transmitters may be 2% off the nominal bit rate; over a byte that moves the last cells by a
// fifth of a bit, so a byte that does not frame at 1200 bit/s is tried at either limit.
bool FrameByte(const TFskDemodulator& fsk, int32_t sampleRate, uint8_t& value, uint16_t& lastMark) {
    for (const uint32_t bitRate : kBitRates) {
        uint16_t mark = lastMark;
        if (FrameByteAt(fsk, sampleRate, bitRate, value, mark)) {
            lastMark = mark;
            return true;
        }
    }
    return false;
}

void AcceptByte(TNorvelState& state, uint8_t value) {
    TMessageBuffer& message = state.Message;
    message.Sum = static_cast<uint16_t>(message.Sum + value);
    if (message.Count < kMessageCapacity) {
        message.Entries[message.Count] = value;
    }
    ++message.Count;
    if (message.Count == 1 && value != kMessageType) {
        if (state.Fsk.Background) {
            StopFskReception(state.Fsk);
            message = TMessageBuffer{};
        } else {
            ReturnToIdle(state);
        }
        return;
    }
    if (message.Count == 1 && state.Fsk.Background) {
        CommitFskReception(state); // a message has begun: this was a carrier after all
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
            StopFskReception(state.Fsk);
        } else {
            ReturnToIdle(state); // a corrupted message gives nothing; listen again
        }
    }
}

void FrameBytes(TNorvelState& state) {
    TFskDemodulator& fsk = state.Fsk;
    while (fsk.Phase == TFskPhase::Receiving && state.State != TDecoderState::FskComplete) {
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

// A sample is mark or space when the two tones carry this share of the window's power at
// least; otherwise (silence, noise, speech) it is class 2.
constexpr double kMinToneShare = 0.3;
constexpr int kCosineSteps = 256;
constexpr double kReferenceScale = 16384.0;
constexpr double kTwoPi = 6.283185307179586476925286766559;

// A cosine reference in Q14, looked up by the top 8 bits of a 32-bit phase.
const std::array<int16_t, kCosineSteps>& CosineTable() {
    static const std::array<int16_t, kCosineSteps> table = [] {
        std::array<int16_t, kCosineSteps> values{};
        for (int i = 0; i < kCosineSteps; ++i) {
            values[i] = static_cast<int16_t>(
                std::lround(kReferenceScale * std::cos(kTwoPi * i / kCosineSteps)));
        }
        return values;
    }();
    return table;
}

uint32_t PhaseStep(double frequency, int32_t sampleRate) {
    return static_cast<uint32_t>(std::llround(frequency / sampleRate * 4294967296.0));
}

// Products of one sample with the cosine and sine of a reference at `angle`.
void Mix(int32_t x, uint32_t angle, int32_t& inPhase, int32_t& quadrature) {
    const std::array<int16_t, kCosineSteps>& table = CosineTable();
    const uint32_t step = angle >> 24;
    inPhase = x * table[step];
    quadrature = x * table[(step - kCosineSteps / 4) & (kCosineSteps - 1)];
}

// Slides the bit-long window on by one sample.
void Correlate(TFskDemodulator& fsk, int16_t sample) {
    TFskProducts& slot = fsk.Products[fsk.ProductIndex];
    fsk.MarkI -= slot.MarkI;
    fsk.MarkQ -= slot.MarkQ;
    fsk.SpaceI -= slot.SpaceI;
    fsk.SpaceQ -= slot.SpaceQ;
    fsk.Energy -= slot.Energy;
    const int32_t x = sample;
    Mix(x, fsk.MarkAngle, slot.MarkI, slot.MarkQ);
    Mix(x, fsk.SpaceAngle, slot.SpaceI, slot.SpaceQ);
    slot.Energy = x * x;
    fsk.MarkI += slot.MarkI;
    fsk.MarkQ += slot.MarkQ;
    fsk.SpaceI += slot.SpaceI;
    fsk.SpaceQ += slot.SpaceQ;
    fsk.Energy += slot.Energy;
    fsk.MarkAngle += fsk.MarkStep;
    fsk.SpaceAngle += fsk.SpaceStep;
    fsk.ProductIndex = fsk.ProductIndex + 1 == fsk.Window ? 0 : fsk.ProductIndex + 1;
}

// Mark when the 1200 Hz correlation is the stronger, space when the 2200 Hz one is.
uint8_t ClassifyWindow(const TFskDemodulator& fsk) {
    const auto power = [](int64_t i, int64_t q) {
        const double a = static_cast<double>(i);
        const double b = static_cast<double>(q);
        return a * a + b * b;
    };
    const double mark = power(fsk.MarkI, fsk.MarkQ);
    const double space = power(fsk.SpaceI, fsk.SpaceQ);
    // A pure tone at a reference frequency gives a power of scale^2 W E / 2.
    const double full =
        kReferenceScale * kReferenceScale * fsk.Window * static_cast<double>(fsk.Energy) / 2.0;
    if (fsk.Energy <= 0 || mark + space < kMinToneShare * full) {
        return 2;
    }
    return mark >= space ? 0 : 1;
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
    fsk.ByteSpan = static_cast<uint32_t>(std::ceil(kCellsPerByte * sampleRate / 1176.0));
    fsk.MarkPeriod = static_cast<uint32_t>(std::ceil(c));
    fsk.Window = std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(c)), 1, kFskWindowCapacity);
    fsk.MarkStep = PhaseStep(1200.0, sampleRate);
    fsk.SpaceStep = PhaseStep(2200.0, sampleRate);
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

void StartFskReception(TNorvelState& state, bool background) {
    TFskDemodulator& fsk = state.Fsk;
    fsk.Classes.fill(0);
    fsk.Write = 0;
    fsk.Read = 0;
    fsk.Phase = TFskPhase::WaitCrossing;
    fsk.Background = background;
    fsk.Deadline = state.Milliseconds + kReceptionLimit;
    fsk.Products.fill(TFskProducts{});
    fsk.ProductIndex = 0;
    fsk.MarkI = fsk.MarkQ = fsk.SpaceI = fsk.SpaceQ = fsk.Energy = 0;
    // The window starts full of the last bit's samples.
    const TSampleRing& ring = state.Ring;
    const int64_t first = std::max<int64_t>(0, ring.Count - fsk.Window);
    for (int64_t index = first; index < ring.Count; ++index) {
        Correlate(fsk, ring.Samples[index & kSampleRingMask]);
    }
    fsk.Previous = ring.Count > 0 ? ring.Samples[(ring.Count - 1) & kSampleRingMask] : 0;
}

void StopFskReception(TFskDemodulator& fsk) {
    fsk.Phase = TFskPhase::Off;
    fsk.Background = false;
}

void RunFskSample(TNorvelState& state, int16_t sample) {
    TFskDemodulator& fsk = state.Fsk;
    Correlate(fsk, sample);
    const bool crossing = (sample >= 0) != (fsk.Previous >= 0);
    fsk.Previous = sample;
    if (fsk.Phase == TFskPhase::WaitCrossing) {
        if (crossing) {
            fsk.Phase = TFskPhase::Receiving;
            if (!fsk.Background) {
                state.State = TDecoderState::FskReception;
            }
        }
        return;
    }
    WriteClasses(fsk, ClassifyWindow(fsk), 1);
    FrameBytes(state);
}

void CheckFskDeadline(TNorvelState& state) {
    TFskDemodulator& fsk = state.Fsk;
    if (fsk.Phase == TFskPhase::Off ||
        static_cast<int32_t>(state.Milliseconds - fsk.Deadline) < 0) {
        return;
    }
    if (fsk.Background) {
        StopFskReception(fsk);
    } else {
        ReturnToIdle(state);
    }
}

} // namespace norvel
