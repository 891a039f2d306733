#include "audio/Codecsfunc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

std::array<std::uint16_t, 128> BuildCompandDecodeTable() {
    std::array<std::uint16_t, 128> table{};
    for (std::size_t c = 0; c < table.size(); ++c) {
        const double exact = CompandMaxMagnitude * (std::pow(256.0, (c + 1) / 128.0) - 1.0) / 255.0;
        const double rounded = std::floor(exact + 0.5);
        table[c] = static_cast<std::uint16_t>(std::min<double>(rounded, CompandMaxMagnitude));
    }
    return table;
}

std::array<std::uint8_t, CompandMaxMagnitude + 1> BuildCompandEncodeTable() {
    std::array<std::uint8_t, CompandMaxMagnitude + 1> table{};
    const double ln256 = std::log(256.0);
    for (std::size_t m = 0; m < table.size(); ++m) {
        const double exact = 128.0 * std::log(1.0 + 255.0 * m / CompandMaxMagnitude) / ln256;
        table[m] = static_cast<std::uint8_t>(std::min(std::floor(exact + 0.5), 127.0));
    }
    return table;
}

int ClampIndex(int index) {
    return std::clamp(index, 0, AdpcmMaxIndex);
}
int ClampSample(int sample) {
    return std::clamp(sample, AdpcmMinSample, AdpcmMaxSample);
}

// The working copy of a state inside a run. The index is clamped on the way in: a state that
// reaches us from outside is never trusted to index the step table.
struct TAdpcmRegs {
    int Estimate;
    int Index;

    explicit TAdpcmRegs(const TAdpcmState& state)
        : Estimate(state.Estimate), Index(ClampIndex(state.Index)) {}
    void StoreTo(TAdpcmState& state) const {
        state.Estimate = static_cast<std::int16_t>(Estimate);
        state.Index = static_cast<std::int8_t>(Index);
    }
};

inline int DecodeStep4(unsigned code, TAdpcmRegs& r) {
    const int step = ImaStepTable[r.Index];
    int vpdiff = step >> 3;
    if (code & 4)
        vpdiff += step;
    if (code & 2)
        vpdiff += step >> 1;
    if (code & 1)
        vpdiff += step >> 2;
    r.Estimate = ClampSample((code & 8) ? r.Estimate - vpdiff : r.Estimate + vpdiff);
    r.Index = ClampIndex(r.Index + ImaIndexTable4[code & 15]);
    return r.Estimate;
}

inline unsigned EncodeStep4(int sample, TAdpcmRegs& r) {
    const int step = ImaStepTable[r.Index];
    int diff = sample - r.Estimate;
    unsigned code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int vpdiff = step >> 3;
    if (diff >= step) {
        code |= 4;
        diff -= step;
        vpdiff += step;
    }
    if (diff >= step >> 1) {
        code |= 2;
        diff -= step >> 1;
        vpdiff += step >> 1;
    }
    if (diff >= step >> 2) {
        code |= 1;
        vpdiff += step >> 2;
    }
    r.Estimate = ClampSample((code & 8) ? r.Estimate - vpdiff : r.Estimate + vpdiff);
    r.Index = ClampIndex(r.Index + ImaIndexTable4[code]);
    return code;
}

inline int DecodeStep2(unsigned code, TAdpcmRegs& r) {
    const int step = ImaStepTable[r.Index];
    const int vpdiff = (step >> 5) + ((code & 1) ? step : 0);
    r.Estimate = ClampSample((code & 2) ? r.Estimate - vpdiff : r.Estimate + vpdiff);
    r.Index = ClampIndex(r.Index + AdpcmIndexTable2[code & 3]);
    return r.Estimate;
}

inline unsigned EncodeStep2(int sample, TAdpcmRegs& r) {
    const int step = ImaStepTable[r.Index];
    const int diff = sample - r.Estimate;
    unsigned code = diff < 0 ? 2 : 0;
    int vpdiff = step >> 5;
    if (std::abs(diff) >= step) {
        code |= 1;
        vpdiff += step;
    }
    r.Estimate = ClampSample((code & 2) ? r.Estimate - vpdiff : r.Estimate + vpdiff);
    r.Index = ClampIndex(r.Index + AdpcmIndexTable2[code]);
    return code;
}

// Shifts of 16 or more leave nothing of a 16-bit magnitude; the guard keeps a scale that a
// caller set out of range from shifting by more than the type holds.
inline unsigned ShiftDown(unsigned magnitude, unsigned exponent) {
    return exponent >= 16 ? 0 : magnitude >> exponent;
}

// |sample| as the 16-bit negation read unsigned, so -32768 gives 32768.
inline unsigned Magnitude(std::int16_t sample) {
    return sample < 0 ? static_cast<std::uint16_t>(-static_cast<int>(sample))
                      : static_cast<unsigned>(sample);
}

inline std::uint8_t HeaderByte(unsigned shift, unsigned scale) {
    return static_cast<std::uint8_t>(((shift & 15) << 4) | (scale & 15));
}

// A code expanded by the block's exponent. The product can exceed 16 bits (code 0x7F at an
// exponent of 8 is 2047 << 8); it saturates rather than wrapping into the opposite sign.
inline std::int16_t ExpandCode(std::uint8_t code, unsigned exponent) {
    const int magnitude = std::min(
        static_cast<int>(CompandDecodeTable[code & 127]) << std::min(exponent, 16u), 32767);
    return static_cast<std::int16_t>((code & 0x80) ? -magnitude : magnitude);
}

inline std::uint8_t HeaderPart(unsigned nibble) {
    return nibble > CompandMaxExponent ? 0 : static_cast<std::uint8_t>(nibble);
}

} // namespace

const std::array<std::uint16_t, 128> CompandDecodeTable = BuildCompandDecodeTable();
const std::array<std::uint8_t, CompandMaxMagnitude + 1> CompandEncodeTable =
    BuildCompandEncodeTable();

std::uint8_t ImaAdpcmEncode4(std::int16_t sample, TAdpcmState& state) {
    TAdpcmRegs r(state);
    const unsigned code = EncodeStep4(sample, r);
    r.StoreTo(state);
    return static_cast<std::uint8_t>(code);
}

std::int16_t ImaAdpcmDecode4(std::uint8_t code, TAdpcmState& state) {
    TAdpcmRegs r(state);
    DecodeStep4(code & 15u, r);
    r.StoreTo(state);
    return state.Estimate;
}

std::uint8_t Adpcm2Encode(std::int16_t sample, TAdpcmState& state) {
    TAdpcmRegs r(state);
    const unsigned code = EncodeStep2(sample, r);
    r.StoreTo(state);
    return static_cast<std::uint8_t>(code);
}

std::int16_t Adpcm2Decode(std::uint8_t code, TAdpcmState& state) {
    TAdpcmRegs r(state);
    DecodeStep2(code & 3u, r);
    r.StoreTo(state);
    return state.Estimate;
}

std::uint8_t CompandEncode8(std::int16_t sample, TCompandState& state) {
    const std::uint16_t remaining = state.Count;
    --state.Count;
    if (remaining == 0)
        return HeaderByte(state.Shift, state.Scale);
    if (state.Shift > 0)
        --state.Shift;
    const unsigned magnitude = Magnitude(sample);
    unsigned m = ShiftDown(magnitude, state.Shift + state.Scale);
    while (m > CompandMaxMagnitude) {
        ++state.Shift;
        m = ShiftDown(magnitude, state.Shift + state.Scale);
    }
    const std::uint8_t code = CompandEncodeTable[m];
    return sample < 0 ? static_cast<std::uint8_t>(code | 0x80) : code;
}

std::int16_t CompandDecode8(std::uint8_t byte, TCompandState& state) {
    const std::uint16_t remaining = state.Count;
    --state.Count;
    if (remaining == 0) {
        state.Shift = HeaderPart(byte >> 4);
        state.Scale = HeaderPart(byte & 15);
        return 0;
    }
    return ExpandCode(byte, state.Shift + state.Scale);
}

std::size_t ImaAdpcmDecode4Run(std::span<const std::uint8_t> codes, TAdpcmState& state,
                               std::span<std::int16_t> samples) {
    const std::size_t bytes = std::min(codes.size(), samples.size() / 2);
    TAdpcmRegs r(state);
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned byte = codes[i];
        samples[2 * i] = static_cast<std::int16_t>(DecodeStep4(byte >> 4, r));
        samples[2 * i + 1] = static_cast<std::int16_t>(DecodeStep4(byte & 15, r));
    }
    r.StoreTo(state);
    return 2 * bytes;
}

std::size_t Adpcm2DecodeRun(std::span<const std::uint8_t> codes, TAdpcmState& state,
                            std::span<std::int16_t> samples) {
    const std::size_t bytes = std::min(codes.size(), samples.size() / 4);
    TAdpcmRegs r(state);
    for (std::size_t i = 0; i < bytes; ++i) {
        const unsigned byte = codes[i];
        for (unsigned k = 0; k < 4; ++k)
            samples[4 * i + k] = static_cast<std::int16_t>(DecodeStep2(byte >> (6 - 2 * k), r));
    }
    r.StoreTo(state);
    return 4 * bytes;
}

std::size_t ImaAdpcmEncode4Run(std::span<const std::int16_t> samples, TAdpcmState& state,
                               std::span<std::uint8_t> codes) {
    const std::size_t bytes = std::min(codes.size(), (samples.size() + 1) / 2);
    TAdpcmRegs r(state);
    for (std::size_t i = 0; i < bytes; ++i) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const std::size_t at = 2 * i + k;
            byte = (byte << 4) | EncodeStep4(at < samples.size() ? samples[at] : 0, r);
        }
        codes[i] = static_cast<std::uint8_t>(byte);
    }
    r.StoreTo(state);
    return bytes;
}

std::size_t Adpcm2EncodeRun(std::span<const std::int16_t> samples, TAdpcmState& state,
                            std::span<std::uint8_t> codes) {
    const std::size_t bytes = std::min(codes.size(), (samples.size() + 3) / 4);
    TAdpcmRegs r(state);
    for (std::size_t i = 0; i < bytes; ++i) {
        unsigned byte = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t at = 4 * i + k;
            byte = (byte << 2) | EncodeStep2(at < samples.size() ? samples[at] : 0, r);
        }
        codes[i] = static_cast<std::uint8_t>(byte);
    }
    r.StoreTo(state);
    return bytes;
}

TCodecRun CompandDecodePage(std::span<const std::uint8_t> bytes, std::uint16_t samplesPerBlock,
                            std::span<std::int16_t> samples) {
    TCodecRun run;
    while (run.Consumed < bytes.size()) {
        TCompandState header;
        CompandDecode8(bytes[run.Consumed++], header);
        const unsigned exponent = header.Shift + header.Scale;
        const std::size_t wanted =
            std::min<std::size_t>(samplesPerBlock, bytes.size() - run.Consumed);
        const std::size_t length = std::min(wanted, samples.size() - run.Produced);
        const std::uint8_t* in = bytes.data() + run.Consumed;
        std::int16_t* out = samples.data() + run.Produced;
        for (std::size_t i = 0; i < length; ++i)
            out[i] = ExpandCode(in[i], exponent);
        run.Consumed += length;
        run.Produced += length;
        if (length < wanted)
            break; // the output is full
    }
    return run;
}

TCodecRun CompandEncodePage(std::span<const std::int16_t> samples, std::uint8_t scale,
                            std::uint16_t samplesPerBlock, std::span<std::uint8_t> page) {
    const unsigned fixedScale = std::min<unsigned>(scale, CompandMaxExponent);
    TCodecRun run;
    while (run.Produced < page.size()) {
        const std::size_t length =
            std::min<std::size_t>(samplesPerBlock, page.size() - run.Produced - 1);
        const std::size_t present = std::min(length, samples.size() - run.Consumed);
        const std::int16_t* in = samples.data() + run.Consumed;

        unsigned peak = 0;
        for (std::size_t i = 0; i < present; ++i)
            peak = std::max(peak, Magnitude(std::max<std::int16_t>(in[i], -32767)));
        // A shift of 4 - scale always fits, since 32767 >> 4 is 2047.
        unsigned shift = 0;
        while ((peak >> (shift + fixedScale)) > CompandMaxMagnitude)
            ++shift;

        std::uint8_t* out = page.data() + run.Produced;
        *out++ = HeaderByte(shift, fixedScale);
        for (std::size_t i = 0; i < present; ++i) {
            const std::int16_t sample = std::max<std::int16_t>(in[i], -32767);
            const std::uint8_t code = CompandEncodeTable[Magnitude(sample) >> (shift + fixedScale)];
            out[i] = sample < 0 ? static_cast<std::uint8_t>(code | 0x80) : code;
        }
        std::fill(out + present, out + length, CompandEncodeTable[0]);
        run.Consumed += present;
        run.Produced += 1 + length;
    }
    return run;
}
