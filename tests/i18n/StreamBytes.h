#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds constants streams byte by byte in the tests, independently of the stream writer.
class TStreamBytes {
public:
    TStreamBytes& Byte(std::uint8_t value) {
        Bytes.push_back(value);
        return *this;
    }
    TStreamBytes& U16(std::uint16_t value) {
        Bytes.push_back(static_cast<std::uint8_t>(value));
        Bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        return *this;
    }
    TStreamBytes& I32(std::int32_t value) {
        auto v = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            Bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    // Count in bytes, then the bytes as given (an 8-bit string in some code page).
    TStreamBytes& Narrow(const std::string& bytes) {
        U16(static_cast<std::uint16_t>(bytes.size()));
        Bytes.insert(Bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Count in UTF-16 units, then the units.
    TStreamBytes& Wide(const std::u16string& units) {
        U16(static_cast<std::uint16_t>(units.size()));
        for (char16_t unit : units)
            U16(unit);
        return *this;
    }

    std::vector<std::uint8_t> Bytes;
};
