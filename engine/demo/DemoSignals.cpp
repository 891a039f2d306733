#include "engine/demo/DemoSignals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace demo {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double EdgeMs = 5;

std::int16_t Saturate(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
}

std::size_t SamplesOf(std::uint32_t rate, double ms) {
    return static_cast<std::size_t>(std::llround(rate * ms / 1000.0));
}

// Raised-cosine gain at the two edges of a stretch of n samples.
double EdgeGain(std::size_t i, std::size_t n, std::size_t edge) {
    if (edge == 0)
        return 1.0;
    const std::size_t fromEnd = n - 1 - i;
    const std::size_t nearest = std::min(i, fromEnd);
    if (nearest >= edge)
        return 1.0;
    return 0.5 - 0.5 * std::cos(Pi * double(nearest) / double(edge));
}

// A two-pole resonator at a centre frequency and bandwidth, unity gain at its peak.
class TResonator {
public:
    void Tune(double frequency, double bandwidth, double rate) {
        const double r = std::exp(-Pi * bandwidth / rate);
        A1 = 2 * r * std::cos(2 * Pi * frequency / rate);
        A2 = -r * r;
        Gain = (1 - r) * std::sqrt(1 - A1 + r * r) * 2; // about unity at the peak
        Active = frequency < 0.45 * rate;
    }
    double Step(double x) {
        if (!Active)
            return 0;
        const double y = Gain * x + A1 * Y1 + A2 * Y2;
        Y2 = Y1;
        Y1 = y;
        return y;
    }

private:
    double A1 = 0, A2 = 0, Gain = 0, Y1 = 0, Y2 = 0;
    bool Active = false;
};

// First-order filters for the line band and the noise colours.
class TOnePole {
public:
    void LowPass(double cutoff, double rate) { K = 1 - std::exp(-2 * Pi * cutoff / rate); }
    double Low(double x) { return Y += K * (x - Y); }
    double High(double x) { return x - Low(x); }

private:
    double K = 1, Y = 0;
};

struct TVowel {
    double F1, F2, F3;
};
constexpr std::array<TVowel, 6> Vowels = {{
    {730, 1090, 2440}, // a
    {530, 1840, 2480}, // e
    {300, 2200, 2950}, // i
    {570, 840, 2410},  // o
    {330, 900, 2250},  // u
    {640, 1190, 2390}, // the neutral vowel
}};

// The glottal flow of one pitch period (phase 0..1): a rise, a faster fall, a closed phase.
double GlottalFlow(double phase) {
    if (phase < 0.45)
        return 0.5 - 0.5 * std::cos(Pi * phase / 0.45);
    if (phase < 0.65)
        return std::cos(0.5 * Pi * (phase - 0.45) / 0.2);
    return 0;
}

const std::array<std::pair<double, double>, 16> DtmfPairs = {{
    {941, 1336}, // 0
    {697, 1209},
    {697, 1336},
    {697, 1477}, // 1 2 3
    {770, 1209},
    {770, 1336},
    {770, 1477}, // 4 5 6
    {852, 1209},
    {852, 1336},
    {852, 1477}, // 7 8 9
    {941, 1209},
    {941, 1477}, // * #
    {697, 1633},
    {770, 1633},
    {852, 1633},
    {941, 1633}, // A B C D
}};

std::pair<double, double> DtmfPairOf(char key) {
    const std::string keys = "0123456789*#ABCD";
    const std::size_t at = keys.find(key);
    if (at == std::string::npos)
        throw std::invalid_argument(std::string("no DTMF key ") + key);
    return DtmfPairs[at];
}

// Multi-frequency rows: two of 700, 900 ... 1700 Hz (bit j = 700 + 200 j Hz).
constexpr std::array<std::uint8_t, 12> MfMasks = {0x03, 0x05, 0x06, 0x09, 0x0A, 0x0C,
                                                  0x11, 0x12, 0x14, 0x18, 0x24, 0x28};
constexpr int MfStartRow = 10;
constexpr int MfRepeatRow = 11;
constexpr std::uint32_t MfSymbolMs = 40;

int MfRowOfDigit(int digit) {
    if (digit < 0 || digit > 9)
        throw std::invalid_argument("multi-frequency digits are 0 to 9");
    return digit == 0 ? 9 : digit - 1;
}

std::vector<double> MfFrequencies(int row) {
    std::vector<double> f;
    for (int j = 0; j < 6; ++j)
        if (MfMasks[static_cast<std::size_t>(row)] & (1 << j))
            f.push_back(700.0 + 200.0 * j);
    return f;
}

} // namespace

// --- Random numbers -------------------------------------------------------------------------

std::uint32_t TRandom::Next() {
    State ^= State << 13;
    State ^= State >> 17;
    State ^= State << 5;
    return State;
}

double TRandom::Uniform() {
    return Next() / 4294967296.0;
}

double TRandom::Between(double low, double high) {
    return low + (high - low) * Uniform();
}

double TRandom::Gaussian() {
    // Sum of twelve uniforms: close enough to normal for noise and deterministic everywhere.
    double sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += Uniform();
    return sum - 6.0;
}

// --- Plain pieces ---------------------------------------------------------------------------

double DbM0Amplitude(double dbm0) {
    return 32767.0 * std::pow(10.0, (dbm0 - 3.17) / 20.0);
}

TPcm Silence(std::uint32_t rate, std::uint32_t ms) {
    return TPcm(SamplesOf(rate, ms), 0);
}

TPcm Tones(std::uint32_t rate, const std::vector<double>& frequencies, double amplitude,
           std::uint32_t ms) {
    const std::size_t n = SamplesOf(rate, ms);
    const std::size_t edge = SamplesOf(rate, EdgeMs);
    TPcm pcm(n);
    for (std::size_t i = 0; i < n; ++i) {
        double v = 0;
        for (double f : frequencies)
            v += std::sin(2 * Pi * f * double(i) / rate);
        pcm[i] = Saturate(amplitude * v * EdgeGain(i, n, edge));
    }
    return pcm;
}

void Append(TPcm& to, const TPcm& from) {
    to.insert(to.end(), from.begin(), from.end());
}

void MixInto(TPcm& to, const TPcm& from, std::size_t offset) {
    if (to.size() < offset + from.size())
        to.resize(offset + from.size(), 0);
    for (std::size_t i = 0; i < from.size(); ++i)
        to[offset + i] = Saturate(double(to[offset + i]) + from[i]);
}

TPcm TelephoneBand(const TPcm& pcm, std::uint32_t rate) {
    TOnePole high, low;
    high.LowPass(300, rate);
    low.LowPass(std::min(3400.0, 0.45 * rate), rate);
    TPcm out(pcm.size());
    for (std::size_t i = 0; i < pcm.size(); ++i)
        out[i] = Saturate(low.Low(high.High(pcm[i])));
    return out;
}

// --- Voices, noise and music ----------------------------------------------------------------

TPcm SpeechLike(std::uint32_t rate, std::uint32_t ms, const TVoice& voice) {
    TRandom random(voice.Seed);
    const std::size_t total = SamplesOf(rate, ms);
    std::vector<double> out(total, 0.0);
    std::array<TResonator, 3> formants;
    TOnePole hiss;
    hiss.LowPass(0.3 * rate, rate);
    TVowel current = Vowels[5];
    double phase = 0, previousFlow = 0;

    std::size_t at = SamplesOf(rate, random.Between(100, 300));
    while (at < total) {
        // One phrase: a few syllables under a falling pitch, then a pause.
        const int syllables = 3 + static_cast<int>(random.Uniform() * 7);
        const double intonation = random.Between(0, 2 * Pi);
        for (int s = 0; s < syllables && at < total; ++s) {
            const std::size_t length = SamplesOf(rate, random.Between(150, 290));
            const TVowel target = Vowels[random.Next() % Vowels.size()];
            const bool fricative = random.Uniform() < 0.35;
            const std::size_t consonant = fricative ? SamplesOf(rate, random.Between(40, 90)) : 0;
            const double loudness = random.Between(0.7, 1.0);
            for (std::size_t i = 0; i < length && at + i < total; ++i) {
                const double t = double(at + i) / rate;
                const double progress = double(s * length + i) / double(syllables * length);
                const double glide = std::min(1.0, double(i) / SamplesOf(rate, 40));
                const TVowel v{current.F1 + (target.F1 - current.F1) * glide,
                               current.F2 + (target.F2 - current.F2) * glide,
                               current.F3 + (target.F3 - current.F3) * glide};
                if (i % 32 == 0) {
                    formants[0].Tune(v.F1, 90, rate);
                    formants[1].Tune(v.F2, 110, rate);
                    formants[2].Tune(v.F3, 170, rate);
                }
                const double pitch = voice.PitchHz *
                                     (1 + 0.12 * std::sin(2 * Pi * 0.9 * t + intonation)) *
                                     (1.08 - 0.16 * progress) * (1 + 0.004 * random.Gaussian());
                phase += pitch / rate;
                if (phase >= 1)
                    phase -= 1;
                const double flow = GlottalFlow(phase);
                const double excitation = (flow - previousFlow) * rate / 100.0; // lip radiation
                previousFlow = flow;

                double sample = 0;
                if (i >= consonant) {
                    const double envelope =
                        EdgeGain(i - consonant, length - consonant, SamplesOf(rate, 30));
                    const double e = excitation * envelope * loudness;
                    sample = formants[0].Step(e) + 0.6 * voice.Brightness * formants[1].Step(e) +
                             0.3 * voice.Brightness * formants[2].Step(e);
                } else {
                    formants[0].Step(0);
                    formants[1].Step(0);
                    formants[2].Step(0);
                    const double noise = hiss.High(random.Gaussian());
                    sample = 0.08 * noise * EdgeGain(i, consonant, SamplesOf(rate, 10));
                }
                out[at + i] = sample;
            }
            current = target;
            at += length;
        }
        at += SamplesOf(rate, random.Between(250, 800));
    }

    // Scale the voiced parts to the voice's level.
    double power = 0;
    std::size_t active = 0;
    for (double v : out)
        if (v != 0) {
            power += v * v;
            ++active;
        }
    const double rms = active == 0 ? 1 : std::sqrt(power / double(active));
    TPcm pcm(total);
    for (std::size_t i = 0; i < total; ++i)
        pcm[i] = Saturate(out[i] * voice.Amplitude / (2.5 * rms));
    return pcm;
}

TPcm Background(std::uint32_t rate, std::uint32_t ms, double amplitude, std::uint32_t seed) {
    TRandom random(seed);
    TOnePole rumble, air;
    rumble.LowPass(180, rate);
    air.LowPass(1500, rate);
    const std::size_t n = SamplesOf(rate, ms);
    TPcm pcm(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double white = random.Gaussian();
        const double t = double(i) / rate;
        const double hum = 0.25 * std::sin(2 * Pi * 50 * t) + 0.1 * std::sin(2 * Pi * 150 * t);
        pcm[i] = Saturate(amplitude *
                          (2.0 * rumble.Low(white) + 0.6 * air.Low(white) + 0.05 * white + hum));
    }
    return pcm;
}

TPcm Melody(std::uint32_t rate, std::uint32_t ms, double amplitude) {
    // Semitones above 262 Hz and lengths in eighths.
    static const std::array<std::pair<int, int>, 16> tune = {{{0, 2},
                                                              {4, 2},
                                                              {7, 2},
                                                              {12, 4},
                                                              {11, 2},
                                                              {7, 2},
                                                              {9, 4},
                                                              {5, 2},
                                                              {4, 2},
                                                              {2, 2},
                                                              {7, 4},
                                                              {4, 2},
                                                              {2, 2},
                                                              {0, 2},
                                                              {-5, 2},
                                                              {0, 6}}};
    const std::size_t total = SamplesOf(rate, ms);
    const std::size_t eighth = SamplesOf(rate, 180);
    TPcm pcm;
    pcm.reserve(total);
    for (std::size_t k = 0; pcm.size() < total; ++k) {
        const auto [semitone, eighths] = tune[k % tune.size()];
        const double f = 220.0 * std::pow(2.0, semitone / 12.0);
        const std::size_t n = eighth * static_cast<std::size_t>(eighths);
        for (std::size_t i = 0; i < n && pcm.size() < total; ++i) {
            const double t = double(i) / rate;
            const double decay = std::exp(-3.0 * double(i) / n);
            double v = 0;
            for (int h = 1; h <= 5; ++h)
                if (h * f < 0.45 * rate)
                    v += std::sin(2 * Pi * h * f * t) / (h * h);
            pcm.push_back(Saturate(amplitude * decay * v * EdgeGain(i, n, SamplesOf(rate, 8))));
        }
    }
    return pcm;
}

// --- Call signalling ------------------------------------------------------------------------

TPcm DtmfDigits(std::uint32_t rate, const std::string& digits, double levelDbm0, std::uint32_t onMs,
                std::uint32_t offMs) {
    const double amplitude = DbM0Amplitude(levelDbm0);
    TPcm pcm;
    for (char key : digits) {
        const auto [row, column] = DtmfPairOf(key);
        Append(pcm, Tones(rate, {row, column}, amplitude, onMs));
        Append(pcm, Silence(rate, offMs));
    }
    return pcm;
}

std::vector<int> MfCycleRows(int category, const std::string& sevenDigits) {
    if (sevenDigits.size() != 7)
        throw std::invalid_argument("the multi-frequency number has seven digits");
    // Slot k holds digit k (from the first); it is sent just before slot k - 1, so a digit
    // equal to the one of the slot before becomes the repeat symbol (unless that one is).
    std::array<int, 7> slots{};
    for (std::size_t k = 0; k < 7; ++k) {
        const int digit = sevenDigits[k] - '0';
        const bool repeat =
            k > 0 && sevenDigits[k] == sevenDigits[k - 1] && slots[k - 1] != MfRepeatRow;
        slots[k] = repeat ? MfRepeatRow : MfRowOfDigit(digit);
    }
    std::vector<int> rows = {MfStartRow, MfRowOfDigit(category)};
    for (std::size_t k = 7; k-- > 0;)
        rows.push_back(slots[k]);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i] == rows[(i + 1) % rows.size()])
            throw std::invalid_argument("two equal multi-frequency symbols would merge");
    return rows;
}

TPcm MfCallerNumber(std::uint32_t rate, int category, const std::string& sevenDigits, int cycles) {
    const std::vector<int> rows = MfCycleRows(category, sevenDigits);
    TPcm pcm = Tones(rate, {500}, DbM0Amplitude(-10), 200);
    Append(pcm, Silence(rate, 30));
    // Symbols follow one another without a pause and without edges inside the stream.
    const double amplitude = DbM0Amplitude(-9);
    const std::size_t perSymbol = SamplesOf(rate, MfSymbolMs);
    const std::size_t n = perSymbol * rows.size() * static_cast<std::size_t>(cycles);
    const std::size_t edge = SamplesOf(rate, EdgeMs);
    std::array<double, 2> phases{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::vector<double> f = MfFrequencies(rows[(i / perSymbol) % rows.size()]);
        double v = 0;
        for (std::size_t j = 0; j < 2; ++j) {
            phases[j] += 2 * Pi * f[j] / rate;
            v += std::sin(phases[j]);
        }
        pcm.push_back(Saturate(amplitude * v * EdgeGain(i, n, edge)));
    }
    return pcm;
}

std::vector<std::uint8_t> MdmfMessage(const std::string& dateTime, const std::string& number,
                                      const std::string& name) {
    std::vector<std::uint8_t> body;
    auto parameter = [&body](std::uint8_t type, const std::string& text) {
        body.push_back(type);
        body.push_back(static_cast<std::uint8_t>(text.size()));
        body.insert(body.end(), text.begin(), text.end());
    };
    parameter(0x01, dateTime);
    parameter(0x02, number);
    parameter(0x07, name);
    std::vector<std::uint8_t> message;
    message.reserve(body.size() + 3);
    message.push_back(0x80);
    message.push_back(static_cast<std::uint8_t>(body.size()));
    for (std::uint8_t b : body)
        message.push_back(b);
    unsigned sum = 0;
    for (std::uint8_t b : message)
        sum += b;
    message.push_back(static_cast<std::uint8_t>(-sum & 0xFF));
    return message;
}

TPcm FskBurst(std::uint32_t rate, const std::vector<std::uint8_t>& message, double levelDbm0) {
    std::vector<int> bits;
    for (int i = 0; i < 300; ++i) // channel seizure: alternating, starting with a space
        bits.push_back(i % 2);
    bits.insert(bits.end(), 180, 1); // marks
    for (std::uint8_t byte : message) {
        bits.push_back(0);
        for (int b = 0; b < 8; ++b)
            bits.push_back((byte >> b) & 1);
        bits.push_back(1);
    }
    bits.insert(bits.end(), 10, 1);

    const double amplitude = DbM0Amplitude(levelDbm0);
    const auto n = static_cast<std::size_t>(double(bits.size()) * rate / 1200.0);
    const std::size_t edge = SamplesOf(rate, EdgeMs);
    TPcm pcm(n);
    double phase = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t bit = std::min(bits.size() - 1, i * 1200 / rate);
        phase += 2 * Pi * (bits[bit] ? 1200.0 : 2200.0) / rate;
        pcm[i] = Saturate(amplitude * std::sin(phase) * EdgeGain(i, n, edge));
    }
    return pcm;
}

} // namespace demo
