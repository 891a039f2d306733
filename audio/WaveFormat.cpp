#include "audio/WaveFormat.h"

#include <algorithm>
#include <cstring>

#include "platform/ByteOrder.h"

void WriteWaveFormat(const TWaveFormat& f, std::uint8_t* out) {
    PutU16(out + 0, f.FormatTag);
    PutU16(out + 2, f.Channels);
    PutU32(out + 4, f.SamplesPerSec);
    PutU32(out + 8, f.AvgBytesPerSec);
    PutU16(out + 12, f.BlockAlign);
    PutU16(out + 14, f.BitsPerSample);
    PutU16(out + 16, f.ExtraSize);
    std::memcpy(out + TWaveFormat::ExtendedSize, f.Extra.data(), f.Extra.size());
}

TWaveFormat ReadWaveFormat(const std::uint8_t* in, int size) {
    std::uint8_t area[TWaveFormat::AreaSize] = {};
    std::memcpy(area, in, static_cast<std::size_t>(std::clamp(size, 0, TWaveFormat::AreaSize)));
    TWaveFormat f;
    f.FormatTag = GetU16(area + 0);
    f.Channels = GetU16(area + 2);
    f.SamplesPerSec = GetU32(area + 4);
    f.AvgBytesPerSec = GetU32(area + 8);
    f.BlockAlign = GetU16(area + 12);
    f.BitsPerSample = GetU16(area + 14);
    f.ExtraSize = GetU16(area + 16);
    std::memcpy(f.Extra.data(), area + TWaveFormat::ExtendedSize, f.Extra.size());
    return f;
}

bool SetPcmFormat(TWaveFormat* format, std::uint16_t channels, std::uint32_t samplesPerSec,
                  std::uint16_t bitsPerSample) {
    if (format == nullptr)
        return false;
    format->FormatTag = WaveFormatPcm;
    format->Channels = channels;
    format->SamplesPerSec = samplesPerSec;
    format->BitsPerSample = bitsPerSample;
    format->BlockAlign = static_cast<std::uint16_t>(((bitsPerSample + 7) >> 3) * channels);
    format->AvgBytesPerSec = format->BlockAlign * samplesPerSec;
    format->ExtraSize = 0;
    return true;
}

int WaveFormatRecordSize(std::uint16_t formatTag) {
    switch (formatTag) {
    case WaveFormatPcm:
        return TWaveFormat::BaseSize;
    case WaveFormatImaAdpcm:
        return TWaveFormat::ExtendedSize + 2; // the extra word: samples per block
    default:
        return -1;
    }
}
