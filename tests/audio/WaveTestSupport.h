#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "platform/ByteOrder.h"
#include "tests/support/TempDir.h"

// Helpers shared by the WAV, watermark and sink tests.
namespace wavetest {

using testsupport::TTempDir;

inline std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Our CRC-32 register through zlib, which starts from and ends with an inverted register.
inline std::uint32_t ZlibRegister(const std::uint8_t* data, std::size_t size,
                                  std::uint32_t start = 0x3268A97E) {
    if (size == 0)
        return start; // zlib answers a null buffer with its own initial value
    return static_cast<std::uint32_t>(crc32(start ^ 0xFFFFFFFFu, data, static_cast<uInt>(size))) ^
           0xFFFFFFFFu;
}

// Runs a command and gives what it printed on standard output; empty when it failed.
inline std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[512];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    if (::pclose(pipe) != 0)
        return std::string();
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

inline bool ToolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Little-endian 16-bit samples as bytes.
inline std::vector<std::uint8_t> SampleBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        PutI16(bytes.data() + 2 * i, samples[i]);
    return bytes;
}

inline std::vector<std::int16_t> Samples(const std::uint8_t* bytes, std::size_t size) {
    std::vector<std::int16_t> samples(size / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = GetI16(bytes + 2 * i);
    return samples;
}

} // namespace wavetest
