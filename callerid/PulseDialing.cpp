#include "callerid/PulseDialing.h"

#include <algorithm>

namespace norvel {

namespace {

constexpr uint32_t kDeadTime = 10; // ms after any click before another one is analysed
// A dial click stands out of a quiet line; a pitch pulse of loud speech follows the ringing of
// the one before it. The click's peak must exceed the mean magnitude of the dead time before it
// this many times.
constexpr uint32_t kIsolationFactor = 16;
// No dial puts two clicks closer than the shortest make (34 ms) beyond a click's own dead time;
// the pitch pulses of a deep voice come every 10 to 20 ms.
constexpr uint32_t kLockout = 28;
constexpr uint32_t kDefaultMakeMin = 36, kDefaultMakeMax = 44;
constexpr uint32_t kDefaultBreakMin = 56, kDefaultBreakMax = 64;
constexpr uint32_t kCandidateMin = 34, kCandidateMax = 44;
constexpr uint32_t kWindowHalfWidth = 3;
constexpr uint32_t kConfirmLimit = 2000; // ms after the candidate's later click
constexpr uint32_t kPeriodMin = 96, kPeriodMax = 105;
constexpr uint32_t kTrainEnd = 106;
constexpr uint32_t kSeparateDigitGap = 350;
constexpr uint32_t kLonePulseSpan = 50;
constexpr uint32_t kLonePulsePause = 3000;
constexpr uint16_t kLonePulseMinDigits = 3;
constexpr uint16_t kMaxPulses = 10;

uint8_t Next(uint8_t index) {
    return static_cast<uint8_t>(index + 1);
}

bool RingEmpty(const TPulseDecoder& pulse) {
    return pulse.Read == pulse.Write;
}

uint32_t Distance(const TPulseDecoder& pulse, uint8_t from, uint8_t to) {
    return pulse.Clicks[to].Time - pulse.Clicks[from].Time;
}

void ResetCounting(TPulseDecoder& pulse) {
    pulse.Reference = pulse.Read;
    pulse.Scan = RingEmpty(pulse) ? pulse.Write : Next(pulse.Read);
    pulse.LastEdge = TEdgeKind::None;
    pulse.PulseCount = 0;
    pulse.TrainFirst = 0;
    pulse.TrainLast = 0;
}

void DropOldestClick(TPulseDecoder& pulse) {
    if (!RingEmpty(pulse)) {
        pulse.Read = Next(pulse.Read);
    }
}

bool FindPulseTrain(TPulseDecoder& pulse) {
    for (;;) {
        pulse.MakeMin = kDefaultMakeMin;
        pulse.MakeMax = kDefaultMakeMax;
        pulse.BreakMin = kDefaultBreakMin;
        pulse.BreakMax = kDefaultBreakMax;
        if (RingEmpty(pulse)) {
            return false;
        }
        uint8_t current = pulse.Read;
        bool candidate = false;
        uint32_t candidateTime = 0;
        bool restart = false;
        for (uint8_t n = Next(pulse.Read); n != pulse.Write && !restart; n = Next(n)) {
            const uint32_t distance = Distance(pulse, current, n);
            if (!candidate) {
                if (distance >= kCandidateMin && distance <= kCandidateMax) {
                    candidate = true;
                    pulse.SecondReference = SetClickReference(pulse.Clicks[current]);
                    pulse.FirstReference = SetClickReference(pulse.Clicks[n]);
                    pulse.MakeMin = distance - kWindowHalfWidth;
                    pulse.MakeMax = distance + kWindowHalfWidth;
                    current = n;
                    candidateTime = pulse.Clicks[n].Time;
                } else if (distance > pulse.BreakMax) {
                    restart = true;
                }
                continue;
            }
            if (pulse.Clicks[n].Time - candidateTime > kConfirmLimit) {
                restart = true;
            } else if (distance > pulse.BreakMax) {
                current = n;
            } else if (distance >= pulse.BreakMin &&
                       MatchClick(pulse.SecondReference, pulse.Clicks[n])) {
                pulse.BreakMin = distance - kWindowHalfWidth;
                pulse.BreakMax = distance + kWindowHalfWidth;
                pulse.PulseMode = true;
                return true;
            }
        }
        if (!restart) {
            return false;
        }
        DropOldestClick(pulse);
    }
}

void AppendPulseDigit(TPulseDecoder& pulse, uint8_t digit) {
    if (pulse.DigitCount < kPulseDigitCapacity) {
        pulse.Digits[pulse.DigitCount++] = digit;
    }
}

// The train's pulses become a digit, or amend the last one when the train follows closely.
// False when the train was discarded.
bool AssembleDigit(TPulseDecoder& pulse) {
    const bool lonePulse = pulse.PulseCount == 1 && pulse.DigitCount >= kLonePulseMinDigits &&
                           pulse.TrainLast - pulse.TrainFirst < kLonePulseSpan &&
                           pulse.TrainFirst > pulse.DigitEnd + kLonePulsePause;
    // More pulses than a dial gives are no digit.
    const bool taken = pulse.PulseCount > 0 && pulse.PulseCount <= kMaxPulses && !lonePulse;
    if (taken) {
        const uint8_t digit = static_cast<uint8_t>(pulse.PulseCount % 10);
        if (pulse.DigitCount == 0) {
            AppendPulseDigit(pulse, digit);
            pulse.DigitStart = pulse.TrainFirst;
            pulse.DigitEnd = pulse.TrainLast;
        } else if (pulse.TrainFirst >= pulse.DigitEnd + kSeparateDigitGap) {
            AppendPulseDigit(pulse, digit);
            pulse.DigitStart = pulse.TrainFirst;
            pulse.DigitEnd = pulse.TrainLast;
        } else {
            const uint32_t span = pulse.TrainLast - pulse.DigitStart;
            uint32_t tenths = span / 100;
            if (span % 100 >= 51) {
                ++tenths;
            }
            if (tenths >= 10) {
                tenths = 0;
            }
            pulse.Digits[pulse.DigitCount - 1] = static_cast<uint8_t>(tenths);
            pulse.DigitEnd = pulse.TrainLast;
        }
    }
    pulse.PulseCount = 0;
    pulse.TrainFirst = 0;
    pulse.TrainLast = 0;
    pulse.LastEdge = TEdgeKind::None;
    return taken;
}

void CountFirstEdge(TPulseDecoder& pulse, uint8_t r, uint8_t n) {
    if (pulse.PulseCount == 0) {
        pulse.TrainFirst = pulse.Clicks[r].Time;
        pulse.TrainLast = pulse.Clicks[n].Time;
    }
}

void CountPulses(TPulseDecoder& pulse) {
    while (pulse.Scan != pulse.Write) {
        const uint8_t r = pulse.Reference;
        const uint8_t n = pulse.Scan;
        const TClick& clickR = pulse.Clicks[r];
        const TClick& clickN = pulse.Clicks[n];
        const uint32_t t = Distance(pulse, r, n);
        if (t < pulse.BreakMin && t >= pulse.MakeMin && t <= pulse.MakeMax) {
            if (pulse.LastEdge != TEdgeKind::Make && MatchClick(pulse.FirstReference, clickN) &&
                MatchClick(pulse.SecondReference, clickR)) {
                if (pulse.PulseCount == 0) {
                    CountFirstEdge(pulse, r, n);
                    pulse.PulseCount = 1;
                }
                pulse.LastEdge = TEdgeKind::Make;
                pulse.Reference = n;
            }
        } else if (t >= pulse.BreakMin && t <= pulse.BreakMax) {
            const bool matches = MatchClick(pulse.FirstReference, clickR) &&
                                 MatchClick(pulse.SecondReference, clickN);
            if (!matches) {
                DropOldestClick(pulse);
                ResetCounting(pulse);
                continue;
            }
            if (pulse.LastEdge != TEdgeKind::Break) {
                CountFirstEdge(pulse, r, n);
                ++pulse.PulseCount;
                pulse.LastEdge = TEdgeKind::Break;
                pulse.Reference = n;
            }
        } else if (t >= kPeriodMin && t <= kPeriodMax) {
            const uint32_t larger = std::max(clickR.Peak, clickN.Peak);
            const uint32_t difference =
                clickR.Peak > clickN.Peak ? clickR.Peak - clickN.Peak : clickN.Peak - clickR.Peak;
            if (pulse.LastEdge != TEdgeKind::Break && MatchClick(pulse.FirstReference, clickR) &&
                MatchClick(pulse.FirstReference, clickN) && 2 * difference < larger) {
                const bool noEdgeBefore = pulse.LastEdge == TEdgeKind::None;
                CountFirstEdge(pulse, r, n);
                pulse.PulseCount = static_cast<uint16_t>(pulse.PulseCount + (noEdgeBefore ? 2 : 1));
                pulse.LastEdge = TEdgeKind::Make;
                pulse.Reference = n;
            }
        } else if (t >= kTrainEnd) {
            if (pulse.PulseCount > 0 && AssembleDigit(pulse)) {
                pulse.Read = r; // the last counted click
            } else {
                DropOldestClick(pulse);
            }
            ResetCounting(pulse);
            continue;
        }
        pulse.Scan = Next(pulse.Scan);
    }
}

// Mean magnitude over the dead time before the newest sample.
uint16_t LevelBefore(const TNorvelState& state) {
    const TSampleRing& ring = state.Ring;
    const int64_t length =
        std::min<int64_t>(int64_t{kDeadTime} * state.SampleRate / 1000, kSampleRingSize - 2);
    if (length <= 0) {
        return 0;
    }
    const int64_t last = ring.Count - 2;
    const uint32_t sum =
        ring.AbsPrefix[last & kSampleRingMask] - ring.AbsPrefix[(last - length) & kSampleRingMask];
    return static_cast<uint16_t>(sum / length);
}

void StoreClick(TPulseDecoder& pulse, const TClick& click) {
    if (Next(pulse.Write) == pulse.Read) {
        // Full: the oldest click goes; a count that started on it starts again.
        const bool countingFromOldest = pulse.Reference == pulse.Read;
        DropOldestClick(pulse);
        if (countingFromOldest) {
            ResetCounting(pulse);
        }
    }
    pulse.Clicks[pulse.Write] = click;
    pulse.Write = Next(pulse.Write);
}

} // namespace

TClickReference SetClickReference(const TClick& click) {
    TClickReference reference;
    const double duration = click.Duration;
    const double peak = click.Peak;
    reference.Polarity = click.Polarity;
    reference.DurationMin = std::min(0.85 * duration, duration - 4.0);
    reference.DurationMax = std::max(1.15 * duration, duration + 4.0);
    reference.PeakMin = 0.33 * peak;
    reference.PeakMax = 3.0 * peak;
    return reference;
}

bool MatchClick(const TClickReference& reference, const TClick& click) {
    const double duration = click.Duration;
    const double peak = click.Peak;
    return click.Polarity == reference.Polarity && duration >= reference.DurationMin &&
           duration <= reference.DurationMax && peak >= reference.PeakMin &&
           peak <= reference.PeakMax;
}

void CommitClick(TNorvelState& state, const TClick& click) {
    TPulseDecoder& pulse = state.Pulse;
    StoreClick(pulse, click);
    if (!pulse.PulseMode) {
        if (!FindPulseTrain(pulse)) {
            return;
        }
        ResetCounting(pulse);
    }
    CountPulses(pulse);
}

void DetectClick(TNorvelState& state, int16_t sample) {
    TPulseDecoder& pulse = state.Pulse;
    const int32_t value = sample;
    const uint32_t magnitude = static_cast<uint32_t>(value < 0 ? -value : value);
    if (pulse.ClickOpen) {
        const bool sameSign = pulse.Open.Polarity == 1 ? value > 0 : value < 0;
        if (sameSign) {
            if (pulse.Open.Duration < UINT16_MAX) {
                ++pulse.Open.Duration;
            }
            pulse.Open.Peak = static_cast<uint16_t>(std::max<uint32_t>(pulse.Open.Peak, magnitude));
            return;
        }
        pulse.ClickOpen = false;
        const bool awayFromLast =
            !pulse.AnyClick || pulse.Open.Time - pulse.LastClickTime >= kDeadTime;
        const bool isolated =
            uint32_t{pulse.Open.LevelBefore} * kIsolationFactor < uint32_t{pulse.Open.Peak};
        if (awayFromLast) {
            if (pulse.ClickPending && pulse.Open.Time - pulse.Pending.Time < kLockout) {
                pulse.ClickPending = false;
            }
            const bool alone =
                !pulse.AnyAnalysed || pulse.Open.Time - pulse.LastAnalysedTime >= kLockout;
            pulse.AnyAnalysed = true;
            pulse.LastAnalysedTime = pulse.Open.Time;
            if (pulse.Open.Duration >= 1 && isolated && alone) {
                pulse.Pending = pulse.Open;
                pulse.ClickPending = true;
            }
        }
        pulse.AnyClick = true;
        pulse.LastClickTime = pulse.Open.Time; // the dead time runs from every click
    }
    if (magnitude > static_cast<uint32_t>(pulse.ClickThreshold)) {
        pulse.ClickOpen = true;
        pulse.Open = TClick{state.Milliseconds, static_cast<uint16_t>(value > 0 ? 1 : 2), 0,
                            static_cast<uint16_t>(std::min<uint32_t>(magnitude, UINT16_MAX)),
                            LevelBefore(state)};
    }
}

void CheckPulseTimeout(TNorvelState& state) {
    TPulseDecoder& pulse = state.Pulse;
    if (pulse.ClickPending && state.Milliseconds - pulse.Pending.Time >= kLockout) {
        pulse.ClickPending = false;
        if (state.State == TDecoderState::Idle) {
            CommitClick(state, pulse.Pending);
        }
    }
    if (!pulse.PulseMode || pulse.PulseCount == 0) {
        return;
    }
    // A whole pulse period without a click, as in the counting: a shorter wait would end the
    // train before a click lost from its middle could be bridged.
    if (state.Milliseconds - pulse.LastClickTime >= kTrainEnd) {
        static_cast<void>(AssembleDigit(pulse));
        pulse.Read = pulse.Write; // the click ring is emptied
        ResetCounting(pulse);
    }
}

} // namespace norvel
