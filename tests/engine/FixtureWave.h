#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "FixtureBytes.h"

namespace fixture {

// A RIFF WAVE file written byte by byte, apart from the program's writer: "fmt " of 16 bytes,
// then "data" with the samples.
inline void WriteWave(const std::string& path, const std::vector<std::int16_t>& samples,
                      std::uint32_t rate, std::uint16_t channels = 1, std::uint16_t bits = 16) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    Bytes file(44);
    std::memcpy(&file[0], "RIFF", 4);
    Put32(&file[4], 36 + dataBytes);
    std::memcpy(&file[8], "WAVEfmt ", 8);
    Put32(&file[16], 16);
    Put16(&file[20], 1);
    Put16(&file[22], channels);
    Put32(&file[24], rate);
    Put32(&file[28], rate * channels * bits / 8);
    Put16(&file[32], channels * bits / 8);
    Put16(&file[34], bits);
    std::memcpy(&file[36], "data", 4);
    Put32(&file[40], dataBytes);
    for (std::int16_t s : samples) {
        file.push_back(static_cast<std::uint8_t>(s));
        file.push_back(static_cast<std::uint8_t>(static_cast<std::uint16_t>(s) >> 8));
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

} // namespace fixture
