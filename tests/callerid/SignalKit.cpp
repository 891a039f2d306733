#include "tests/callerid/SignalKit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <spandsp.h>
#include <stdexcept>

#include "callerid/CallerIdStatus.h"
#include "callerid/NorvelDecoder.h"

namespace norvel_test {

namespace {

constexpr double kPi = 3.14159265358979323846;

int16_t Saturate(double value) {
    return static_cast<int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

// Peak of a sine at `level` dBm0 (0 dBm0 is 3.14 dB below full scale).
double PeakOfDbm0(double level) {
    return 32767.0 * std::pow(10.0, (level - 3.14) / 20.0);
}

int SamplesFor(int sampleRate, int milliseconds) {
    return static_cast<int>(static_cast<int64_t>(sampleRate) * milliseconds / 1000);
}

// Windowed sinc with a cut-off at 0.9 of the input's Nyquist frequency, tabulated finely.
class TInterpolationKernel {
public:
    static constexpr int kHalfWidth = 16;
    static constexpr int kSteps = 1024;

    TInterpolationKernel() : Table((kHalfWidth * kSteps) + 2) {
        const double cutoff = 0.9;
        for (size_t i = 0; i < Table.size(); ++i) {
            const double u = static_cast<double>(i) / kSteps;
            const double x = cutoff * u;
            const double sinc = x == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
            const double window =
                u >= kHalfWidth ? 0.0 : 0.5 + 0.5 * std::cos(kPi * u / kHalfWidth);
            Table[i] = cutoff * sinc * window;
        }
    }

    double At(double u) const {
        const double position = std::fabs(u) * kSteps;
        const size_t index = static_cast<size_t>(position);
        if (index + 1 >= Table.size()) {
            return 0.0;
        }
        const double fraction = position - static_cast<double>(index);
        return Table[index] + fraction * (Table[index + 1] - Table[index]);
    }

private:
    std::vector<double> Table;
};

struct TBitSource {
    std::vector<int> Bits;
    size_t Next = 0;
};

int NextBit(void* userData) {
    auto* source = static_cast<TBitSource*>(userData);
    if (source->Next >= source->Bits.size()) {
        return SIG_STATUS_END_OF_DATA;
    }
    return source->Bits[source->Next++];
}

TSamples RunAdsi(adsi_tx_state_t* tx) {
    TSamples out;
    int16_t block[160];
    for (;;) {
        const int produced = adsi_tx(tx, block, 160);
        if (produced <= 0) {
            break;
        }
        out.insert(out.end(), block, block + produced);
    }
    return out;
}

void AddField(std::vector<uint8_t>& message, uint8_t type, const std::string& text) {
    if (text.empty()) {
        return;
    }
    message.push_back(type);
    message.push_back(static_cast<uint8_t>(text.size()));
    message.insert(message.end(), text.begin(), text.end());
}

// Digit code -> MF row: codes 1..9 are rows 0..8, code 0 is row 9.
int MfRowOfDigit(char digit) {
    return digit == '0' ? 9 : digit - '1';
}

} // namespace

void Append(TSamples& to, const TSamples& from) {
    to.insert(to.end(), from.begin(), from.end());
}

TSamples Silence(int sampleRate, int milliseconds) {
    return TSamples(static_cast<size_t>(SamplesFor(sampleRate, milliseconds)), 0);
}

TSamples Sine(int sampleRate, double frequency, double amplitude, int milliseconds) {
    TSamples out(static_cast<size_t>(SamplesFor(sampleRate, milliseconds)));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = Saturate(amplitude *
                          std::sin(2.0 * kPi * frequency * static_cast<double>(i) / sampleRate));
    }
    return out;
}

TSamples Scaled(const TSamples& samples, double gain) {
    TSamples out(samples.size());
    std::transform(samples.begin(), samples.end(), out.begin(),
                   [gain](int16_t s) { return Saturate(s * gain); });
    return out;
}

void MixInto(TSamples& to, const TSamples& from, size_t offset) {
    if (to.size() < offset + from.size()) {
        to.resize(offset + from.size(), 0);
    }
    for (size_t i = 0; i < from.size(); ++i) {
        to[offset + i] = Saturate(static_cast<double>(to[offset + i]) + from[i]);
    }
}

double RmsOf(const TSamples& samples) {
    double sum = 0.0;
    for (const int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

TSamples Resample(const TSamples& samples, int fromRate, int toRate) {
    if (fromRate == toRate) {
        return samples;
    }
    if (toRate < fromRate) {
        throw std::invalid_argument("Resample only raises the rate");
    }
    static const TInterpolationKernel kernel;
    const size_t outCount =
        static_cast<size_t>(static_cast<int64_t>(samples.size()) * toRate / fromRate);
    TSamples out(outCount);
    const int64_t size = static_cast<int64_t>(samples.size());
    for (size_t m = 0; m < outCount; ++m) {
        const double t = static_cast<double>(m) * fromRate / toRate;
        const int64_t centre = static_cast<int64_t>(std::floor(t));
        double sum = 0.0;
        for (int64_t k = centre - TInterpolationKernel::kHalfWidth + 1;
             k <= centre + TInterpolationKernel::kHalfWidth; ++k) {
            if (k >= 0 && k < size) {
                sum += samples[static_cast<size_t>(k)] * kernel.At(t - static_cast<double>(k));
            }
        }
        out[m] = Saturate(sum);
    }
    return out;
}

TSamples FromSpanRate(const TSamples& samples, int sampleRate) {
    return Resample(samples, kSpanRate, sampleRate);
}

TSamples Placed(const TSamples& samples8k, int sampleRate, int delayUs) {
    TSamples out(static_cast<size_t>(std::llround(static_cast<double>(delayUs) * sampleRate / 1e6)),
                 0);
    Append(out, FromSpanRate(samples8k, sampleRate));
    return out;
}

TSamples DtmfDigits(const std::string& digits, int level, int onMs, int offMs, int twist) {
    dtmf_tx_state_t* tx = dtmf_tx_init(nullptr);
    dtmf_tx_set_level(tx, level, twist);
    dtmf_tx_set_timing(tx, onMs, offMs);
    TSamples out;
    int16_t block[160];
    // The generator's queue is short; feed it a digit at a time.
    for (const char digit : digits) {
        dtmf_tx_put(tx, &digit, 1);
        for (;;) {
            const int produced = dtmf_tx(tx, block, 160);
            if (produced <= 0) {
                break;
            }
            out.insert(out.end(), block, block + produced);
        }
    }
    dtmf_tx_free(tx);
    return out;
}

TSamples Tones(int f1, int level1, int f2, int level2, int milliseconds) {
    tone_gen_descriptor_t* descriptor =
        tone_gen_descriptor_init(nullptr, f1, level1, f2, level2, milliseconds, 0, 0, 0, 0);
    tone_gen_state_t* generator = tone_gen_init(nullptr, descriptor);
    TSamples out(static_cast<size_t>(SamplesFor(kSpanRate, milliseconds)));
    const int produced = tone_gen(generator, out.data(), static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(std::max(produced, 0)));
    tone_gen_free(generator);
    tone_gen_descriptor_free(descriptor);
    return out;
}

TSamples TonePair(double f1, double level1, double f2, double level2, int milliseconds) {
    TSamples out = Silence(kSpanRate, milliseconds);
    for (const auto& [frequency, level] : {std::pair{f1, level1}, std::pair{f2, level2}}) {
        if (level > -99.0) {
            MixInto(out, Sine(kSpanRate, frequency, PeakOfDbm0(level), milliseconds));
        }
    }
    return out;
}

TSamples DtmfKeys(const std::string& keys, double rowLevel, double columnLevel,
                  double frequencyScale, int onMs, int offMs) {
    return DtmfKeys(keys, rowLevel, columnLevel, frequencyScale, frequencyScale, onMs, offMs);
}

TSamples DtmfKeys(const std::string& keys, double rowLevel, double columnLevel, double rowScale,
                  double columnScale, int onMs, int offMs) {
    static const std::string kKeys = "123A456B789C*0#D";
    static const double kRows[] = {697, 770, 852, 941};
    static const double kColumns[] = {1209, 1336, 1477, 1633};
    TSamples out;
    for (const char key : keys) {
        const size_t index = kKeys.find(key);
        if (index == std::string::npos) {
            throw std::invalid_argument("no such DTMF key");
        }
        Append(out, TonePair(kRows[index / 4] * rowScale, rowLevel,
                             kColumns[index % 4] * columnScale, columnLevel, onMs));
        Append(out, Silence(kSpanRate, offMs));
    }
    return out;
}

double PowerDbm0(const TSamples& samples) {
    double sum = 0.0;
    size_t active = 0;
    for (const int16_t s : samples) {
        if (s != 0) {
            sum += static_cast<double>(s) * s;
            ++active;
        }
    }
    if (active == 0) {
        return -99.0;
    }
    return 20.0 * std::log10(std::sqrt(sum / static_cast<double>(active)) * std::sqrt(2.0) /
                             PeakOfDbm0(0.0));
}

void AddNoiseAtSnr(TSamples& signal, double snr, int seed) {
    const double level = PowerDbm0(signal) - snr;
    MixInto(signal, WhiteNoise(static_cast<int>(signal.size() * 1000 / kSpanRate),
                               static_cast<float>(level), seed));
}

TSamples WhiteNoise(int milliseconds, float level, int seed) {
    awgn_state_t* source = awgn_init_dbm0(nullptr, seed, level);
    TSamples out(static_cast<size_t>(SamplesFor(kSpanRate, milliseconds)));
    for (int16_t& s : out) {
        s = awgn(source);
    }
    awgn_free(source);
    return out;
}

TSamples HothNoise(int milliseconds, float level, int seed) {
    noise_state_t* source = noise_init_dbm0(nullptr, seed, level, NOISE_CLASS_HOTH, 7);
    TSamples out(static_cast<size_t>(SamplesFor(kSpanRate, milliseconds)));
    for (int16_t& s : out) {
        s = noise(source);
    }
    noise_free(source);
    return out;
}

TSamples MfSymbols(const std::vector<int>& rows, int level, int symbolMs) {
    // Frequencies of each row's two tones (700 + 200 j Hz for mask bit j).
    static const int kMasks[12] = {0x03, 0x05, 0x06, 0x09, 0x0A, 0x0C,
                                   0x11, 0x12, 0x14, 0x18, 0x24, 0x28};
    TSamples out;
    for (const int row : rows) {
        int frequencies[2] = {0, 0};
        int found = 0;
        for (int bit = 0; bit < 6 && found < 2; ++bit) {
            if (kMasks[row] & (1 << bit)) {
                frequencies[found++] = 700 + 200 * bit;
            }
        }
        Append(out, Tones(frequencies[0], level, frequencies[1], level, symbolMs));
    }
    return out;
}

std::vector<int> MfCycleRows(int category, const std::string& number) {
    constexpr int kStartRow = 10;
    constexpr int kRepeatRow = 11;
    std::vector<int> rows = {kStartRow, MfRowOfDigit(static_cast<char>('0' + category % 10))};
    // The number goes last digit first; of two equal neighbours in the number the one sent
    // first becomes the repeat symbol (the decoder takes it from the digit it read before).
    for (int i = static_cast<int>(number.size()) - 1; i >= 0; --i) {
        const bool repeat =
            i > 0 && number[static_cast<size_t>(i)] == number[static_cast<size_t>(i - 1)];
        rows.push_back(repeat ? kRepeatRow : MfRowOfDigit(number[static_cast<size_t>(i)]));
    }
    return rows;
}

TSamples MfCallOnLine(int category, const std::string& number, double frequencyScale,
                      double lowLevel, double highLevel) {
    static const int kMasks[12] = {0x03, 0x05, 0x06, 0x09, 0x0A, 0x0C,
                                   0x11, 0x12, 0x14, 0x18, 0x24, 0x28};
    const std::vector<int> cycle = MfCycleRows(category, number);
    TSamples call = Silence(kSpanRate, 200);
    Append(call, Tones(500, -10, 0, 0, 150));
    for (int c = 0; c < 2; ++c) {
        for (const int row : cycle) {
            std::vector<double> frequencies;
            for (int bit = 0; bit < 6; ++bit) {
                if ((kMasks[row] & (1 << bit)) != 0) {
                    frequencies.push_back((700 + 200 * bit) * frequencyScale);
                }
            }
            Append(call, TonePair(frequencies[0], lowLevel, frequencies[1], highLevel, 40));
        }
    }
    Append(call, Silence(kSpanRate, 300));
    return call;
}

std::vector<TMfNumber> RandomMfNumbers(int count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<TMfNumber> numbers;
    for (int n = 0; n < count; ++n) {
        TMfNumber number;
        for (int i = 0; i < 7; ++i) {
            number.Number.push_back(static_cast<char>('0' + random() % 10));
        }
        number.Category = 1 + n % 9;
        if (number.Number.back() == '0' + number.Category) {
            number.Category = number.Category % 9 + 1;
        }
        number.Expected = {static_cast<uint16_t>(number.Category)};
        for (const char digit : number.Number) {
            number.Expected.push_back(static_cast<uint16_t>(digit - '0'));
        }
        numbers.push_back(number);
    }
    return numbers;
}

std::string SpandspDtmfDigits(const TSamples& samples8k) {
    dtmf_rx_state_t* receiver = dtmf_rx_init(nullptr, nullptr, nullptr);
    dtmf_rx(receiver, samples8k.data(), static_cast<int>(samples8k.size()));
    char digits[512];
    const size_t count = dtmf_rx_get(receiver, digits, sizeof digits - 1);
    dtmf_rx_free(receiver);
    return std::string(digits, count);
}

std::vector<TCallerIdFields> RandomCallerIdFields(int count, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<TCallerIdFields> messages;
    for (int m = 0; m < count; ++m) {
        TCallerIdFields fields;
        char date[9];
        std::snprintf(date, sizeof date, "%02d%02d%02d%02d", 1 + m % 12, 1 + m % 28, m % 24,
                      m % 60);
        fields.DateTime = date;
        for (int i = 0; i < 10; ++i) {
            fields.Number.push_back(static_cast<char>('0' + random() % 10));
        }
        for (int i = 0; i < 12; ++i) {
            fields.Name.push_back(static_cast<char>('A' + random() % 26));
        }
        messages.push_back(fields);
    }
    return messages;
}

std::vector<uint8_t> MdmfMessage(const TCallerIdFields& fields) {
    std::vector<uint8_t> message = {0x80, 0};
    AddField(message, 1, fields.DateTime);
    AddField(message, 2, fields.Number);
    AddField(message, 7, fields.Name);
    message[1] = static_cast<uint8_t>(message.size() - 2);
    uint8_t sum = 0;
    for (const uint8_t byte : message) {
        sum = static_cast<uint8_t>(sum + byte);
    }
    message.push_back(static_cast<uint8_t>(-sum));
    return message;
}

TSamples FskCallerId(const TCallerIdFields& fields, double gain, int postambleBits) {
    adsi_tx_state_t* tx = adsi_tx_init(nullptr, ADSI_STANDARD_CLASS);
    adsi_tx_set_preamble(tx, 300, 180, postambleBits, 1);
    uint8_t message[256];
    int length = adsi_add_field(tx, message, -1, CLASS_MDMF_CALLERID, nullptr, 0);
    auto add = [&](uint8_t type, const std::string& text) {
        if (!text.empty()) {
            length = adsi_add_field(tx, message, length, type,
                                    reinterpret_cast<const uint8_t*>(text.data()),
                                    static_cast<int>(text.size()));
        }
    };
    add(MCLASS_DATETIME, fields.DateTime);
    add(MCLASS_CALLER_NUMBER, fields.Number);
    add(MCLASS_CALLER_NAME, fields.Name);
    adsi_tx_put_message(tx, message, length);
    TSamples out = RunAdsi(tx);
    adsi_tx_free(tx);
    return Scaled(out, gain);
}

TSamples FskBytes(const std::vector<uint8_t>& bytes, double gain, int postambleBits) {
    return FskBytesOn(bytes, TFskLine{}, gain, postambleBits);
}

TSamples FskBytesOn(const std::vector<uint8_t>& bytes, const TFskLine& line, double gain,
                    int postambleBits) {
    TBitSource source;
    for (int i = 0; i < line.SeizureBits; ++i) {
        source.Bits.push_back(i & 1);
    }
    source.Bits.insert(source.Bits.end(), static_cast<size_t>(line.MarkBits), 1);
    for (const uint8_t byte : bytes) {
        source.Bits.push_back(0);
        for (int bit = 0; bit < 8; ++bit) {
            source.Bits.push_back((byte >> bit) & 1);
        }
        source.Bits.push_back(1);
    }
    source.Bits.insert(source.Bits.end(), static_cast<size_t>(postambleBits), 1);
    fsk_spec_t spec = preset_fsk_specs[FSK_BELL202];
    spec.freq_zero = static_cast<int>(std::lround(spec.freq_zero * line.ToneScale));
    spec.freq_one = static_cast<int>(std::lround(spec.freq_one * line.ToneScale));
    spec.baud_rate = static_cast<int>(std::lround(spec.baud_rate * line.BitRateScale));
    fsk_tx_state_t* tx = fsk_tx_init(nullptr, &spec, NextBit, &source);
    TSamples out;
    int16_t block[160];
    // The modulator sends the bit it has when the source runs dry; stop at its length.
    const size_t total = static_cast<size_t>(static_cast<double>(source.Bits.size()) * kSpanRate /
                                             (1200.0 * line.BitRateScale));
    while (out.size() < total) {
        const int produced = fsk_tx(tx, block, 160);
        if (produced <= 0) {
            break;
        }
        out.insert(out.end(), block, block + produced);
    }
    out.resize(std::min(out.size(), total));
    fsk_tx_free(tx);
    return Scaled(out, gain);
}

TSamples ClickTrack(int sampleRate, int totalMs, const std::vector<int>& timesMs,
                    const std::vector<TClickShape>& shapes) {
    TSamples out = Silence(sampleRate, totalMs);
    for (size_t c = 0; c < timesMs.size(); ++c) {
        const TClickShape& shape = shapes[c % shapes.size()];
        const double sign = shape.Polarity == 1 ? 1.0 : -1.0;
        const int start = SamplesFor(sampleRate, timesMs[c]);
        const int lobe =
            std::max(2, static_cast<int>(std::lround(shape.DurationMs * sampleRate / 1000.0)));
        const int tail = std::max(2, lobe / 2);
        for (int i = 0; i < lobe + tail; ++i) {
            const size_t index = static_cast<size_t>(start + i);
            if (index >= out.size()) {
                break;
            }
            double value = 0.0;
            if (i < lobe) {
                value = sign * shape.Peak * std::sin(kPi * (i + 0.5) / lobe);
            } else {
                value = -sign * 0.1 * shape.Peak * std::sin(kPi * (i - lobe + 0.5) / tail);
            }
            out[index] = Saturate(value);
        }
    }
    return out;
}

TSamples PulseDigits(int sampleRate, const std::string& digits, const TClickShape& breakClick,
                     const TClickShape& makeClick, const TDialTiming& timing) {
    std::vector<int> times;
    std::vector<TClickShape> shapes;
    int now = timing.PauseMs;
    for (const char digit : digits) {
        const int pulses = digit == '0' ? 10 : digit - '0';
        for (int p = 0; p < pulses; ++p) {
            times.push_back(now);
            shapes.push_back(breakClick);
            now += timing.BreakMs;
            times.push_back(now);
            shapes.push_back(makeClick);
            now += timing.MakeMs;
        }
        now += timing.PauseMs;
    }
    return ClickTrack(sampleRate, now, times, shapes);
}

TSamples SpeechLike(int sampleRate, int milliseconds, int seed, double level) {
    std::mt19937 random(static_cast<uint32_t>(seed));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const size_t count = static_cast<size_t>(SamplesFor(sampleRate, milliseconds));
    std::vector<double> signal(count, 0.0);

    // Vowel formant targets (F1, F2, F3).
    static const double kVowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                                        {570, 840, 2410},  {300, 870, 2240},  {660, 1720, 2410},
                                        {490, 1350, 1690}, {440, 1020, 2240}};
    struct TResonator {
        double A1 = 0, A2 = 0, Gain = 0, Y1 = 0, Y2 = 0;
        void Tune(double frequency, double bandwidth, double rate) {
            const double r = std::exp(-kPi * bandwidth / rate);
            A1 = 2.0 * r * std::cos(2.0 * kPi * frequency / rate);
            A2 = -r * r;
            Gain = 1.0 - r;
        }
        double Run(double x) {
            const double y = Gain * x + A1 * Y1 + A2 * Y2;
            Y2 = Y1;
            Y1 = y;
            return y;
        }
    };
    TResonator formants[3];
    size_t position = 0;
    double pitchPhase = 0.0;
    while (position < count) {
        const bool pause = uniform(random) < 0.25;
        const size_t length = static_cast<size_t>(
            sampleRate * (pause ? 0.05 + 0.2 * uniform(random) : 0.12 + 0.25 * uniform(random)));
        const bool fricative = !pause && uniform(random) < 0.2;
        const double* vowel = kVowels[random() % 8];
        const double basePitch = 90.0 + 140.0 * uniform(random);
        for (int f = 0; f < 3; ++f) {
            formants[f].Tune(vowel[f] * (0.9 + 0.2 * uniform(random)), 80.0 + 60.0 * f, sampleRate);
        }
        for (size_t i = 0; i < length && position < count; ++i, ++position) {
            if (pause) {
                continue;
            }
            const double progress = static_cast<double>(i) / static_cast<double>(length);
            const double envelope = std::sin(kPi * progress);
            double excitation = 0.0;
            if (fricative) {
                excitation = gauss(random) * 0.3;
            } else {
                const double pitch =
                    basePitch * (1.0 + 0.08 * std::sin(2.0 * kPi * 3.0 * progress));
                pitchPhase += pitch / sampleRate;
                if (pitchPhase >= 1.0) {
                    pitchPhase -= 1.0;
                    excitation = 1.0;
                }
                excitation += 0.02 * gauss(random);
            }
            double y = 0.0;
            for (int f = 0; f < 3; ++f) {
                y += formants[f].Run(excitation) * (f == 0 ? 1.0 : 0.6 / f);
            }
            signal[position] = y * envelope;
        }
    }
    // Scale the voiced parts to the wanted level (0 dBm0 is an rms of about 22000 / sqrt 2).
    double sum = 0.0;
    size_t active = 0;
    for (const double v : signal) {
        if (v != 0.0) {
            sum += v * v;
            ++active;
        }
    }
    const double rms = active == 0 ? 1.0 : std::sqrt(sum / static_cast<double>(active));
    const double target = 32767.0 * std::pow(10.0, (level - 3.14) / 20.0) / std::sqrt(2.0);
    TSamples out(count);
    for (size_t i = 0; i < count; ++i) {
        out[i] = Saturate(signal[i] * target / rms);
    }
    return out;
}

std::unique_ptr<norvel::TNorvelState> Decode(int sampleRate, const TSamples& samples,
                                             size_t block) {
    auto state = std::make_unique<norvel::TNorvelState>();
    if (norvel::ResetDecoder(*state, sampleRate) != 0) {
        throw std::invalid_argument("sample rate refused");
    }
    for (size_t offset = 0; offset < samples.size(); offset += block) {
        const size_t count = std::min(block, samples.size() - offset);
        norvel::ProcessSamples(*state, samples.data() + offset, count);
    }
    return state;
}

TCallerIdStatus StatusOf(const norvel::TNorvelState& state) {
    TCallerIdStatus status{};
    norvel::FillCallerIdStatus(state, status);
    return status;
}

std::vector<uint16_t> DigitGroup(const TCallerIdStatus& status) {
    const uint16_t length = status.Words[1];
    if (length == 0) {
        return {};
    }
    return std::vector<uint16_t>(status.Words + 4, status.Words + 3 + length);
}

std::vector<uint16_t> MessageGroup(const TCallerIdStatus& status) {
    const uint16_t kind = static_cast<uint16_t>(3 + status.Words[1]);
    const uint16_t length = status.Words[2];
    if (length == 0 || kind + length > NORVEL_STATUS_WORDS) {
        return {};
    }
    return std::vector<uint16_t>(status.Words + kind + 1, status.Words + kind + length);
}

std::string DigitText(const TCallerIdStatus& status) {
    static const char kKeys[] = "0123456789ABCD*#";
    std::string text;
    for (const uint16_t code : DigitGroup(status)) {
        text.push_back(code < 16 ? kKeys[code] : '?');
    }
    return text;
}

std::string MessageField(const TCallerIdStatus& status, uint16_t type) {
    const std::vector<uint16_t> values = MessageGroup(status);
    size_t i = 0;
    while (i + 1 < values.size()) {
        const uint16_t fieldType = values[i];
        const size_t length = values[i + 1];
        if (i + 2 + length > values.size()) {
            break;
        }
        if (fieldType == type) {
            std::string text;
            for (size_t k = 0; k < length; ++k) {
                text.push_back(static_cast<char>(values[i + 2 + k]));
            }
            return text;
        }
        i += 2 + length;
    }
    return {};
}

} // namespace norvel_test
