#include "audio/WaveAddInfo.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

namespace {

constexpr int SerialOffset = 4;
constexpr int NarrowModelOffset = SerialOffset + WaveAddInfoTextUnits;
constexpr int NarrowTimeOffset = NarrowModelOffset + WaveAddInfoTextUnits;
constexpr int WideModelOffset = SerialOffset + 2 * WaveAddInfoTextUnits;
constexpr int WideTimeOffset = WideModelOffset + 2 * WaveAddInfoTextUnits;
constexpr int SourceCompressionOffset = WaveAddInfoMarkOffset + WaveAddInfoMarkSize;
static_assert(NarrowTimeOffset == 46 && WideModelOffset == 46 && WideTimeOffset == 88);

bool IsWide(int version) {
    return version >= 3;
}
int TimeOffset(int version) {
    return IsWide(version) ? WideTimeOffset : NarrowTimeOffset;
}

std::u16string ReadNarrowText(const std::uint8_t* p) {
    std::u16string text;
    for (int i = 0; i < WaveAddInfoTextUnits && p[i] != 0; ++i)
        text.push_back(static_cast<char16_t>(p[i]));
    return text;
}

std::u16string ReadWideText(const std::uint8_t* p) {
    std::u16string text;
    for (int i = 0; i < WaveAddInfoTextUnits; ++i) {
        const char16_t c = static_cast<char16_t>(GetU16(p + 2 * i));
        if (c == 0)
            break;
        text.push_back(c);
    }
    return text;
}

void WriteNarrowText(std::uint8_t* p, const std::u16string& text) {
    const std::size_t n = std::min<std::size_t>(text.size(), WaveAddInfoTextUnits - 1);
    for (std::size_t i = 0; i < n; ++i)
        p[i] = text[i] <= 0xFF ? static_cast<std::uint8_t>(text[i]) : '?';
}

void WriteWideText(std::uint8_t* p, const std::u16string& text) {
    const std::size_t n = std::min<std::size_t>(text.size(), WaveAddInfoTextUnits - 1);
    for (std::size_t i = 0; i < n; ++i)
        PutU16(p + 2 * i, text[i]);
}

} // namespace

int WaveAddInfoVersion(std::int32_t size) {
    for (int version = 1; version < static_cast<int>(WaveAddInfoSizes.size()); ++version)
        if (WaveAddInfoSizes[version] == size)
            return version;
    return 0;
}

TWaveAddInfo ParseWaveAddInfo(const std::uint8_t* data, std::int32_t size) {
    return ParseWaveAddInfo(data, size, size);
}

TWaveAddInfo ParseWaveAddInfo(const std::uint8_t* data, std::int32_t heldSize,
                              std::int32_t statedSize) {
    TWaveAddInfo info;
    info.Version = data != nullptr && heldSize >= 0 && heldSize <= statedSize
                       ? WaveAddInfoVersion(statedSize)
                       : 0;
    if (info.Version == 0)
        return info;
    // A field is read only when all its bytes are there.
    auto has = [heldSize](int offset, int size) { return offset + size <= heldSize; };
    const int textSize = IsWide(info.Version) ? 2 * WaveAddInfoTextUnits : WaveAddInfoTextUnits;
    const int modelOffset = IsWide(info.Version) ? WideModelOffset : NarrowModelOffset;
    info.CheckWordRead = has(0, 4);
    if (info.CheckWordRead)
        info.CheckWord = GetU32(data);
    if (has(SerialOffset, textSize))
        info.SerialNumber = IsWide(info.Version) ? ReadWideText(data + SerialOffset)
                                                 : ReadNarrowText(data + SerialOffset);
    if (has(modelOffset, textSize))
        info.ModelName = IsWide(info.Version) ? ReadWideText(data + modelOffset)
                                              : ReadNarrowText(data + modelOffset);
    info.RecordTimeRead = info.Version >= 2 && has(TimeOffset(info.Version), 16);
    if (info.RecordTimeRead)
        info.RecordTime = ReadSystemTime(data + TimeOffset(info.Version));
    if (info.Version >= 4 && has(WaveAddInfoMarkOffset, WaveAddInfoMarkSize))
        std::memcpy(info.MarkRecord.data(), data + WaveAddInfoMarkOffset, WaveAddInfoMarkSize);
    info.SourceCompressionRead = info.Version >= 5 && has(SourceCompressionOffset, 2);
    if (info.SourceCompressionRead)
        info.SourceCompression = GetU16(data + SourceCompressionOffset);
    return info;
}

std::vector<std::uint8_t> BuildWaveAddInfo(const TWaveAddInfo& info) {
    if (info.Version < 1 || info.Version > 5)
        return {};
    std::vector<std::uint8_t> record(static_cast<std::size_t>(WaveAddInfoSizes[info.Version]), 0);
    std::uint8_t* p = record.data();
    PutU32(p, info.CheckWord);
    if (IsWide(info.Version)) {
        WriteWideText(p + SerialOffset, info.SerialNumber);
        WriteWideText(p + WideModelOffset, info.ModelName);
    } else {
        WriteNarrowText(p + SerialOffset, info.SerialNumber);
        WriteNarrowText(p + NarrowModelOffset, info.ModelName);
    }
    if (info.Version >= 2)
        WriteSystemTime(info.RecordTime, p + TimeOffset(info.Version));
    if (info.Version >= 4)
        std::memcpy(p + WaveAddInfoMarkOffset, info.MarkRecord.data(), WaveAddInfoMarkSize);
    if (info.Version >= 5)
        PutU16(p + SourceCompressionOffset, info.SourceCompression);
    return record;
}

std::uint32_t EncodeWaveCheckWord(int version, std::uint32_t crc) {
    return version >= 4 ? ~(crc ^ 0x55555555u) : crc;
}

bool WaveCheckWordMatches(int version, std::uint32_t stored, std::uint32_t crc) {
    // The transform of versions 4 and 5 is its own inverse.
    return version >= 1 && EncodeWaveCheckWord(version, stored) == crc;
}

bool StoreWaveAddInfoCheckWord(std::vector<std::uint8_t>& record, std::uint32_t crc) {
    const int version = WaveAddInfoVersion(static_cast<std::int32_t>(record.size()));
    if (version == 0)
        return false;
    PutU32(record.data(), EncodeWaveCheckWord(version, crc));
    return true;
}

bool StoreWaveAddInfoMarkRecord(std::vector<std::uint8_t>& record, const std::uint8_t* mark64) {
    const int version = WaveAddInfoVersion(static_cast<std::int32_t>(record.size()));
    if (version < 4 || mark64 == nullptr)
        return false;
    std::memcpy(record.data() + WaveAddInfoMarkOffset, mark64, WaveAddInfoMarkSize);
    return true;
}

bool ReadWaveAddInfoTime(const std::vector<std::uint8_t>& record, TSystemTime& time) {
    const int version = WaveAddInfoVersion(static_cast<std::int32_t>(record.size()));
    if (version < 2)
        return false;
    time = ReadSystemTime(record.data() + TimeOffset(version));
    return true;
}
