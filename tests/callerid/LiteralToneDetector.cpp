#include "tests/callerid/LiteralToneDetector.h"

#include <algorithm>
#include <cmath>

namespace norvel_test {

namespace {

struct TLiteralMeasure {
    double Amplitude;
    double Level;
};

// n = 16 R / g samples back from the newest (or from the centred end); sample i goes to bin
// (g i 4 / R) mod 4.
TLiteralMeasure LiteralWindow(const std::vector<int16_t>& history, size_t newest, uint32_t g,
                              int32_t rate, int64_t centreSpan) {
    const int64_t n = std::min<int64_t>(int64_t{16} * rate / g, 4095);
    const int64_t end = static_cast<int64_t>(newest) - (centreSpan > n ? (centreSpan - n) / 2 : 0);
    int64_t sums[4] = {};
    int64_t counts[4] = {};
    int64_t magnitude = 0;
    for (int64_t i = 0; i < n; ++i) {
        const int64_t at = end - i;
        const int32_t x = at >= 0 ? history[static_cast<size_t>(at)] : 0;
        const int bin = static_cast<int>((int64_t{g} * i * 4 / rate) % 4);
        sums[bin] += x;
        ++counts[bin];
        magnitude += x < 0 ? -x : x;
    }
    double averages[4] = {};
    for (int b = 0; b < 4; ++b) {
        if (counts[b] != 0) {
            averages[b] = static_cast<double>(sums[b]) / static_cast<double>(counts[b]);
        }
    }
    const double inPhase = averages[0] - averages[2];
    const double quadrature = averages[1] - averages[3];
    return {(std::fabs(inPhase) + std::fabs(quadrature)) / 4.0,
            static_cast<double>(magnitude) / static_cast<double>(n)};
}

} // namespace

norvel::TToneReading LiteralDetectTone(const std::vector<int16_t>& history, size_t newest,
                                       uint32_t frequency, int32_t sampleRate, int64_t centreSpan) {
    const uint32_t d = frequency * 3 / 100;
    const TLiteralMeasure centre =
        LiteralWindow(history, newest, frequency, sampleRate, centreSpan);
    const TLiteralMeasure below =
        LiteralWindow(history, newest, frequency - d, sampleRate, centreSpan);
    const TLiteralMeasure above =
        LiteralWindow(history, newest, frequency + d, sampleRate, centreSpan);
    norvel::TToneReading reading;
    if (centre.Amplitude > 0.75 * below.Amplitude && centre.Amplitude > 0.75 * above.Amplitude) {
        reading.Amplitude = centre.Amplitude;
        reading.Level = centre.Level;
    }
    return reading;
}

} // namespace norvel_test
