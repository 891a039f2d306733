#pragma once

#include <array>
#include <cstdint>

// The watermark's records: the 53-byte configuration of a mark stream and the 64-byte mark
// record with its CRC-16 and its scrambled form.

struct TMarkTone {
    float Frequency = 0; // Hz
    std::uint16_t Amplitude = 0;
};

// Wire layout, little-endian:
//   0 identity (20 x 8-bit, NUL-padded)  20 u8 flags      21 u32 record time
//  25 u16 sample rate   27 u8 channels   28 u8 bits        29 u8 information byte A
//  30 u32 0             34 u8 information byte B
//  35 f32/u16 tone 1    41 f32/u16 tone 2                  47 f32/u16 tone 3
struct TMarkConfig {
    static constexpr int Size = 53;
    static constexpr std::uint8_t FlagFrameRecords = 1; // a record before and after the audio

    std::array<std::uint8_t, 20> Identity{};
    std::uint8_t Flags = 0;
    std::uint32_t RecordTime = 0;
    std::uint16_t SampleRate = 0;
    std::uint8_t Channels = 0;
    std::uint8_t BitsPerSample = 0;
    std::uint8_t InfoA = 0;
    std::uint32_t Reserved = 0;
    std::uint8_t InfoB = 0;
    std::array<TMarkTone, 3> Tones{};
};

std::array<std::uint8_t, TMarkConfig::Size> EncodeMarkConfig(const TMarkConfig& config);
TMarkConfig DecodeMarkConfig(const std::uint8_t* bytes53);

// Plain layout, little-endian:
//   0 u16 0xFFFF   2 identity (20)   22 u32 record time   26 f32 x 3 tone frequencies
//  38 u32 block counter   42 u32 byte counter   46 u8 byte A   47 u8 byte B
//  48 14 zero bytes       62 u16 CRC-16 (start 0xA269) of bytes 0 to 61
struct TMarkRecord {
    static constexpr int Size = 64;
    static constexpr int CrcOffset = 62;
    static constexpr std::uint16_t CrcStart = 0xA269;

    std::array<std::uint8_t, 20> Identity{};
    std::uint32_t RecordTime = 0;
    std::array<float, 3> Frequencies{};
    std::uint32_t BlockCounter = 0;
    std::uint32_t ByteCounter = 0;
    std::uint8_t InfoA = 0;
    std::uint8_t InfoB = 0;
};

using TMarkBytes = std::array<std::uint8_t, TMarkRecord::Size>;

// The plain 64 bytes with a fresh CRC word.
TMarkBytes EncodeMarkRecord(const TMarkRecord& record);
TMarkRecord DecodeMarkRecord(const TMarkBytes& plain);
std::uint16_t MarkRecordCrc(const TMarkBytes& plain);
bool MarkRecordCrcIsValid(const TMarkBytes& plain);

// Scrambled form: the CRC word w becomes NOT(w XOR 0x5555), then every byte goes through the
// substitution table.
TMarkBytes ScrambleMarkRecord(const TMarkRecord& record);
// The plain bytes of a scrambled record; check them with MarkRecordCrcIsValid.
TMarkBytes UnscrambleMarkRecord(const std::uint8_t* scrambled64);

// The mark substitution table (a fixed permutation of 0..255) and its inverse.
const std::array<std::uint8_t, 256>& MarkSubstitutionTable();
const std::array<std::uint8_t, 256>& MarkInverseSubstitutionTable();
