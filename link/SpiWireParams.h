#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The parameters of the two bulk streams as they travel in a command frame, little-endian.

// FLASH_READ (command 2): unit i is UnitSize bytes from byte Offset of page
// PageAddr + i * AddrInc; the recorder sends them in packets of ChunkSize data bytes.
//
// bytes | field
// ------+----------------------------------------------
// 0-3   | u32 PageAddr
// 4-7   | u32 Cycles, number of units
// 8-11  | u32 UnitSize: Count rounded up to a multiple of 32
// 12-15 | u32 Offset within the page
// 16-19 | u32 AddrInc
// 20-21 | u16 ChunkSize
struct TFlashReadParams {
    static constexpr std::size_t Size = 22;
    std::uint32_t PageAddr = 0;
    std::uint32_t Cycles = 0;
    std::uint32_t UnitSize = 0;
    std::uint32_t Offset = 0;
    std::uint32_t AddrInc = 0;
    std::uint16_t ChunkSize = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TFlashReadParams FromBytes(const std::uint8_t* bytes);
};

// FLASH_WRITE (command 3): TotalCount bytes of whole pages from PageAddr on, sent in chunks
// of ChunkSize bytes (the last one shorter when the total asks for it).
//
// bytes | field
// ------+----------------------------------------------
// 0-3   | u32 PageAddr
// 4-7   | u32 Cycles, number of pages
// 8-11  | u32 TotalCount
// 12-13 | u16 ChunkSize
struct TFlashWriteParams {
    static constexpr std::size_t Size = 14;
    std::uint32_t PageAddr = 0;
    std::uint32_t Cycles = 0;
    std::uint32_t TotalCount = 0;
    std::uint16_t ChunkSize = 0;
    std::array<std::uint8_t, Size> ToBytes() const;
    static TFlashWriteParams FromBytes(const std::uint8_t* bytes);
};

// A bulk read packet: a non-zero byte, the marker within its next 8 bytes, then ChunkSize
// data bytes. The host realigns ChunkSize + 10 bytes of it and resumes its scan
// ChunkSize + 11 bytes after the packet's first byte.
constexpr std::size_t BulkPacketAlignBytes = 10;
constexpr std::size_t BulkPacketFootprint = 11;

// The bulk read fetches the stream in windows of this many bytes.
constexpr std::size_t BulkReadWindowBytes = 61440;
