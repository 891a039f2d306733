#include "link/Crc16.h"

#include <array>

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned reg = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? ((reg << 1) ^ 0x1021) : (reg << 1);
        table[i] = static_cast<std::uint16_t>(reg);
    }
    return table;
}

constexpr auto Crc16Table = MakeCrc16Table();
static_assert(Crc16Table[1] == 0x1021 && Crc16Table[2] == 0x2042 && Crc16Table[255] == 0x1EF0);

} // namespace

std::uint16_t Crc16Update(const void* data, std::uint32_t length, std::uint16_t start) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint16_t reg = start;
    for (std::uint32_t i = 0; i < length; ++i)
        reg = static_cast<std::uint16_t>((reg << 8) ^ Crc16Table[((reg >> 8) ^ bytes[i]) & 0xFF]);
    return reg;
}
