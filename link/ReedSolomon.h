#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// RS(255, 249) over GF(2^8) for the files of the flash-drive area: 249 data bytes and six
// parity bytes per codeword, up to three wrong bytes corrected.
//
// Field: polynomial x^8 + x^4 + x^3 + x^2 + 1 (0x11D), primitive element alpha = 2.
// Generator: (x - alpha)(x - alpha^2)...(x - alpha^6).
// Codeword byte k is the coefficient of x^k: bytes 0-5 parity, data byte i at byte 254 - i.
// A page holds one codeword per 256-byte slot, in the slot's bytes 0-254.

constexpr std::size_t RsCodewordSize = 255;
constexpr std::size_t RsDataSize = 249;
constexpr std::size_t RsParitySize = 6;
constexpr std::size_t RsSlotSize = 256;

// Decoder status: 0 clean, 1 to 3 that many byte errors corrected, 4 not correctable.
constexpr int RsMaxCorrectable = 3;
constexpr int RsUncorrectable = 4;

// GfExp[i] = alpha^i for i = 0..254 and GfExp[255] = 1; GfLog[x] = i with alpha^i = x for
// x = 1..255, GfLog[0] = 255 (never used as a logarithm).
extern const std::array<std::uint8_t, 256> GfExp;
extern const std::array<std::uint8_t, 256> GfLog;
// Coefficients of x^0..x^5 of the monic generator.
extern const std::array<std::uint8_t, RsParitySize> RsGenerator;

std::uint8_t GfMul(std::uint8_t a, std::uint8_t b);
// Zero has no inverse; GfInv(0) gives 0.
std::uint8_t GfInv(std::uint8_t a);
// GfPow(0, n) = 0 for every n; any other a to the power 0 is 1.
std::uint8_t GfPow(std::uint8_t a, std::uint32_t n);

void RsEncodeBlock(std::span<const std::uint8_t, RsDataSize> data,
                   std::span<std::uint8_t, RsCodewordSize> codeword);

// Writes the corrected data and returns the status. An uncorrectable codeword gives status 4
// and the data exactly as stored.
int RsDecodeBlock(std::span<const std::uint8_t, RsCodewordSize> codeword,
                  std::span<std::uint8_t, RsDataSize> data);

// S_j = c(alpha^j), j = 1..6; all zero exactly for a codeword.
std::array<std::uint8_t, RsParitySize>
RsSyndromes(std::span<const std::uint8_t, RsCodewordSize> codeword);

// Page helpers over as many slots as both buffers hold: 249 data bytes per slot on one side,
// 256 page bytes per slot on the other. Byte 255 of every slot is left as the caller filled it.
std::size_t RsSlotCount(std::size_t dataBytes, std::size_t pageBytes);
void RsEncodePage(std::span<const std::uint8_t> data, std::span<std::uint8_t> page);
// Returns the worst slot status (0 when there is no slot).
int RsDecodePage(std::span<const std::uint8_t> page, std::span<std::uint8_t> data);
