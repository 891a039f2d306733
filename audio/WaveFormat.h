#pragma once

#include <array>
#include <cstdint>

constexpr std::uint16_t WaveFormatPcm = 1;
constexpr std::uint16_t WaveFormatImaAdpcm = 0x11;

// The extended wave-format record with room for extra format bytes. On disk it is the body
// of the "fmt " chunk, little-endian: tag, channels, rate, average rate, block align, bits
// (16 bytes), then the extra size and the extra bytes.
struct TWaveFormat {
    static constexpr int AreaSize = 148;
    static constexpr int BaseSize = 16;     // the plain PCM record
    static constexpr int ExtendedSize = 18; // with the extra size
    static constexpr int MaxExtraBytes = AreaSize - ExtendedSize;

    std::uint16_t FormatTag = WaveFormatPcm;
    std::uint16_t Channels = 1;
    std::uint32_t SamplesPerSec = 8000;
    std::uint32_t AvgBytesPerSec = 16000;
    std::uint16_t BlockAlign = 2;
    std::uint16_t BitsPerSample = 16;
    std::uint16_t ExtraSize = 0;
    std::array<std::uint8_t, MaxExtraBytes> Extra{};

    bool operator==(const TWaveFormat&) const = default;
};

// Serialises the whole 148-byte area.
void WriteWaveFormat(const TWaveFormat& format, std::uint8_t* out148);
// Reads the first size bytes of a "fmt " body (at most 148); missing fields read as 0.
TWaveFormat ReadWaveFormat(const std::uint8_t* in, int size);

// Fills a PCM format; false for a missing record.
bool SetPcmFormat(TWaveFormat* format, std::uint16_t channels, std::uint32_t samplesPerSec,
                  std::uint16_t bitsPerSample);

// The size of the format record a new file stores for the tag; -1 for a tag we do not write.
int WaveFormatRecordSize(std::uint16_t formatTag);
