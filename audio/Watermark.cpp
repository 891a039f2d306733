#include "audio/Watermark.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "audio/Utcrc.h"
#include "platform/ByteOrder.h"

namespace {

constexpr float Pi = 3.14159265358979323846f;
constexpr float HalfPi = 1.57079632679489661923f;
constexpr float TwoPi = 6.28318530717958647692f;
constexpr int RecordBits = TMarkRecord::Size * 8;
constexpr std::size_t EmbedUnit = 2 * RecordBits; // bytes that carry one record
constexpr std::size_t ToneBatch = 256;

// Single-precision sine of a phase in [0, 2pi]: odd polynomial on [0, pi/2], good to about
// 1e-7, and the same on every maths library.
inline float PhaseSine(float phase) {
    const float x = phase - Pi; // sin(phase) = -sin(x)
    const float ax = std::fabs(x);
    const float y = ax > HalfPi ? Pi - ax : ax;
    const float y2 = y * y;
    const float s =
        y *
        (1.0f + y2 * (-1.0f / 6 +
                      y2 * (1.0f / 120 +
                            y2 * (-1.0f / 5040 + y2 * (1.0f / 362880 + y2 * (-1.0f / 39916800))))));
    return x < 0 ? s : -s;
}

// One tone: phase step 2 pi f / rate, all single precision.
struct TSinusCounter {
    float Amplitude = 0;
    float Phase = 0;
    float Step = 0;

    void Setup(float frequency, std::uint16_t amplitude, std::uint16_t sampleRate) {
        Amplitude = amplitude;
        Phase = 0;
        Step = sampleRate != 0 ? TwoPi * frequency / static_cast<float>(sampleRate) : 0.0f;
        // A step outside [0, 2pi) gives the same tone; kept there so the phase stays bounded.
        if (!std::isfinite(Step))
            Step = 0;
        Step = std::fmod(Step, TwoPi);
        if (Step < 0)
            Step += TwoPi;
    }
    float Advance() {
        const float now = Phase;
        Phase += Step;
        if (Phase > TwoPi)
            Phase -= TwoPi;
        return now;
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
    float NextTone();
    void RefillTones();
    void Embed(std::uint8_t* data, std::size_t bytes);
    void GiveOut(std::size_t bytes, const std::uint8_t** output, std::int32_t* outputCount);
    void EndStream(const std::uint8_t** output, std::int32_t* outputCount);

    TMarkConfig Config;
    TMarkRecord Record;
    std::uint8_t Bits[RecordBits] = {};
    int BitIndex = 0;
    TSinusCounter Tones[3];
    float ToneValues[ToneBatch] = {};
    std::size_t ToneNext = ToneBatch;
    float Tone = 0;
    bool Recompute = true;
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
    Recompute = true;
    // A frame has at least one sample.
    Channels = std::max<unsigned>(1, config.Channels);

    for (int k = 0; k < 3; ++k)
        Tones[k].Setup(config.Tones[k].Frequency, config.Tones[k].Amplitude, config.SampleRate);
    ToneNext = ToneBatch;
    Tone = 0;
    RebuildBits();
}

void TMarkEmbedder::RebuildBits() {
    const TMarkBytes scrambled = ScrambleMarkRecord(Record);
    for (int i = 0; i < RecordBits; ++i)
        Bits[i] = static_cast<std::uint8_t>((scrambled[i / 8] >> (7 - i % 8)) & 1u);
}

// Tone values are made a batch ahead; the batch belongs to the stream's state, so the values
// come out as if each were made when needed.
void TMarkEmbedder::RefillTones() {
    float phases[3][ToneBatch];
    for (std::size_t i = 0; i < ToneBatch; ++i)
        for (int k = 0; k < 3; ++k)
            phases[k][i] = Tones[k].Advance();
    const float a1 = Tones[0].Amplitude, a2 = Tones[1].Amplitude, a3 = Tones[2].Amplitude;
    for (std::size_t i = 0; i < ToneBatch; ++i)
        ToneValues[i] = a1 * PhaseSine(phases[0][i]) + a2 * PhaseSine(phases[1][i]) +
                        a3 * PhaseSine(phases[2][i]);
    ToneNext = 0;
}

float TMarkEmbedder::NextTone() {
    if (ToneNext == ToneBatch)
        RefillTones();
    return ToneValues[ToneNext++];
}

void TMarkEmbedder::Embed(std::uint8_t* data, std::size_t bytes) {
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        if (Recompute) {
            Tone = NextTone();
            Recompute = false;
        }
        const float sum = static_cast<float>(GetI16(data + i)) + Tone;
        int v;
        if (!(sum > -32768.0f))
            v = -32768;
        else if (sum >= 32767.0f)
            v = 32767;
        else
            v = static_cast<int>(sum); // truncates toward zero
        v = (v & ~1) | Bits[BitIndex];
        PutI16(data + i, static_cast<std::int16_t>(v));
        if (++Frame >= Channels) {
            Frame = 0;
            Recompute = true; // every sample of a frame gets the same tone value
        }
        if (++BitIndex == RecordBits) {
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
