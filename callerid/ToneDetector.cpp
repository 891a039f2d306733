#include "callerid/ToneDetector.h"

#include <algorithm>
#include <cmath>

namespace norvel {

namespace {

constexpr int kPeriodsPerWindow = 16;
constexpr double kTwoPi = 6.283185307179586476925286766559;

uint32_t RingSlot(int64_t absoluteIndex) {
    return static_cast<uint32_t>(absoluteIndex & kSampleRingMask);
}

// Sum of the samples at back-indices [from, to) (0 = newest), exact in 32-bit wrap-around.
uint32_t BackSum(const std::array<uint32_t, kSampleRingSize>& prefix, int64_t newest, uint32_t from,
                 uint32_t to) {
    return prefix[RingSlot(newest - from)] - prefix[RingSlot(newest - to)];
}

} // namespace

void ClearSampleRing(TSampleRing& ring) {
    ring = TSampleRing{};
}

void StoreSample(TSampleRing& ring, int16_t sample) {
    const uint32_t previous = RingSlot(ring.Count - 1);
    const uint32_t slot = RingSlot(ring.Count);
    const uint32_t magnitude = static_cast<uint32_t>(sample < 0 ? -int32_t{sample} : sample);
    ring.Samples[slot] = sample;
    ring.Prefix[slot] = ring.Prefix[previous] + static_cast<uint32_t>(int32_t{sample});
    ring.AbsPrefix[slot] = ring.AbsPrefix[previous] + magnitude;
    ++ring.Count;
}

void StoreSamples(TSampleRing& ring, const int16_t* samples, size_t count) {
    uint32_t prefix = ring.Prefix[RingSlot(ring.Count - 1)];
    uint32_t absPrefix = ring.AbsPrefix[RingSlot(ring.Count - 1)];
    int64_t next = ring.Count;
    for (size_t i = 0; i < count; ++i, ++next) {
        const int32_t sample = samples[i];
        const uint32_t slot = RingSlot(next);
        prefix += static_cast<uint32_t>(sample);
        absPrefix += static_cast<uint32_t>(sample < 0 ? -sample : sample);
        ring.Samples[slot] = static_cast<int16_t>(sample);
        ring.Prefix[slot] = prefix;
        ring.AbsPrefix[slot] = absPrefix;
    }
    ring.Count = next;
}

TToneWindow MakeToneWindow(uint32_t frequency, int32_t sampleRate) {
    TToneWindow window;
    window.Frequency = frequency;
    if (frequency == 0 || sampleRate <= 0) {
        return window;
    }
    const uint64_t rate = static_cast<uint64_t>(sampleRate);
    // Back-indices must stay one short of the ring so that the running sum before the window
    // is still there.
    const uint64_t length =
        std::min<uint64_t>(kPeriodsPerWindow * rate / frequency, kSampleRingSize - 1);
    window.Length = static_cast<uint16_t>(length);
    if (length == 0) {
        return window;
    }
    // Sample i (0 = newest) lies in quarter floor(4 f i / R); quarter k ends at
    // ceil((k + 1) R / 4 f).
    const uint64_t quarterDivisor = 4ull * frequency;
    const uint64_t lastQuarter = quarterDivisor * (length - 1) / rate;
    const uint64_t quarters = std::min<uint64_t>(lastQuarter + 1, kMaxQuarters);
    window.QuarterCount = static_cast<uint16_t>(quarters);
    uint64_t start = 0;
    for (uint64_t k = 0; k < quarters; ++k) {
        uint64_t end = ((k + 1) * rate + quarterDivisor - 1) / quarterDivisor;
        if (k + 1 == quarters || end > length) {
            end = length;
        }
        window.QuarterEnd[k] = static_cast<uint16_t>(end);
        window.BinCount[k % 4] = static_cast<uint16_t>(window.BinCount[k % 4] + (end - start));
        start = end;
    }
    return window;
}

TToneFilter MakeToneFilter(uint32_t frequency, int32_t sampleRate) {
    const uint32_t spread = frequency * 3 / 100;
    TToneFilter filter;
    filter.Windows[0] = MakeToneWindow(frequency - spread, sampleRate);
    filter.Windows[1] = MakeToneWindow(frequency, sampleRate);
    filter.Windows[2] = MakeToneWindow(frequency + spread, sampleRate);
    return filter;
}

TWindowMeasure MeasureWindow(const TSampleRing& ring, const TToneWindow& window) {
    TWindowMeasure measure;
    if (window.Length == 0) {
        return measure;
    }
    const int64_t newest = ring.Count - 1;
    std::array<uint32_t, 4> binSums{};
    uint32_t start = 0;
    for (uint32_t k = 0; k < window.QuarterCount; ++k) {
        const uint32_t end = window.QuarterEnd[k];
        binSums[k & 3] += BackSum(ring.Prefix, newest, start, end);
        start = end;
    }
    std::array<double, 4> averages{};
    for (int bin = 0; bin < 4; ++bin) {
        if (window.BinCount[bin] != 0) {
            averages[bin] =
                static_cast<double>(static_cast<int32_t>(binSums[bin])) / window.BinCount[bin];
        }
    }
    measure.InPhase = averages[0] - averages[2];
    measure.Quadrature = averages[1] - averages[3];
    measure.Amplitude = (std::fabs(measure.InPhase) + std::fabs(measure.Quadrature)) / 4.0;
    measure.Level =
        static_cast<double>(BackSum(ring.AbsPrefix, newest, 0, window.Length)) / window.Length;
    return measure;
}

TToneReading DetectTone(const TSampleRing& ring, const TToneFilter& filter) {
    return DetectUsableTone(ring, filter, 1e300, kNeighbourShare);
}

TToneReading DetectUsableTone(const TSampleRing& ring, const TToneFilter& filter,
                              double usableRatio, double neighbourShare) {
    const TWindowMeasure centre = MeasureWindow(ring, filter.Windows[1]);
    if (!(centre.Level < usableRatio * centre.Amplitude)) {
        return TToneReading{};
    }
    const TWindowMeasure below = MeasureWindow(ring, filter.Windows[0]);
    const TWindowMeasure above = MeasureWindow(ring, filter.Windows[2]);
    TToneReading reading;
    if (centre.Amplitude > neighbourShare * below.Amplitude &&
        centre.Amplitude > neighbourShare * above.Amplitude) {
        reading.Amplitude = centre.Amplitude;
        reading.Level = centre.Level;
        reading.InPhase = centre.InPhase;
        reading.Quadrature = centre.Quadrature;
    }
    if (reading.Amplitude > 0.0 && reading.Level > 0.0) {
        reading.Ratio = reading.Level / reading.Amplitude;
    }
    return reading;
}

TToneCorrelation CorrelateTone(const TSampleRing& ring, uint32_t frequency, int32_t sampleRate,
                               uint16_t length) {
    TToneCorrelation result;
    if (sampleRate <= 0 || length == 0) {
        return result;
    }
    result.Length = length;
    const int64_t first = ring.Count - length;
    // Start angle from exact integer arithmetic, so long recordings lose no precision.
    const int64_t rate = sampleRate;
    const int64_t cycles = ((first % rate + rate) % rate) * frequency % rate;
    const double step = kTwoPi * frequency / static_cast<double>(rate);
    const double startAngle = kTwoPi * static_cast<double>(cycles) / static_cast<double>(rate);
    double c = std::cos(startAngle);
    double s = std::sin(startAngle);
    const double stepCos = std::cos(step);
    const double stepSin = std::sin(step);
    for (int64_t index = first; index < ring.Count; ++index) {
        const double x = ring.Samples[RingSlot(index)];
        result.Real += x * c;
        result.Imag -= x * s;
        result.Energy += x * x;
        const double nextC = c * stepCos - s * stepSin;
        s = s * stepCos + c * stepSin;
        c = nextC;
    }
    return result;
}

double MeanMagnitude(const TSampleRing& ring, uint16_t length) {
    const uint32_t span = std::min<uint32_t>(length, kSampleRingSize - 1);
    if (span == 0) {
        return 0.0;
    }
    return static_cast<double>(BackSum(ring.AbsPrefix, ring.Count - 1, 0, span)) / span;
}

double PhaseOf(const TToneCorrelation& correlation) {
    return std::atan2(correlation.Imag, correlation.Real);
}

double PowerShareOf(const TToneCorrelation& correlation) {
    if (correlation.Energy <= 0.0 || correlation.Length == 0) {
        return 0.0;
    }
    const double squared =
        correlation.Real * correlation.Real + correlation.Imag * correlation.Imag;
    return 2.0 * squared / (correlation.Length * correlation.Energy);
}

} // namespace norvel
