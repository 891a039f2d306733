#include "audio/Watermark.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "audio/Utcrc.h"
#include "platform/ByteOrder.h"
#include "platform/TargetClones.h"

namespace {

constexpr float Pi = 3.14159265358979323846f;
constexpr float HalfPi = 1.57079632679489661923f;
constexpr int RecordBits = TMarkRecord::Size * 8;
constexpr std::size_t EmbedUnit = 2 * RecordBits; // bytes that carry one record

// Single-precision sine of a phase given in 2^-32 turns: odd polynomial on [0, pi/2], good
// to about 4e-6, and the same on every maths library.
inline float PhaseSine(std::uint32_t phase) {
    // x = phase - pi in [-pi, pi); sin(phase) = -sin(x)
    const float x =
        static_cast<float>(std::bit_cast<std::int32_t>(phase ^ 0x80000000u)) * (Pi / 2147483648.0f);
    // |x| folded onto [0, pi/2] without a branch: the phases come in no predictable order.
    const float y = HalfPi - std::fabs(HalfPi - std::fabs(x));
    const float y2 = y * y;
    const float s =
        y *
        (1.0f + y2 * (-1.0f / 6 + y2 * (1.0f / 120 + y2 * (-1.0f / 5040 + y2 * (1.0f / 362880)))));
    return std::copysign(s, -x);
}

// The two loops that take the time, built for AVX2 as well where the machine has it; the
// results are the same either way (no fused operations).
QUORVEX_CLONE_FOR_AVX2 void AddTone(float* values, const std::uint32_t* phases, std::size_t count,
                                    float amplitude) {
    for (std::size_t i = 0; i < count; ++i)
        values[i] += amplitude * PhaseSine(phases[i]);
}

// Adds the tone, clamps, and puts the record bit into bit 0.
QUORVEX_CLONE_FOR_AVX2 void MarkSamples(std::int16_t* samples, const float* tones,
                                        const std::uint8_t* bits, std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) {
        const float sum =
            std::clamp(static_cast<float>(samples[j]) + tones[j], -32768.0f, 32767.0f);
        // The cast truncates toward zero.
        samples[j] = static_cast<std::int16_t>((static_cast<int>(sum) & ~1) | bits[j]);
    }
}

// One tone. The phase is a 32-bit accumulator of 2^-32 turns (2 pi f / rate per sample), so it
// wraps at 2 pi by itself and never drifts.
struct TSinusCounter {
    float Amplitude = 0;
    std::uint32_t Phase = 0;
    std::uint32_t Step = 0;

    void Setup(float frequency, std::uint16_t amplitude, std::uint16_t sampleRate) {
        Amplitude = amplitude;
        Phase = 0;
        Step = 0;
        if (sampleRate == 0 || !std::isfinite(frequency))
            return;
        double turns = std::fmod(static_cast<double>(frequency) / sampleRate, 1.0);
        if (turns < 0)
            turns += 1.0;
        Step = static_cast<std::uint32_t>(
            static_cast<std::uint64_t>(std::llround(turns * 4294967296.0)));
    }
};

class TMarkEmbedder {
public:
    void Init(const TMarkConfig& config);
    void Process(const std::uint8_t* input, std::int32_t count, const std::uint8_t** output,
                 std::int32_t* outputCount);
    bool CopyFinal(void* destination) const;
    bool HasFinal() const { return Final.has_value(); }

private:
    void RebuildBits();
    void MakeTones(float* values, std::size_t count);
    const float* FrameTones(float* buffer, std::size_t count);
    void Embed(std::uint8_t* data, std::size_t bytes);
    void GiveOut(std::size_t bytes, const std::uint8_t** output, std::int32_t* outputCount);
    void EndStream(const std::uint8_t** output, std::int32_t* outputCount);

    TMarkConfig Config;
    TMarkRecord Record;
    std::uint8_t Bits[RecordBits] = {};
    int BitIndex = 0;
    TSinusCounter Tones[3];
    float Tone = 0;
    unsigned Channels = 1;
    unsigned Frame = 0;
    bool FirstCall = true;
    bool StreamEnded = true; // nothing is embedded before the first mrk_Init
    std::vector<std::uint8_t> Pending;
    std::vector<std::uint8_t> Held;
    std::vector<std::uint8_t> Output;
    std::optional<TMarkBytes> Final;
};

TMarkEmbedder Embedder;

void TMarkEmbedder::Init(const TMarkConfig& config) {
    Config = config;
    Record = TMarkRecord{};
    Record.Identity = config.Identity;
    Record.RecordTime = config.RecordTime;
    for (int k = 0; k < 3; ++k)
        Record.Frequencies[k] = config.Tones[k].Frequency;
    Record.InfoA = config.InfoA;
    Record.InfoB = config.InfoB;

    Pending.clear();
    Held.clear();
    Output.clear();
    Final.reset();
    FirstCall = true;
    StreamEnded = false;
    BitIndex = 0;
    Frame = 0;
    // A frame has at least one sample.
    Channels = std::max<unsigned>(1, config.Channels);

    for (int k = 0; k < 3; ++k)
        Tones[k].Setup(config.Tones[k].Frequency, config.Tones[k].Amplitude, config.SampleRate);
    Tone = 0;
    RebuildBits();
}

void TMarkEmbedder::RebuildBits() {
    const TMarkBytes scrambled = ScrambleMarkRecord(Record);
    for (int byte = 0; byte < TMarkRecord::Size; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            Bits[8 * byte + bit] = static_cast<std::uint8_t>((scrambled[byte] >> (7 - bit)) & 1u);
}

// Tone values are made a batch ahead; the batch belongs to the stream's state, so the values
// come out as if each were made when needed.
// The next count tone values, one per frame: the sum of the three tones, each advanced by
// its step.
void TMarkEmbedder::MakeTones(float* values, std::size_t count) {
    std::fill_n(values, count, 0.0f);
    std::uint32_t phases[RecordBits];
    for (TSinusCounter& tone : Tones) {
        // The phases first (one add each), then the sines in vector registers.
        std::uint32_t phase = tone.Phase;
        for (std::size_t i = 0; i < count; ++i) {
            phases[i] = phase;
            phase += tone.Step;
        }
        tone.Phase = phase;
        AddTone(values, phases, count, tone.Amplitude);
    }
}

// The tone value of each of the next count samples: every sample of a frame gets the value
// made when the frame began. Frame is the position within the current frame.
const float* TMarkEmbedder::FrameTones(float* buffer, std::size_t count) {
    const std::size_t first = (Channels - Frame) % Channels; // where the next frame begins
    const std::size_t frames = first < count ? (count - first + Channels - 1) / Channels : 0;
    float* values = buffer + count;
    MakeTones(values, frames);
    if (Channels == 1) {
        Tone = frames > 0 ? values[frames - 1] : Tone;
        return values;
    }
    std::size_t j = 0;
    for (; j < first && j < count; ++j)
        buffer[j] = Tone;
    if (Channels == 2) {
        const std::size_t pairs = (count - j) / 2;
        for (std::size_t f = 0; f < pairs; ++f)
            buffer[j + 2 * f] = buffer[j + 2 * f + 1] = values[f];
        if (j + 2 * pairs < count)
            buffer[count - 1] = values[pairs];
    } else {
        for (std::size_t f = 0; f < frames; ++f)
            for (unsigned c = 0; c < Channels && j < count; ++c)
                buffer[j++] = values[f];
    }
    if (frames > 0)
        Tone = values[frames - 1];
    Frame = static_cast<unsigned>((Frame + count) % Channels);
    return buffer;
}

void TMarkEmbedder::Embed(std::uint8_t* data, std::size_t bytes) {
    const std::size_t total = bytes / 2;
    std::size_t done = 0;
    // Runs that end at the record boundary, so one run uses one set of record bits.
    while (done < total) {
        const std::size_t run = std::min<std::size_t>(total - done, RecordBits - BitIndex);
        float toneBuffer[2 * RecordBits];
        const float* tones = FrameTones(toneBuffer, run);
        std::uint8_t* at = data + 2 * done;
        std::int16_t samples[RecordBits];
        for (std::size_t j = 0; j < run; ++j)
            samples[j] = GetI16(at + 2 * j);
        MarkSamples(samples, tones, Bits + BitIndex, run);
        for (std::size_t j = 0; j < run; ++j)
            PutI16(at + 2 * j, samples[j]);
        done += run;
        BitIndex += static_cast<int>(run);
        if (BitIndex == RecordBits) {
            ++Record.BlockCounter;
            BitIndex = 0;
            RebuildBits();
        }
    }
}

void TMarkEmbedder::GiveOut(std::size_t bytes, const std::uint8_t** output,
                            std::int32_t* outputCount) {
    *output = bytes > 0 ? Output.data() : nullptr;
    *outputCount = static_cast<std::int32_t>(bytes);
}

void TMarkEmbedder::EndStream(const std::uint8_t** output, std::int32_t* outputCount) {
    const std::size_t p = Pending.size();
    std::size_t m = 0;
    if (p > EmbedUnit) {
        const std::size_t before = 2 * static_cast<std::size_t>(BitIndex);
        m = (before + p) / EmbedUnit * EmbedUnit - before;
        if (m == p)
            m -= EmbedUnit;
    }
    // A short stream embeds nothing, but its tail is cleared like any other so it checks clean.
    Embed(Pending.data(), m);
    for (std::size_t i = m; i + 1 < p; i += 2)
        Pending[i] &= 0xFE;
    const TMarkBytes trailer = ScrambleMarkRecord(Record);
    if (Config.Flags & TMarkConfig::FlagFrameRecords)
        Pending.insert(Pending.end(), trailer.begin(), trailer.end());
    Final = trailer;
    Output.swap(Pending);
    Pending.clear();
    Held.clear();
    StreamEnded = true;
    GiveOut(Output.size(), output, outputCount);
}

void TMarkEmbedder::Process(const std::uint8_t* input, std::int32_t count,
                            const std::uint8_t** output, std::int32_t* outputCount) {
    const std::uint8_t* ignoredOutput = nullptr;
    std::int32_t ignoredCount = 0;
    if (output == nullptr)
        output = &ignoredOutput;
    if (outputCount == nullptr)
        outputCount = &ignoredCount;
    *output = nullptr;
    *outputCount = 0;
    if (StreamEnded || count < 0 || (count > 0 && input == nullptr))
        return;

    Record.ByteCounter += static_cast<std::uint32_t>(count);
    if (FirstCall && (Config.Flags & TMarkConfig::FlagFrameRecords)) {
        const TMarkBytes leading = ScrambleMarkRecord(Record);
        Held.assign(leading.begin(), leading.end());
    }
    // The output lags the input by one call.
    if (Pending.empty())
        Pending.swap(Held);
    else
        Pending.insert(Pending.end(), Held.begin(), Held.end());
    Held.assign(input, input + count);

    if (FirstCall) {
        FirstCall = false;
        Output.swap(Pending);
        Pending.clear();
        GiveOut(Output.size(), output, outputCount);
        return;
    }
    if (count == 0) {
        EndStream(output, outputCount);
        return;
    }
    const std::size_t p = Pending.size();
    if (p <= EmbedUnit)
        return;
    std::size_t m = p / EmbedUnit * EmbedUnit;
    if (m == p)
        m -= EmbedUnit;
    Embed(Pending.data(), m);
    Output.swap(Pending);
    Pending.assign(Output.begin() + static_cast<std::ptrdiff_t>(m), Output.end());
    GiveOut(m, output, outputCount);
}

bool TMarkEmbedder::CopyFinal(void* destination) const {
    if (!Final || destination == nullptr)
        return false;
    std::memcpy(destination, Final->data(), Final->size());
    return true;
}

} // namespace

extern "C" void mrk_Init(const void* config) {
    if (config == nullptr)
        return;
    Embedder.Init(DecodeMarkConfig(static_cast<const std::uint8_t*>(config)));
}

extern "C" void mrk_Process(const void* input, std::int32_t count, const std::uint8_t** output,
                            std::int32_t* outputCount) {
    Embedder.Process(static_cast<const std::uint8_t*>(input), count, output, outputCount);
}

extern "C" void mrk_GetAddInfo(void* record64) {
    Embedder.CopyFinal(record64);
}

bool MarkStreamEnded() {
    return Embedder.HasFinal();
}
