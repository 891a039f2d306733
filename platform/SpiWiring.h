#pragma once

#include <cstdint>

// How the recorder's SPI adapter is wired and clocked. Every choice the link and the
// backends share lives here, so a change of wiring is a change of one file.
//
// ADBUS pin | role                     | direction
// ----------+--------------------------+----------
//     0     | SCK, idle low            | out
//     1     | MOSI (chip DO)           | out
//     2     | MISO (chip DI)           | in
//     3     | chip select, active low  | out
//
// Bits go out most significant first and change on the falling edge (SPI mode 0). They are
// read on the falling edge too: the recorder answers with its own bit phase (the link
// realigns every reply on its marker), and this is the edge its adapter has always used.

constexpr bool SpiMsbFirst = true;
constexpr bool SpiWriteOnRisingEdge = false;
constexpr bool SpiReadOnRisingEdge = false;

constexpr std::uint8_t SpiPinSck = 0x01;
constexpr std::uint8_t SpiPinMosi = 0x02;
constexpr std::uint8_t SpiPinMiso = 0x04;
constexpr std::uint8_t SpiPinChipSelect = 0x08;
constexpr bool SpiChipSelectActiveLow = true;

// SCK = base / ((1 + divisor) * 2). The hi-speed chips run their engine at 60 MHz, or 12 MHz
// with the divide-by-5 switch on. The link opens the adapter with divisor 2: SCK 10 MHz.
constexpr std::uint32_t SpiBaseClockHz = 60'000'000;
constexpr std::uint32_t SpiDividedBaseClockHz = 12'000'000;
constexpr std::uint8_t SpiLinkClockDivisor = 2;

constexpr std::uint32_t SpiClockHz(std::uint32_t baseHz, std::uint32_t divisor) {
    return baseHz / ((1 + divisor) * 2);
}

// The adapter chips: vendor 0x0403 and the hi-speed products with an MPSSE.
constexpr std::uint16_t FtdiVendorId = 0x0403;
constexpr std::uint16_t FtdiProductFt2232H = 0x6010; // shared with the full-speed FT2232D
constexpr std::uint16_t FtdiProductFt4232H = 0x6011;
constexpr std::uint16_t FtdiProductFt232H = 0x6014;
