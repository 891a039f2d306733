#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/WaveFormat.h"

// Turns the sample data of a PCM WAV file into what the caller-ID decoder takes: signed 16-bit
// mono at 4000 to 40000 Hz. Channels are averaged, 8-bit samples widened, 24- and 32-bit
// samples cut to their upper 16 bits, and rates above 40000 Hz reduced by the smallest whole
// factor (averaging that many frames). Bytes of an incomplete frame wait for the next block.
class TSoundInfoFeed {
public:
    static constexpr std::int32_t MinDecoderRate = 4000;
    static constexpr std::int32_t MaxDecoderRate = 40000;

    explicit TSoundInfoFeed(const TWaveFormat& format);

    // False for a format the decoder cannot be fed from (compressed, odd sample sizes,
    // a rate below 4000 Hz, a block align that does not fit the channels).
    bool IsUsable() const { return Usable; }
    // The rate of the converted samples.
    std::int32_t GetOutputRate() const { return OutputRate; }
    // Appends the converted samples of the next bytes of the data chunk to out.
    void Convert(const std::uint8_t* data, std::size_t count, std::vector<std::int16_t>& out);

private:
    std::int32_t FrameValue(const std::uint8_t* frame) const;
    std::int32_t SampleValue(const std::uint8_t* sample) const;

    bool Usable = false;
    unsigned Channels = 0;
    unsigned BytesPerSample = 0;
    unsigned FrameSize = 0;
    unsigned Decimation = 1;
    std::int32_t OutputRate = 0;
    std::vector<std::uint8_t> PartialFrame;
    std::int64_t DecimationSum = 0;
    unsigned DecimationCount = 0;
};
