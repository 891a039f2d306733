#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/RiffFile.h"
#include "platform/SystemTime.h"

// The private chunk of our WAV files, bytes 0x21 0x08 0x19 0x62 in file order.
constexpr std::uint32_t WaveAddInfoChunkId = MakeFourCc('\x21', '\x08', '\x19', '\x62');
// Larger private chunks are refused when a file is opened.
constexpr std::int32_t WaveAddInfoMaxSize = 64 * 1024;

// The add-info record, versions 1 to 5 told apart by their size:
//   v1  46: u32 check word, serial (21 x 8-bit), model (21 x 8-bit)
//   v2  62: v1, SYSTEMTIME at 46
//   v3 104: u32 check word, serial (21 x UTF-16), model (21 x UTF-16), SYSTEMTIME at 88
//   v4 168: v3, scrambled mark record at 104 (64 bytes)
//   v5 170: v4, u16 source compression at 168
constexpr std::array<std::int32_t, 6> WaveAddInfoSizes = {0, 46, 62, 104, 168, 170};
constexpr int WaveAddInfoTextUnits = 21; // 20 characters and a NUL
constexpr int WaveAddInfoMarkOffset = 104;
constexpr int WaveAddInfoMarkSize = 64;
static_assert(4 + 2 * WaveAddInfoTextUnits + 16 == WaveAddInfoSizes[2]);
static_assert(4 + 4 * WaveAddInfoTextUnits + 16 == WaveAddInfoSizes[3]);
static_assert(WaveAddInfoMarkOffset + WaveAddInfoMarkSize == WaveAddInfoSizes[4]);
static_assert(WaveAddInfoSizes[4] + 2 == WaveAddInfoSizes[5]);

struct TWaveAddInfo {
    int Version = 5;             // 0: no known record
    std::uint32_t CheckWord = 0; // as stored
    // 8-bit texts of versions 1 and 2 are widened byte by byte.
    std::u16string SerialNumber;
    std::u16string ModelName;
    TSystemTime RecordTime{};
    std::array<std::uint8_t, WaveAddInfoMarkSize> MarkRecord{};
    std::uint16_t SourceCompression = 0;
    // Which fields of a record cut short were there to be read.
    bool CheckWordRead = true;
    bool RecordTimeRead = true;
    bool SourceCompressionRead = true;
};

// 1 to 5 for the sizes above, 0 for any other.
int WaveAddInfoVersion(std::int32_t size);
TWaveAddInfo ParseWaveAddInfo(const std::uint8_t* data, std::int32_t size);
// A record of which the file holds only the first heldSize bytes of the statedSize its chunk
// states (a file cut short): the version follows the stated size, and only the fields whose
// bytes are there are read.
TWaveAddInfo ParseWaveAddInfo(const std::uint8_t* data, std::int32_t heldSize,
                              std::int32_t statedSize);
// The record in the version the info names (1 to 5); empty for another version. Texts are cut
// to 20 characters; 8-bit versions store '?' for a character above 0xFF.
std::vector<std::uint8_t> BuildWaveAddInfo(const TWaveAddInfo& info);

// Versions 4 and 5 store NOT(CRC XOR 0x55555555), the older ones the CRC itself.
std::uint32_t EncodeWaveCheckWord(int version, std::uint32_t crc);
bool WaveCheckWordMatches(int version, std::uint32_t stored, std::uint32_t crc);

// In-place updates of a raw record; false when its version has no such field.
bool StoreWaveAddInfoCheckWord(std::vector<std::uint8_t>& record, std::uint32_t crc);
bool StoreWaveAddInfoMarkRecord(std::vector<std::uint8_t>& record, const std::uint8_t* mark64);
// The recording's time of a raw record; false for version 0 and 1.
bool ReadWaveAddInfoTime(const std::vector<std::uint8_t>& record, TSystemTime& time);
