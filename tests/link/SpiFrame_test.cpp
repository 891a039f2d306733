#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "link/Crc16.h"
#include "link/SpiFrame.h"
#include "link/SpiWireParams.h"
#include "platform/ByteOrder.h"

namespace {

// The frame check computed another way: the plain CRC-16 of the bit-reversed bytes.
std::uint16_t ReferenceFrameCrc(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> reversed(size);
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t r = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (data[i] & (1u << bit))
                r = static_cast<std::uint8_t>(r | (0x80u >> bit));
        reversed[i] = r;
    }
    return Crc16Update(reversed.data(), static_cast<std::uint32_t>(size), 0x36E2);
}

// Writes a bit stream most significant bit first, independently of the simulator.
struct TBits {
    std::vector<std::uint8_t> Bytes;
    int Used = 8;
    void Bit(bool one) {
        if (Used == 8) {
            Bytes.push_back(0);
            Used = 0;
        }
        if (one)
            Bytes.back() = static_cast<std::uint8_t>(Bytes.back() | (0x80u >> Used));
        ++Used;
    }
    void Value(std::uint64_t v, int count) {
        for (int i = count - 1; i >= 0; --i)
            Bit((v >> i) & 1);
    }
    void Bytes8(const std::vector<std::uint8_t>& data) {
        for (std::uint8_t b : data)
            Value(b, 8);
    }
};

std::vector<std::uint8_t> Payload(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(gen());
    return data;
}

TEST(FrameCrc16, CheckValues) {
    const std::string digits = "123456789";
    EXPECT_EQ(FrameCrc16(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()),
              0xC091);
    const std::vector<std::uint8_t> zeros(180, 0);
    EXPECT_EQ(FrameCrc16(zeros.data(), zeros.size()), 0x03B8);
}

TEST(FrameCrc16, AgreesWithPlainCrcOverReversedBytes) {
    for (std::size_t size : {0u, 1u, 2u, 7u, 64u, 179u, 180u, 1000u}) {
        for (std::uint32_t seed = 1; seed <= 4; ++seed) {
            const auto data = Payload(size, seed * 31 + static_cast<std::uint32_t>(size));
            EXPECT_EQ(FrameCrc16(data.data(), size), ReferenceFrameCrc(data.data(), size))
                << "size " << size << " seed " << seed;
        }
    }
}

TEST(CommandFrame, Layout) {
    const auto data = Payload(128, 5);
    for (std::uint32_t size : {0u, 1u, 22u, 128u}) {
        const TSpiFrame frame = BuildCommandFrame(0x0C, data.data(), size);
        EXPECT_EQ(frame[0], 0);
        EXPECT_EQ(frame[1], 0x0C);
        EXPECT_EQ(GetU32(&frame[2]), size);
        EXPECT_EQ(std::memcmp(&frame[6], data.data(), size), 0);
        for (std::size_t i = 6 + size; i < 180; ++i)
            ASSERT_EQ(frame[i], 0) << "byte " << i;
        EXPECT_EQ(GetU16(&frame[180]), ReferenceFrameCrc(frame.data(), 180));
        EXPECT_EQ(frame[182], 0);
        EXPECT_EQ(frame[183], 0);
    }
}

TEST(WireParams, ByteLayouts) {
    const TFlashReadParams read{0x01020304, 64, 2112, 0x0800, 1, 2112};
    const auto r = read.ToBytes();
    const std::vector<std::uint8_t> expectRead = {
        0x04, 0x03, 0x02, 0x01, 64, 0, 0, 0, 0x40, 0x08, 0, 0, 0, 8, 0, 0, 1, 0, 0, 0, 0x40, 0x08};
    EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.end()), expectRead);
    const TFlashReadParams back = TFlashReadParams::FromBytes(r.data());
    EXPECT_EQ(back.Offset, 0x0800u);
    EXPECT_EQ(back.ChunkSize, 2112);

    const TFlashWriteParams write{640, 2, 4224, 4224};
    const auto w = write.ToBytes();
    const std::vector<std::uint8_t> expectWrite = {0x80, 2,    0,    0, 2, 0,    0,
                                                   0,    0x80, 0x10, 0, 0, 0x80, 0x10};
    EXPECT_EQ(std::vector<std::uint8_t>(w.begin(), w.end()), expectWrite);
    EXPECT_EQ(TFlashWriteParams::FromBytes(w.data()).TotalCount, 4224u);
}

// A reply as the recorder sends it: a lead byte at a bit phase, one bits, the marker, then
// the payload; the host's buffer starts at the byte holding the lead's first bit.
std::vector<std::uint8_t> ShiftedStream(int phase, int gap,
                                        const std::vector<std::uint8_t>& payload,
                                        std::size_t bufferSize) {
    TBits bits;
    bits.Value(0, phase);
    bits.Value(0xFF, 8);
    for (int i = 0; i < gap; ++i)
        bits.Bit(true);
    bits.Value(0x80402010, 32);
    bits.Bytes8(payload);
    bits.Bytes.resize(bufferSize, 0);
    return bits.Bytes;
}

TEST(AlignReply, RecoversThePayloadAtEveryShift) {
    const auto payload = Payload(184, 77);
    for (int phase = 0; phase < 8; ++phase) {
        for (int gap = 0; phase + gap <= 32; ++gap) {
            std::vector<std::uint8_t> buffer = ShiftedStream(phase, gap, payload, 192);
            std::size_t start = 0;
            ASSERT_TRUE(AlignReply(buffer.data(), buffer.size(), start))
                << "phase " << phase << " gap " << gap;
            // The marker ends 8 + phase + gap + 32 bits in: 72 - s with s = 32 - phase - gap.
            const std::size_t s = static_cast<std::size_t>(32 - phase - gap);
            EXPECT_EQ(start, 8 - s / 8);
            // Frame bytes beyond the buffer read as zero; compare what the buffer holds.
            const std::size_t whole = std::min<std::size_t>(184, buffer.size() - start - 1);
            EXPECT_EQ(std::memcmp(buffer.data() + start, payload.data(), whole), 0)
                << "phase " << phase << " gap " << gap;
        }
    }
}

// The marker's ones sit 9 bits apart (1000 0000 0100 0000 0010 0000 0001 0000), so data that
// carries the pattern on (08 04 ...) matches a second time 9 bits later. The earliest
// position, the largest shift, is the marker.
TEST(AlignReply, EarliestMarkerWinsOverItsOwnEchoNineBitsLater) {
    std::vector<std::uint8_t> payload = {0x08, 0x04, 0x02, 0x01, 0x00, 0x7E};
    payload.resize(40, 0x33);
    for (int gap : {0, 5, 12, 23}) {
        std::vector<std::uint8_t> buffer = ShiftedStream(0, gap, payload, 60);
        // Both shifts match the window: the test would mean nothing otherwise.
        std::uint64_t window = 0;
        for (int i = 1; i <= 8; ++i)
            window = (window << 8) | buffer[i];
        const int trueShift = 32 - gap;
        ASSERT_EQ(static_cast<std::uint32_t>(window >> trueShift), 0x80402010u);
        ASSERT_EQ(static_cast<std::uint32_t>(window >> (trueShift - 9)), 0x80402010u);

        std::size_t start = 0;
        ASSERT_TRUE(AlignReply(buffer.data(), buffer.size(), start));
        EXPECT_EQ(std::memcmp(buffer.data() + start, payload.data(), 20), 0) << "gap " << gap;
    }
}

TEST(AlignReply, NoMarkerIsAFailureAndLeavesTheBuffer) {
    std::vector<std::uint8_t> buffer = Payload(192, 9);
    buffer[0] = 0xFF;
    for (int i = 1; i <= 8; ++i)
        buffer[i] = 0xFF; // all ones: no marker at any shift
    const std::vector<std::uint8_t> before = buffer;
    std::size_t start = 123;
    EXPECT_FALSE(AlignReply(buffer.data(), buffer.size(), start));
    EXPECT_EQ(buffer, before);
    EXPECT_EQ(start, 123u);

    // A marker that begins only at byte 6 ends past the window.
    std::vector<std::uint8_t> late(192, 0);
    late[0] = 0xFF;
    late[6] = 0x80, late[7] = 0x40, late[8] = 0x20, late[9] = 0x10;
    EXPECT_FALSE(AlignReply(late.data(), late.size(), start));

    std::uint8_t tiny[8] = {0xFF, 0x80, 0x40, 0x20, 0x10, 0, 0, 0};
    EXPECT_FALSE(AlignReply(tiny, sizeof tiny, start));
}

} // namespace
