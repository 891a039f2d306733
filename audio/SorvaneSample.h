#pragma once

#include <cstdint>

// The raw export's file: a 128-byte header whose first u32 (little-endian) is the whole
// file's length, then the 11150 Hz audio as 12-bit values offset by 2048 in 16-bit words.
constexpr std::uint32_t SorvaneHeaderSize = 128;
constexpr std::uint32_t SorvaneSampleRate = 11150;

// A signed 16-bit sample as the analysis program reads it: s / 16 truncated toward zero,
// plus 2048, so 0 to 4095.
constexpr std::uint16_t ToSorvaneSample(std::int16_t sample) {
    return static_cast<std::uint16_t>(sample / 16 + 2048);
}
