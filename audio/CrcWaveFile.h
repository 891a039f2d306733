#pragma once

#include "audio/Crc.h"
#include "audio/Wavefunc.h"

// A WAV file whose writes also run a CRC-32 over every data byte: the file of a download.
class TCrcWaveFile : public TWaveFile {
public:
    std::int32_t Write(const void* data, std::int32_t count) override;

    std::uint32_t GetCrc() const { return Crc.GetValue(); }
    void ResetCrc() { Crc.Reset(); }

private:
    TCrc32 Crc;
};
