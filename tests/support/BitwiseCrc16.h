#pragma once

#include <cstddef>
#include <cstdint>

namespace testsupport {

// CRC-16 with polynomial 0x1021, most significant bit first, no final XOR, computed bit by
// bit from the polynomial alone: independent of the table-driven code under test.
inline std::uint16_t BitwiseCrc16(const void* data, std::size_t size, std::uint16_t reg) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        reg ^= static_cast<std::uint16_t>(p[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? static_cast<std::uint16_t>((reg << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(reg << 1);
    }
    return reg;
}

} // namespace testsupport
