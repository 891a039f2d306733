#include <cstring>
#include <gtest/gtest.h>

#include "link/RecXchange.h"
#include "link/SimClock.h"
#include "link/SimMemoryRecorder.h"
#include "link/SimSpiAdapter.h"
#include "link/SpiLink.h"
#include "platform/FtdiSpiAdapter.h"
#include "tests/platform/FakeFtdi.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TTempDir;

// The whole way down: the link, the libftdi backend, the MPSSE bytes as a chip would decode
// them, and a simulated recorder on the far side of the SPI wires.
class FtdiStackTest : public ::testing::Test {
protected:
    FtdiStackTest() : Recorder(2112, 128), Sim(Recorder, Clock) {
        TFtdiUsbDevice chip;
        chip.ProductId = FtdiProductFt2232H;
        chip.BcdDevice = 0x0700;
        chip.Bus = 1;
        chip.Address = 4;
        chip.Description = "Dual RS232-HS";
        Fake.Devices = {chip};
        Sim.OpenHiSpeedDevice("Sim Recorder Adapter A", 0x0101, "A", SimHandle);
        Sim.InitDevice(SimHandle, SpiLinkClockDivisor);

        // What the chip shifts out reaches the recorder one chip-select cycle at a time;
        // what it shifts in comes from the recorder.
        Fake.OnChipSelectCycle = [this](const std::vector<FakeFtdi::TShift>& writes) {
            if (writes.empty())
                return;
            const FakeFtdi::TShift& data = writes.back();
            const FakeFtdi::TShift* control = writes.size() > 1 ? &writes.front() : nullptr;
            const TSpiClocking clocking{(data.Opcode & 0x08) == 0, (data.Opcode & 0x01) == 0};
            Sim.WriteBits(SimHandle, clocking, control ? control->Bytes.data() : nullptr,
                          control ? control->Bits : 0, data.Bytes.data(), data.Bits);
        };
        Fake.Miso = [this](std::size_t n) {
            std::vector<std::uint8_t> bytes(n);
            std::uint32_t got = 0;
            Sim.ReadBits(SimHandle, {true, false}, static_cast<std::uint32_t>(n * 8), bytes.data(),
                         n, got);
            return bytes;
        };

        TSpiLinkServices services;
        services.Adapter = &Ftdi;
        services.NowMs = [this] { return Clock.NowMs(); };
        services.SleepMs = [this](std::uint32_t ms) { Clock.SleepMs(ms); };
        services.Console = [](const std::string&) {};
        SetSpiLinkServices(services);

        for (std::size_t i = 0; i < Recorder.Flash().size(); ++i)
            Recorder.Flash()[i] = static_cast<std::uint8_t>(i ^ (i >> 8) ^ 0x5A);
        Recorder.SetAnswer(CmdFwVer, TSimReply{0, {0x0A, 0x01, 0x02, 0x03}});
    }
    ~FtdiStackTest() override { ResetSpiLinkServices(); }

    TTempDir Dir{/*enter=*/true};
    SimClock Clock;
    SimMemoryRecorder Recorder;
    SimSpiAdapter Sim;
    TSpiHandle SimHandle = 0;
    FakeFtdi Fake;
    FtdiSpiAdapter Ftdi{Fake.Api(), [this] { return Fake.ClockMs; }};
};

TEST_F(FtdiStackTest, CommandsAndBulkStreamsCrossTheChip) {
    std::uint8_t version[4] = {};
    ExchangeCmd(CmdFwVer, nullptr, 0, version, 4, DefaultTimeoutMs);
    EXPECT_EQ(std::vector<std::uint8_t>(version, version + 4),
              (std::vector<std::uint8_t>{0x0A, 0x01, 0x02, 0x03}));

    std::vector<std::uint8_t> pages(64 * 2112);
    TFlashReadRequest read;
    read.HostBuffer = pages.data();
    read.PageAddr = 32;
    read.Cycles = 64;
    read.Count = 2112;
    read.AddrInc = 1;
    ExchangeCmd(CmdFlashRead, &read, sizeof read, nullptr, 0, DefaultTimeoutMs);
    EXPECT_EQ(std::memcmp(pages.data(), &Recorder.Flash()[32 * 2112], pages.size()), 0);

    std::vector<std::uint8_t> data(3 * 2112, 0x3C);
    TFlashWriteRequest write;
    write.Data = data.data();
    write.PageAddr = 100;
    write.Cycles = 3;
    write.TotalCount = static_cast<std::uint32_t>(data.size());
    ExchangeCmd(CmdFlashWrite, &write, sizeof write, nullptr, 0, DefaultTimeoutMs);
    EXPECT_EQ(std::memcmp(&Recorder.Flash()[100 * 2112], data.data(), data.size()), 0);

    EXPECT_EQ(Sim.Commands().size(), 3u);
    EXPECT_EQ(Sim.UnexpectedWrites(), 0u);
    EXPECT_EQ(Sim.WrongClocking(), 0u);
    EXPECT_EQ(Sim.BulkOverruns(), 0u);
    EXPECT_FALSE(Fake.ChipSelected());
    EXPECT_EQ(Fake.Divisor, SpiLinkClockDivisor);
    EXPECT_FALSE(Fake.DivideByFive);
    EXPECT_EQ(Fake.Latency, 16);
    for (const auto& shift : Fake.Shifts)
        ASSERT_TRUE(shift.ChipSelected);
}

} // namespace
