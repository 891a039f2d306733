#include <gtest/gtest.h>
#include <numeric>

#include "FakeFtdi.h"
#include "platform/FtdiSpiAdapter.h"
#include "platform/SpiWiring.h"

namespace {

TFtdiUsbDevice Usb(std::uint16_t product, std::uint16_t bcd, std::uint8_t bus, std::uint8_t address,
                   const std::string& description) {
    TFtdiUsbDevice d;
    d.ProductId = product;
    d.BcdDevice = bcd;
    d.Bus = bus;
    d.Address = address;
    d.Description = description;
    return d;
}

class FtdiSpiAdapterTest : public ::testing::Test {
protected:
    FtdiSpiAdapterTest() {
        Fake.Devices = {
            Usb(FtdiProductFt2232H, 0x0700, 1, 5, "Dual RS232-HS"),
            Usb(FtdiProductFt2232H, 0x0500, 1, 6, "Dual RS232"), // full speed: not listed
            Usb(FtdiProductFt4232H, 0x0800, 2, 3, ""),
            Usb(FtdiProductFt232H, 0x0900, 3, 9, "Recorder Cable"),
        };
    }

    TSpiHandle OpenAndInit() {
        std::uint32_t count = 0;
        EXPECT_EQ(Adapter.GetHiSpeedDeviceCount(count), SpiOk);
        TSpiHandle handle = 0;
        EXPECT_EQ(Adapter.OpenHiSpeedDevice("Dual RS232-HS A", 0x0105, "A", handle), SpiOk);
        EXPECT_EQ(Adapter.InitDevice(handle, SpiLinkClockDivisor), SpiOk);
        Fake.Written.clear();
        Fake.Shifts.clear();
        Fake.Calls.clear();
        EXPECT_EQ(Fake.UnknownOpcodes, std::vector<std::uint8_t>{0xAA}); // the sync probe
        Fake.UnknownOpcodes.clear();
        return handle;
    }

    FakeFtdi Fake;
    FtdiSpiAdapter Adapter{Fake.Api(), [this] { return Fake.ClockMs; }};
};

TEST_F(FtdiSpiAdapterTest, ListsEveryChannelOfTheHiSpeedChips) {
    std::uint32_t count = 0;
    ASSERT_EQ(Adapter.GetHiSpeedDeviceCount(count), SpiOk);
    ASSERT_EQ(count, 7u);
    struct TExpect {
        const char* Name;
        std::uint32_t Location;
        const char* Channel;
        std::uint32_t Type;
    } expected[] = {
        {"Dual RS232-HS A", 0x0105, "A", SpiDeviceFt2232H},
        {"Dual RS232-HS B", 0x0105, "B", SpiDeviceFt2232H},
        {"Quad RS232-HS A", 0x0203, "A", SpiDeviceFt4232H},
        {"Quad RS232-HS B", 0x0203, "B", SpiDeviceFt4232H},
        {"Quad RS232-HS C", 0x0203, "C", SpiDeviceFt4232H},
        {"Quad RS232-HS D", 0x0203, "D", SpiDeviceFt4232H},
        {"Recorder Cable A", 0x0309, "A", SpiDeviceFt232H},
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        TSpiDeviceInfo info;
        ASSERT_EQ(Adapter.GetHiSpeedDeviceInfo(i, info), SpiOk);
        EXPECT_EQ(info.Name, expected[i].Name);
        EXPECT_EQ(info.LocationId, expected[i].Location);
        EXPECT_EQ(info.Channel, expected[i].Channel);
        EXPECT_EQ(info.Type, expected[i].Type);
    }
    TSpiDeviceInfo info;
    EXPECT_EQ(Adapter.GetHiSpeedDeviceInfo(7, info), SpiDeviceNotFound);
    EXPECT_EQ(Fake.OpenContexts, 0);
}

TEST_F(FtdiSpiAdapterTest, OpensOneMpsseChannelAtATime) {
    std::uint32_t count = 0;
    Adapter.GetHiSpeedDeviceCount(count);
    TSpiHandle handle = 0;
    EXPECT_EQ(Adapter.OpenHiSpeedDevice("Quad RS232-HS C", 0x0203, "C", handle),
              SpiInvalidParameter); // channels C and D have no MPSSE
    EXPECT_EQ(Adapter.OpenHiSpeedDevice("Nothing A", 0x0999, "A", handle), SpiDeviceNotFound);
    Fake.FailOpen = -3;
    EXPECT_EQ(Adapter.OpenHiSpeedDevice("Dual RS232-HS B", 0x0105, "B", handle), SpiOpenFailed);
    EXPECT_EQ(Fake.OpenContexts, 0);
    Fake.FailOpen = 0;
    ASSERT_EQ(Adapter.OpenHiSpeedDevice("Dual RS232-HS B", 0x0105, "B", handle), SpiOk);
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(Fake.Calls.back(), "OpenDevice 1 5 1");
    std::uint32_t type = 0;
    EXPECT_EQ(Adapter.GetHiSpeedDeviceType(handle, type), SpiOk);
    EXPECT_EQ(type, SpiDeviceFt2232H);
    TSpiHandle second = 0;
    EXPECT_EQ(Adapter.OpenHiSpeedDevice("Recorder Cable A", 0x0309, "A", second), SpiDeviceInUse);
    EXPECT_EQ(second, 0u);

    EXPECT_EQ(Adapter.Close(handle), SpiOk);
    EXPECT_EQ(Fake.OpenContexts, 0);
    EXPECT_FALSE(Fake.ChipSelected());
    EXPECT_EQ(Adapter.Close(handle), SpiInvalidHandle);
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    EXPECT_EQ(Adapter.ReadBits(handle, {}, 8, &byte, 1, got), SpiInvalidHandle);
}

TEST_F(FtdiSpiAdapterTest, InitialisesTheMpsseForSpi) {
    std::uint32_t count = 0;
    Adapter.GetHiSpeedDeviceCount(count);
    TSpiHandle handle = 0;
    ASSERT_EQ(Adapter.OpenHiSpeedDevice("Dual RS232-HS A", 0x0105, "A", handle), SpiOk);
    Fake.Calls.clear();
    ASSERT_EQ(Adapter.InitDevice(handle, 2), SpiOk);
    const std::vector<std::string> calls = {"ResetDevice", "SetChunkSize 65536", "SetBitMode 0 0",
                                            "SetBitMode 11 2", "PurgeBuffers"};
    EXPECT_EQ(Fake.Calls, calls);
    const std::vector<std::uint8_t> written = {
        0xAA,                   // bogus opcode: the engine echoes FA AA
        0x8A, 0x97, 0x8D, 0x85, // 60 MHz, no adaptive or 3-phase clock, no loopback
        0x86, 0x02, 0x00,       // divisor 2
        0x80, 0x08, 0x0B,       // chip select high, SCK/MOSI/CS outputs
        0x82, 0x00, 0x00};      // upper pins inputs
    EXPECT_EQ(Fake.Written, written);
    EXPECT_FALSE(Fake.ChipSelected());
    EXPECT_EQ(Fake.PendingBytes(), 0u);
    EXPECT_EQ(Fake.Divisor, 2);
    EXPECT_FALSE(Fake.DivideByFive);
}

TEST_F(FtdiSpiAdapterTest, InitFailsWhenTheEngineDoesNotEcho) {
    std::uint32_t count = 0;
    Adapter.GetHiSpeedDeviceCount(count);
    TSpiHandle handle = 0;
    ASSERT_EQ(Adapter.OpenHiSpeedDevice("Dual RS232-HS A", 0x0105, "A", handle), SpiOk);
    Fake.AnswerSync = false;
    EXPECT_EQ(Adapter.InitDevice(handle, 2), SpiNotSynchronised);
}

TEST_F(FtdiSpiAdapterTest, ClockFollowsDivisorAndDivideByFive) {
    const TSpiHandle h = OpenAndInit();
    std::uint32_t hz = 0;
    EXPECT_EQ(Adapter.GetClockFrequency(0, hz), SpiOk);
    EXPECT_EQ(hz, 30'000'000u);
    EXPECT_EQ(Adapter.TurnOnDivideByFiveClock(h), SpiOk);
    EXPECT_TRUE(Fake.DivideByFive);
    EXPECT_EQ(Adapter.SetClock(h, 2, hz), SpiOk);
    EXPECT_EQ(hz, 2'000'000u);
    EXPECT_EQ(Adapter.TurnOffDivideByFiveClock(h), SpiOk);
    EXPECT_FALSE(Fake.DivideByFive);
    EXPECT_EQ(Adapter.SetClock(h, 2, hz), SpiOk);
    EXPECT_EQ(hz, 10'000'000u);
    EXPECT_EQ(Fake.Divisor, 2);
    EXPECT_EQ(Fake.Written,
              (std::vector<std::uint8_t>{0x8B, 0x86, 0x02, 0x00, 0x8A, 0x86, 0x02, 0x00}));
    EXPECT_EQ(Adapter.SetClock(h, 0x10000, hz), SpiInvalidParameter);

    std::uint8_t latency = 0;
    EXPECT_EQ(Adapter.SetLatencyTimer(h, 16), SpiOk);
    EXPECT_EQ(Adapter.GetLatencyTimer(h, latency), SpiOk);
    EXPECT_EQ(latency, 16);
    EXPECT_EQ(Adapter.SetLatencyTimer(h, 0), SpiInvalidParameter);
}

TEST_F(FtdiSpiAdapterTest, WritesShiftOutUnderChipSelect) {
    const TSpiHandle h = OpenAndInit();
    std::vector<std::uint8_t> control(8, 0xAA), frame(184);
    std::iota(frame.begin(), frame.end(), std::uint8_t{1});
    ASSERT_EQ(Adapter.WriteBits(h, {true, false}, control.data(), 64, frame.data(), 184 * 8),
              SpiOk);
    ASSERT_EQ(Fake.Shifts.size(), 2u);
    EXPECT_EQ(Fake.Shifts[0].Opcode, 0x11); // bytes out, MSB first, falling edge
    EXPECT_EQ(Fake.Shifts[0].Bytes, control);
    EXPECT_EQ(Fake.Shifts[1].Bytes, frame);
    EXPECT_TRUE(Fake.Shifts[0].ChipSelected && Fake.Shifts[1].ChipSelected);
    EXPECT_FALSE(Fake.ChipSelected());
    EXPECT_EQ(std::vector<std::uint8_t>(Fake.Written.begin(), Fake.Written.begin() + 6),
              (std::vector<std::uint8_t>{0x80, 0x00, 0x0B, 0x11, 0x07, 0x00}));

    struct TCase {
        TSpiClocking Clocking;
        std::uint32_t Bits;
        std::vector<std::uint8_t> Opcodes;
        std::vector<std::uint32_t> ShiftBits;
    } cases[] = {
        {{true, false}, 12, {0x11, 0x13}, {8, 4}}, // a whole byte, then 4 bits
        {{true, true}, 16, {0x10}, {16}},          // rising edge
        {{false, false}, 3, {0x1B}, {3}},          // bits only, LSB first
        {{true, false}, 70000 * 8, {0x11, 0x11}, {65536 * 8, 4464 * 8}}, // split at 64 KiB
    };
    std::vector<std::uint8_t> data(70000, 0x5C);
    for (const TCase& c : cases) {
        Fake.Shifts.clear();
        ASSERT_EQ(Adapter.WriteBits(h, c.Clocking, nullptr, 0, data.data(), c.Bits), SpiOk);
        ASSERT_EQ(Fake.Shifts.size(), c.Opcodes.size()) << c.Bits;
        for (std::size_t i = 0; i < c.Opcodes.size(); ++i) {
            EXPECT_EQ(Fake.Shifts[i].Opcode, c.Opcodes[i]) << c.Bits;
            EXPECT_EQ(Fake.Shifts[i].Bits, c.ShiftBits[i]) << c.Bits;
            EXPECT_TRUE(Fake.Shifts[i].ChipSelected);
        }
    }
    EXPECT_TRUE(Fake.UnknownOpcodes.empty());
}

TEST_F(FtdiSpiAdapterTest, ReadsAWholeWindowInOneCommand) {
    const TSpiHandle h = OpenAndInit();
    std::uint8_t next = 0;
    Fake.Miso = [&](std::size_t n) {
        std::vector<std::uint8_t> bytes(n);
        for (auto& b : bytes)
            b = next++;
        return bytes;
    };
    std::vector<std::uint8_t> window(61440);
    std::uint32_t got = 0;
    ASSERT_EQ(Adapter.ReadBits(h, {true, false}, 61440 * 8, window.data(), window.size(), got),
              SpiOk);
    EXPECT_EQ(got, 61440u);
    for (std::size_t i = 0; i < window.size(); ++i)
        ASSERT_EQ(window[i], static_cast<std::uint8_t>(i)) << i;
    ASSERT_EQ(Fake.Shifts.size(), 1u);
    EXPECT_EQ(Fake.Shifts[0].Opcode, 0x24); // bytes in, MSB first, falling edge
    EXPECT_TRUE(Fake.Shifts[0].ChipSelected);
    EXPECT_EQ(Fake.Written, (std::vector<std::uint8_t>{0x80, 0x00, 0x0B, 0x24, 0xFF, 0xEF, 0x80,
                                                       0x08, 0x0B, 0x87}));

    // Sizes the read cannot take.
    EXPECT_EQ(Adapter.ReadBits(h, {}, 12, window.data(), window.size(), got), SpiInvalidParameter);
    EXPECT_EQ(Adapter.ReadBits(h, {}, 16, window.data(), 1, got), SpiInvalidParameter);
}

TEST_F(FtdiSpiAdapterTest, AReadThatNeverCompletesTimesOut) {
    const TSpiHandle h = OpenAndInit();
    Fake.NeverAnswer = true;
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    const std::uint64_t start = Fake.ClockMs;
    EXPECT_EQ(Adapter.ReadBits(h, {}, 8, &byte, 1, got), SpiTimeout);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(Fake.ClockMs - start, FtdiSpiAdapter::ReadTimeoutMs);
}

} // namespace
