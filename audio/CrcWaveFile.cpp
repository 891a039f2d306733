#include "audio/CrcWaveFile.h"

std::int32_t TCrcWaveFile::Write(const void* data, std::int32_t count) {
    if (count > 0 && data != nullptr)
        Crc.Update(data, static_cast<std::size_t>(count));
    return TWaveFile::Write(data, count);
}
