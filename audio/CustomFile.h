#pragma once

#include <cstdint>

// The output sink a recording read writes its 16-bit PCM into.
class TCustomFile {
public:
    virtual ~TCustomFile() = default;
    virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
    // The bytes taken; 0 means failure and makes the reader stop.
    virtual std::int32_t Write(const void* data, std::int32_t count) = 0;
};
