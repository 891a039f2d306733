#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 184-byte command frame the recorder and the host exchange over SPI:
//
// bytes    | content
// ---------+-------------------------------------------------------------
// 0        | status: 0 in a command; in a reply 0 done, 2 or 4 error
// 1        | command code
// 2-5      | u32 data size, at most 128
// 6-...    | data; the rest up to byte 179 is zero here (covered by the CRC)
// 180-181  | u16 FrameCrc16 over bytes 0-179
// 182-183  | 0
//
// Replies come as a non-zero byte, bits holding the marker 80 40 20 10, then the frame,
// at whatever bit phase the recorder happened to send them.

constexpr std::size_t SpiFrameSize = 184;
constexpr std::size_t SpiFrameStatusOfs = 0;
constexpr std::size_t SpiFrameCommandOfs = 1;
constexpr std::size_t SpiFrameSizeOfs = 2;
constexpr std::size_t SpiFrameDataOfs = 6;
constexpr std::size_t SpiFrameCrcOfs = 180;
constexpr std::uint32_t SpiFrameMaxData = 128;
static_assert(SpiFrameDataOfs + SpiFrameMaxData <= SpiFrameCrcOfs);
static_assert(SpiFrameCrcOfs + 2 + 2 == SpiFrameSize);

using TSpiFrame = std::array<std::uint8_t, SpiFrameSize>;

constexpr std::uint32_t SpiReplyMarker = 0x80402010;
constexpr std::uint16_t FrameCrcStart = 0x36E2;

// Control bits that precede a command frame (64) and a bulk write chunk (16).
constexpr std::array<std::uint8_t, 8> SpiCommandPreamble = {0xAA, 0xAA, 0xAA, 0xAA,
                                                            0xAA, 0xAA, 0xAA, 0xAA};
constexpr std::array<std::uint8_t, 2> SpiChunkPreamble = {0xAA, 0xAA};

// CRC-16 of the frame: polynomial 0x1021, most significant bit first, start 0x36E2, every
// input byte bit-reversed before it enters the register, no final XOR.
std::uint16_t FrameCrc16(const std::uint8_t* data, std::size_t length);

// A command frame; size is clamped to SpiFrameMaxData (the caller checks it first).
TSpiFrame BuildCommandFrame(std::uint8_t command, const std::uint8_t* data, std::uint32_t size);

// Finds the marker in bytes 1 to 8 of buffer and shifts the whole buffer so that what
// follows the marker starts on a byte boundary, at frameStart. Of several matching shifts
// the one that puts the marker earliest wins. Returns false, leaving the buffer as it was,
// when the marker is not there (or the buffer is shorter than 9 bytes).
bool AlignReply(std::uint8_t* buffer, std::size_t size, std::size_t& frameStart);
