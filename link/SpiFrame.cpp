#include "link/SpiFrame.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace {

constexpr std::uint8_t ReverseBits(std::uint8_t b) {
    std::uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1u << i))
            r = static_cast<std::uint8_t>(r | (0x80u >> i));
    return r;
}

// The register after byte b << 8 is shifted through the polynomial eight times.
constexpr std::array<std::uint16_t, 256> CrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        auto reg = static_cast<std::uint16_t>(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x8000) ? static_cast<std::uint16_t>((reg << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(reg << 1);
        table[b] = reg;
    }
    return table;
}();

constexpr std::array<std::uint8_t, 256> ReversedByte = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b)
        table[b] = ReverseBits(static_cast<std::uint8_t>(b));
    return table;
}();

// The marker can only sit at shifts 0 to 32 of the 64-bit window: beyond, its top bit
// would fall off.
constexpr int MaxMarkerShift = 32;

} // namespace

std::uint16_t FrameCrc16(const std::uint8_t* data, std::size_t length) {
    std::uint16_t reg = FrameCrcStart;
    for (std::size_t i = 0; i < length; ++i)
        reg = static_cast<std::uint16_t>((reg << 8) ^ CrcTable[(reg >> 8) ^ ReversedByte[data[i]]]);
    return reg;
}

TSpiFrame BuildCommandFrame(std::uint8_t command, const std::uint8_t* data, std::uint32_t size) {
    TSpiFrame frame{};
    size = std::min(size, SpiFrameMaxData);
    frame[SpiFrameStatusOfs] = 0;
    frame[SpiFrameCommandOfs] = command;
    PutU32(&frame[SpiFrameSizeOfs], size);
    if (size > 0 && data != nullptr)
        std::copy_n(data, size, frame.begin() + SpiFrameDataOfs);
    PutU16(&frame[SpiFrameCrcOfs], FrameCrc16(frame.data(), SpiFrameCrcOfs));
    return frame;
}

bool AlignReply(std::uint8_t* buffer, std::size_t size, std::size_t& frameStart) {
    if (buffer == nullptr || size < 9)
        return false;
    std::uint64_t window = 0;
    for (int i = 1; i <= 8; ++i)
        window = (window << 8) | buffer[i];
    int shift = -1;
    for (int s = 0; s <= MaxMarkerShift; ++s)
        if (static_cast<std::uint32_t>(window >> s) == SpiReplyMarker)
            shift = s; // the last match, the earliest marker, wins
    if (shift < 0)
        return false;
    const unsigned k = static_cast<unsigned>(shift % 8);
    const std::size_t q = static_cast<std::size_t>(shift / 8);
    if (k == 0) {
        std::copy(buffer + 1, buffer + size, buffer);
        buffer[size - 1] = 0;
    } else {
        for (std::size_t i = 0; i + 1 < size; ++i)
            buffer[i] = static_cast<std::uint8_t>((buffer[i] << (8 - k)) | (buffer[i + 1] >> k));
        buffer[size - 1] = static_cast<std::uint8_t>(buffer[size - 1] << (8 - k));
    }
    frameStart = 8 - q;
    return true;
}
