#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of downloads and their check words: reflected polynomial 0xEDB88320, start
// value 0x3268A97E, no final XOR. The register is the result.
class TCrc32 {
public:
    static constexpr std::uint32_t InitialValue = 0x3268A97E;

    TCrc32() = default;

    void Reset() { Register = InitialValue; }
    // Runs the register over the bytes and gives its new value.
    std::uint32_t Update(const void* data, std::size_t count);
    std::uint32_t GetValue() const { return Register; }

private:
    std::uint32_t Register = InitialValue;
};

// One entry of the byte-wise table: n shifted right eight times through the polynomial.
std::uint32_t Crc32TableEntry(std::uint8_t n);
