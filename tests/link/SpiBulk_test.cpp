#include <cstring>
#include <gtest/gtest.h>

#include "SimLinkFixture.h"
#include "link/SpiWireParams.h"
#include "platform/SpiWiring.h"

namespace {

class SpiBulkTest : public SimLinkTest {
protected:
    // What FLASH_READ should deliver, computed from the simulated flash.
    std::vector<std::uint8_t> Expected(const TFlashReadRequest& r) const {
        std::vector<std::uint8_t> out;
        for (std::uint32_t i = 0; i < r.Cycles; ++i) {
            const std::size_t from =
                (std::size_t{r.PageAddr} + std::size_t{i} * r.AddrInc) * PageSize + r.Offset;
            out.insert(out.end(), Recorder.Flash().begin() + static_cast<std::ptrdiff_t>(from),
                       Recorder.Flash().begin() + static_cast<std::ptrdiff_t>(from + r.Count));
        }
        return out;
    }

    std::vector<std::uint8_t> FlashRead(std::uint32_t pageAddr, std::uint32_t cycles,
                                        std::uint16_t count, std::uint16_t offset,
                                        std::uint16_t addrInc, TFlashReadRequest* used = nullptr) {
        std::vector<std::uint8_t> host(std::size_t{cycles} * count, 0xEE);
        TFlashReadRequest r;
        r.HostBuffer = host.data();
        r.PageAddr = pageAddr;
        r.Cycles = cycles;
        r.Count = count;
        r.Offset = offset;
        r.AddrInc = addrInc;
        ExchangeCmd(CmdFlashRead, &r, sizeof r, nullptr, 0, DefaultTimeoutMs);
        if (used != nullptr)
            *used = r;
        return host;
    }

    TFlashReadParams LastReadParams() const {
        EXPECT_FALSE(Sim.Commands().empty());
        EXPECT_EQ(Sim.Commands().back().Command, CmdFlashRead);
        EXPECT_EQ(Sim.Commands().back().Data.size(), TFlashReadParams::Size);
        return TFlashReadParams::FromBytes(Sim.Commands().back().Data.data());
    }

    // Bytes of a bulk read's stream that precede the first window: the host reads 192 bytes
    // from the reply's lead byte, the reply takes ReplyFootprint.
    static std::size_t ReplyTail() { return SimSpiAdapter::ReplyFootprint - 192; }
};

TEST_F(SpiBulkTest, UnitsArePaddedAndChunksHalved) {
    struct TCase {
        std::uint16_t Count, Offset, AddrInc;
        std::uint32_t Cycles, UnitSize;
        std::uint16_t Chunk;
    } cases[] = {
        {2112, 0, 1, 64, 2112, 2112}, // whole pages
        {4300, 0, 3, 3, 4320, 2160},  // padded, then halved once
        {20, 0, 64, 4, 32, 32},       // block headers
        {64, 2048, 1, 10, 64, 64},    // page spare areas
        {65535, 0, 32, 2, 65536, 4096},
    };
    for (const TCase& c : cases) {
        TFlashReadRequest used;
        const auto host = FlashRead(2, c.Cycles, c.Count, c.Offset, c.AddrInc, &used);
        EXPECT_EQ(host, Expected(used)) << "count " << c.Count;
        const TFlashReadParams wire = LastReadParams();
        EXPECT_EQ(wire.PageAddr, 2u);
        EXPECT_EQ(wire.Cycles, c.Cycles);
        EXPECT_EQ(wire.UnitSize, c.UnitSize) << "count " << c.Count;
        EXPECT_EQ(wire.Offset, c.Offset);
        EXPECT_EQ(wire.AddrInc, c.AddrInc);
        EXPECT_EQ(wire.ChunkSize, c.Chunk) << "count " << c.Count;
    }
    EXPECT_EQ(PaddedUnitSize(0), 0u);
    EXPECT_EQ(BulkChunkSize(4224), 4224);
    EXPECT_EQ(BulkChunkSize(4225), 2112);
    EXPECT_EQ(BulkChunkSize(135168), 4224);
}

TEST_F(SpiBulkTest, PacketsAtEveryShiftBackToBackAndWithNoiseReassemble) {
    std::vector<TSimShape> shapes;
    for (std::uint8_t phase = 0; phase < 8; ++phase)
        for (std::uint8_t gap : {0, 7, 16, 24})
            if (phase + gap <= 32)
                shapes.push_back(TSimShape{static_cast<std::uint32_t>(phase % 3), phase, gap});
    Sim.SetPacketShapes(shapes);
    for (std::uint32_t noise : {0u, 2u}) {
        Sim.SetNoiseBeforePackets(noise);
        TFlashReadRequest used;
        const auto host = FlashRead(64, 64, 2112, 0, 1, &used); // one block of 64 pages
        EXPECT_EQ(host, Expected(used)) << "noise " << noise;
    }
    EXPECT_EQ(Sim.Commands().size(), 2u);
}

// The stream runs on across the 61440-byte windows; a packet that starts near a window's
// end, even one whose marker is cut, is taken from both.
TEST_F(SpiBulkTest, PacketStraddlingTwoWindowsIsAssembledFromBoth) {
    constexpr std::size_t Window = BulkReadWindowBytes;
    constexpr std::size_t Chunk = 2112;
    const std::size_t leadAt[] = {Window - 100,
                                  Window - (Chunk + 10),
                                  Window - (Chunk + 9),
                                  Window - (Chunk + 11),
                                  Window - 9,
                                  Window - 5,
                                  Window - 1};
    for (std::size_t at : leadAt) {
        for (std::uint8_t phase : {0, 5}) {
            for (std::uint8_t gap : {0, 27}) {
                if (phase + gap > 32)
                    continue;
                Sim.SetPacketShapes({TSimShape{0, phase, gap}});
                Sim.SetSilenceBeforePacket(0, static_cast<std::uint32_t>(at - ReplyTail()));
                TFlashReadRequest used;
                const auto host = FlashRead(5, 3, 2112, 0, 1, &used);
                ASSERT_EQ(host, Expected(used))
                    << "lead at " << at << " phase " << int(phase) << " gap " << int(gap);
            }
        }
    }
}

TEST_F(SpiBulkTest, ThreeWindowsWithoutAPacketEndTheReadEvenWithPacketsBetween) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    // Two windows of silence before a packet leave at least one window without a packet.
    const std::uint32_t silence = 2 * BulkReadWindowBytes + 1000;
    std::vector<std::uint8_t> target(4 * 2112);
    Sim.SetSilenceBeforePacket(1, silence);
    Sim.SetSilenceBeforePacket(2, silence);
    EXPECT_EQ(ReadFlashStream(target.data(), target.size(), 0, 4, 2112, 0, 1, 2112), 0);
    EXPECT_EQ(std::memcmp(target.data(), Recorder.Flash().data(), target.size()), 0);

    Sim.SetSilenceBeforePacket(3, silence);
    EXPECT_EQ(ReadFlashStream(target.data(), target.size(), 0, 4, 2112, 0, 1, 2112),
              RecErrNoPacket);
}

TEST_F(SpiBulkTest, AStreamThatStopsFailsWith9) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    Sim.StopPacketsAfter(1);
    std::vector<std::uint8_t> target(4 * 2112);
    EXPECT_EQ(ReadFlashStream(target.data(), target.size(), 0, 4, 2112, 0, 1, 2112),
              RecErrNoPacket);

    // The exchange tries five times and reports it.
    std::string message;
    EXPECT_EQ(ErrorOf([&] { FlashRead(0, 4, 2112, 0, 1); }, &message), RecErrNoPacket);
    EXPECT_EQ(message, "Exchange error");
    EXPECT_EQ(Sim.Commands().size(), 6u);
}

TEST_F(SpiBulkTest, ReadStopsAtTheExpectedCountAndNeverPastTheTarget) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    // 3 units of 100 bytes in chunks of 64: five packets, the last one short. The target
    // holds exactly 300 bytes; the sanitizer sees any byte written past it.
    std::vector<std::uint8_t> target(300);
    EXPECT_EQ(ReadFlashStream(target.data(), target.size(), 1, 3, 100, 16, 2, 64), 0);
    for (std::uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(
            std::memcmp(&target[i * 100], &Recorder.Flash()[(1 + 2 * i) * PageSize + 16], 100), 0)
            << "unit " << i;

    // Noise between packets is skipped, not copied.
    Sim.SetNoiseBeforePackets(3);
    std::vector<std::uint8_t> again(300);
    EXPECT_EQ(ReadFlashStream(again.data(), again.size(), 1, 3, 100, 16, 2, 64), 0);
    EXPECT_EQ(again, target);

    // A target smaller than the request is refused before anything is sent.
    const std::size_t sent = Sim.Commands().size();
    EXPECT_EQ(ReadFlashStream(target.data(), 299, 1, 3, 100, 16, 2, 64), RecErrInSize);
    EXPECT_EQ(Sim.Commands().size(), sent);
}

TEST_F(SpiBulkTest, BadBulkRequestsAreRefusedBeforeAnythingIsSent) {
    TFlashReadRequest read;
    read.Cycles = 1;
    read.Count = 32; // no host buffer
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdFlashRead, &read, sizeof read, nullptr, 0, 1000); }),
              RecErrOutSize);
    std::uint8_t buffer[32];
    read.HostBuffer = buffer;
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdFlashRead, &read, 10, nullptr, 0, 1000); }),
              RecErrOutSize);
    TFlashWriteRequest write;
    write.TotalCount = 2112; // no data
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdFlashWrite, &write, sizeof write, nullptr, 0, 1000); }),
              RecErrOutSize);
    EXPECT_TRUE(Sim.Commands().empty());
}

TEST_F(SpiBulkTest, FlashWriteSendsEveryByteInChunks) {
    struct TCase {
        std::uint32_t Pages;
        std::vector<std::uint32_t> Chunks;
    } cases[] = {
        {1, {2112}},
        {3, {3168, 3168}},
        {64, std::vector<std::uint32_t>(32, 4224)},
    };
    std::uint32_t page = 10;
    for (const TCase& c : cases) {
        std::vector<std::uint8_t> data(std::size_t{c.Pages} * PageSize);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 13 + c.Pages);
        TFlashWriteRequest w;
        w.Data = data.data();
        w.PageAddr = page;
        w.Cycles = c.Pages;
        w.TotalCount = static_cast<std::uint32_t>(data.size());
        const std::size_t chunksBefore = Sim.BulkChunks().size();
        ExchangeCmd(CmdFlashWrite, &w, sizeof w, nullptr, 0, DefaultTimeoutMs);
        EXPECT_EQ(std::vector<std::uint32_t>(Sim.BulkChunks().begin() +
                                                 static_cast<std::ptrdiff_t>(chunksBefore),
                                             Sim.BulkChunks().end()),
                  c.Chunks);
        EXPECT_EQ(
            std::memcmp(&Recorder.Flash()[std::size_t{page} * PageSize], data.data(), data.size()),
            0);
        const auto wire = TFlashWriteParams::FromBytes(Sim.Commands().back().Data.data());
        EXPECT_EQ(wire.PageAddr, page);
        EXPECT_EQ(wire.Cycles, c.Pages);
        EXPECT_EQ(wire.TotalCount, data.size());
        EXPECT_EQ(wire.ChunkSize, c.Chunks[0]);
        page += c.Pages;
    }
    EXPECT_EQ(Sim.BulkOverruns(), 0u);
    EXPECT_EQ(Sim.UnexpectedWrites(), 0u);
}

TEST_F(SpiBulkTest, WriteStreamSendsTheRemainderInItsLastChunk) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    std::vector<std::uint8_t> data(5000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(255 - i % 251);
    EXPECT_EQ(WriteFlashStream(data.data(), 2, 3, 5000, 2048), 0);
    EXPECT_EQ(Sim.BulkChunks(), (std::vector<std::uint32_t>{2048, 2048, 904}));
    EXPECT_EQ(Sim.BulkOverruns(), 0u);
    EXPECT_EQ(std::memcmp(&Recorder.Flash()[2 * PageSize], data.data(), data.size()), 0);
}

TEST_F(SpiBulkTest, AFailedLibraryWriteIsReported) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    Sim.FailBulkChunks(true);
    std::vector<std::uint8_t> data(2112, 0x11);
    EXPECT_EQ(WriteFlashStream(data.data(), 2, 1, 2112, 2112), RecErrNotConnected);

    TFlashWriteRequest w;
    w.Data = data.data();
    w.PageAddr = 2;
    w.Cycles = 1;
    w.TotalCount = 2112;
    std::string message;
    EXPECT_EQ(
        ErrorOf([&] { ExchangeCmd(CmdFlashWrite, &w, sizeof w, nullptr, 0, 1000); }, &message),
        RecErrNotConnected);
    EXPECT_EQ(message, "Adapter not connected");
    EXPECT_NE(Recorder.Flash()[2 * PageSize], 0x11);
}

} // namespace
