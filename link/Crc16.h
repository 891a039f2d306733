#pragma once

#include <cstdint>

// CRC-16, polynomial 0x1021, most significant bit first, no reflection and no final XOR.
// Chainable: each piece's result is the start value of the next piece.
std::uint16_t Crc16Update(const void* data, std::uint32_t length, std::uint16_t start);
