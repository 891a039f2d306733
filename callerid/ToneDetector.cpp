#include "callerid/ToneDetector.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace norvel {

namespace {

constexpr int kPeriodsPerWindow = 16;
constexpr double kTwoPi = 6.283185307179586476925286766559;

uint32_t RingSlot(int64_t absoluteIndex) {
    return static_cast<uint32_t>(absoluteIndex & kSampleRingMask);
}

// Cosine and sine of start + n step for n = 0, 1, 2, ...
struct TRotator {
    double Cos;
    double Sin;
    double StepCos;
    double StepSin;

    TRotator(double start, double step)
        : Cos(std::cos(start)), Sin(std::sin(start)), StepCos(std::cos(step)),
          StepSin(std::sin(step)) {}
    void Advance() {
        const double nextCos = Cos * StepCos - Sin * StepSin;
        Sin = Sin * StepCos + Cos * StepSin;
        Cos = nextCos;
    }
};

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

TToneFilter MakeToneFilter(uint32_t frequency, int32_t sampleRate, uint16_t centreSpan) {
    const uint32_t spread = frequency * 3 / 100;
    TToneFilter filter;
    filter.Windows[0] = MakeToneWindow(frequency - spread, sampleRate);
    filter.Windows[1] = MakeToneWindow(frequency, sampleRate);
    filter.Windows[2] = MakeToneWindow(frequency + spread, sampleRate);
    for (TToneWindow& window : filter.Windows) {
        if (centreSpan > window.Length) {
            window.Delay = static_cast<uint16_t>((centreSpan - window.Length) / 2);
        }
    }
    return filter;
}

TWindowMeasure MeasureWindow(const TSampleRing& ring, const TToneWindow& window) {
    TWindowMeasure measure;
    if (window.Length == 0) {
        return measure;
    }
    const int64_t newest = ring.Count - 1 - window.Delay;
    std::array<uint32_t, 4> binSums{};
    // Each boundary's running sum closes one quarter and opens the next: read it once.
    uint32_t upper = ring.Prefix[RingSlot(newest)];
    for (uint32_t k = 0; k < window.QuarterCount; ++k) {
        const uint32_t lower = ring.Prefix[RingSlot(newest - window.QuarterEnd[k])];
        binSums[k & 3] += upper - lower;
        upper = lower;
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
                               uint16_t length, uint16_t delay, uint16_t stride) {
    TToneCorrelation result;
    if (sampleRate <= 0 || length == 0 || stride == 0) {
        return result;
    }
    const int64_t points = length / stride;
    if (points == 0) {
        return result;
    }
    result.Length = static_cast<uint16_t>(points);
    const int64_t end = ring.Count - delay;
    const int64_t first = end - points * stride;
    // Start angle from exact integer arithmetic, so long recordings lose no precision.
    const int64_t rate = sampleRate;
    const int64_t cycles = ((first % rate + rate) % rate) * frequency % rate;
    TRotator reference(kTwoPi * static_cast<double>(cycles) / static_cast<double>(rate),
                       kTwoPi * frequency * stride / static_cast<double>(rate));
    for (int64_t index = first; index < end; index += stride) {
        const double x = ring.Samples[RingSlot(index)];
        result.Real += x * reference.Cos;
        result.Imag -= x * reference.Sin;
        result.Energy += x * x;
        reference.Advance();
    }
    return result;
}

namespace {

// Two tones fitted together by least squares over every stride-th of the `length` samples
// before sample index `end`. Only an anchored fit needs its references to start at the
// reference phase of its first point; a fit whose magnitudes alone are used starts them at 0.
struct TPairSolution {
    double Points = 0.0;           // 0: no sample to fit
    bool Solved = false;           // false when the two tones are one
    std::complex<double> FirstSum; // y1 below
    std::complex<double> First;    // c1
    std::complex<double> Second;   // c2
};

TPairSolution SolveTonePair(const TSampleRing& ring, uint32_t first, uint32_t second,
                            int32_t sampleRate, int64_t end, uint16_t length, bool anchored) {
    TPairSolution solution;
    if (sampleRate <= 0) {
        return solution;
    }
    const int32_t stride = std::max(1, sampleRate / 8000);
    const int32_t points = length / stride;
    if (points == 0) {
        return solution;
    }
    const int64_t start = end - static_cast<int64_t>(points) * stride;
    const int64_t rate = sampleRate;
    const auto startAngle = [&](uint32_t frequency) {
        if (!anchored) {
            return 0.0;
        }
        const int64_t cycles = ((start % rate + rate) % rate) * frequency % rate;
        return kTwoPi * static_cast<double>(cycles) / static_cast<double>(rate);
    };
    // y = sum of x[n] e^(-i w n) for each tone, n counted from the window's first point.
    const double radiansPerHz = kTwoPi * stride / static_cast<double>(sampleRate);
    TRotator firstTone(startAngle(first), radiansPerHz * first);
    TRotator secondTone(startAngle(second), radiansPerHz * second);
    double firstReal = 0.0, firstImag = 0.0, secondReal = 0.0, secondImag = 0.0;
    for (int64_t index = start; index < end; index += stride) {
        const double x = ring.Samples[RingSlot(index)];
        firstReal += x * firstTone.Cos;
        firstImag -= x * firstTone.Sin;
        secondReal += x * secondTone.Cos;
        secondImag -= x * secondTone.Sin;
        firstTone.Advance();
        secondTone.Advance();
    }
    // Fit c1 e^(i w1 n) + c2 e^(i w2 n): y1 = N c1 + g c2 and y2 = conj(g) c1 + N c2, with
    // g = sum of e^(i (w2 - w1) n), taken against the first point's references: there the
    // second tone's reference is the first's turned by the difference of their start angles.
    // The mirror images at -w1 and -w2 lie dozens of bins away and are left out.
    const std::complex<double> y1(firstReal, firstImag);
    const std::complex<double> y2(secondReal, secondImag);
    const double n = points;
    const double apart = radiansPerHz * (static_cast<double>(second) - first);
    const double halfSine = std::sin(apart / 2.0);
    const double overlap = halfSine == 0.0 ? n : std::sin(n * apart / 2.0) / halfSine;
    const double turn = apart * (n - 1.0) / 2.0;
    const std::complex<double> g =
        std::polar(overlap, anchored ? turn + (startAngle(second) - startAngle(first)) : turn);
    solution.Points = n;
    solution.FirstSum = y1;
    const double determinant = n * n - std::norm(g);
    if (!(determinant > 0.0)) {
        return solution;
    }
    solution.Solved = true;
    solution.First = (n * y1 - g * y2) / determinant;
    solution.Second = (n * y2 - std::conj(g) * y1) / determinant;
    return solution;
}

} // namespace

double PairAmplitude(const TSampleRing& ring, uint32_t first, uint32_t second, int32_t sampleRate,
                     uint16_t length) {
    const TPairSolution solution =
        SolveTonePair(ring, first, second, sampleRate, ring.Count, length, false);
    if (solution.Points == 0.0) {
        return 0.0;
    }
    if (!solution.Solved) {
        return 2.0 * std::abs(solution.FirstSum) / solution.Points; // the same frequency twice
    }
    // A real tone of amplitude A has |c| = A / 2.
    return 2.0 * (std::abs(solution.First) + std::abs(solution.Second));
}

TPairFit FitTonePair(const TSampleRing& ring, uint32_t first, uint32_t second, int32_t sampleRate,
                     int64_t end, uint16_t length) {
    const TPairSolution solution =
        SolveTonePair(ring, first, second, sampleRate, end, length, true);
    TPairFit fit;
    if (solution.Solved) {
        fit.FirstRe = solution.First.real();
        fit.FirstIm = solution.First.imag();
        fit.SecondRe = solution.Second.real();
        fit.SecondIm = solution.Second.imag();
    }
    return fit;
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
