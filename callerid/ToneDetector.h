#pragma once

// Quarter-period tone correlator over the sample ring. Each window's bin sums are differences
// of the ring's running sums, so the work per tone does not grow with the sample rate.

#include <cstddef>
#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

struct TWindowMeasure {
    double Amplitude = 0.0; // (|I| + |Q|) / 4 of the bin averages
    double Level = 0.0;     // mean magnitude over the window
    double InPhase = 0.0;
    double Quadrature = 0.0;
};

void ClearSampleRing(TSampleRing& ring);
void StoreSample(TSampleRing& ring, int16_t sample);
// The same for `count` samples in a row.
void StoreSamples(TSampleRing& ring, const int16_t* samples, size_t count);

// Window of 16 periods of `frequency` (at most the ring), with its quarter boundaries.
TToneWindow MakeToneWindow(uint32_t frequency, int32_t sampleRate);
// The tone and its neighbours at 3% (whole Hz) either side. With a `centreSpan`, each window
// is delayed so that its centre lies half that span before the newest sample.
TToneFilter MakeToneFilter(uint32_t frequency, int32_t sampleRate, uint16_t centreSpan = 0);

TWindowMeasure MeasureWindow(const TSampleRing& ring, const TToneWindow& window);

// The tone counts as present when its amplitude exceeds 0.75 of each neighbour's; otherwise
// the reading is all zero (ratio 100).
constexpr double kNeighbourShare = 0.75;
TToneReading DetectTone(const TSampleRing& ring, const TToneFilter& filter);
// The same for a tone that the frame rules use only when its level-to-amplitude ratio is below
// `usableRatio`: when the tone's own window already reads a higher ratio, it reads as absent
// without measuring the neighbours, as it would when a neighbour were the stronger. The tone
// is present when its amplitude exceeds `neighbourShare` of each neighbour's.
TToneReading DetectUsableTone(const TSampleRing& ring, const TToneFilter& filter,
                              double usableRatio, double neighbourShare);

// Exact complex correlation of `length` samples with `frequency`, the newest of them `delay`
// samples before the ring's newest, against a reference that runs from the first sample since
// reset: a steady tone at exactly `frequency` keeps the same phase from frame to frame.
struct TToneCorrelation {
    double Real = 0.0;
    double Imag = 0.0;
    double Energy = 0.0; // sum of the squared samples
    uint16_t Length = 0;
};
// With a `stride`, only every stride-th sample is taken (Length then counts those).
TToneCorrelation CorrelateTone(const TSampleRing& ring, uint32_t frequency, int32_t sampleRate,
                               uint16_t length, uint16_t delay = 0, uint16_t stride = 1);
// Sum of the peak amplitudes of two tones in the newest `length` samples, fitted together by
// least squares. Each holds still for a steady tone whatever its phase, the partner tone's
// leakage (which beats with it) is taken out, and a tone that fills only part of the window
// reads about in proportion. From 16000 Hz up only every (rate / 8000)th sample is taken: tones
// below 2 kHz need no more.
double PairAmplitude(const TSampleRing& ring, uint32_t first, uint32_t second, int32_t sampleRate,
                     uint16_t length);
// The two tones' complex amplitudes in the `length` samples before sample index `end`, fitted
// together by least squares against references that run from the first sample since reset,
// so that a steady tone keeps its phase from one stretch to the next. A real tone of peak
// amplitude A has |c| = A / 2. Takes every (rate / 8000)th sample as PairAmplitude does.
struct TPairFit {
    double FirstRe = 0.0, FirstIm = 0.0;
    double SecondRe = 0.0, SecondIm = 0.0;
};
TPairFit FitTonePair(const TSampleRing& ring, uint32_t first, uint32_t second, int32_t sampleRate,
                     int64_t end, uint16_t length);
// Mean magnitude of the newest `length` samples.
double MeanMagnitude(const TSampleRing& ring, uint16_t length);

// Phase in radians of the correlation.
double PhaseOf(const TToneCorrelation& correlation);
// Share of the window's power that the tone carries (about 1 for a pure tone).
double PowerShareOf(const TToneCorrelation& correlation);

} // namespace norvel
