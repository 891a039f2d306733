#include <algorithm>
#include <gtest/gtest.h>

#include "SimLinkFixture.h"
#include "link/SpiFrame.h"
#include "link/SpiWireParams.h"
#include "platform/SpiWiring.h"

namespace {

const std::vector<std::uint8_t> FwVer = {0x0A, 0x01, 0x01, 0x01};

class SpiExchangeTest : public SimLinkTest {
protected:
    SpiExchangeTest() { Recorder.SetAnswer(CmdFwVer, TSimReply{0, FwVer}); }

    void ReadFwVer(std::uint8_t* in) { ExchangeCmd(CmdFwVer, nullptr, 0, in, 4, DefaultTimeoutMs); }
    int FwVerError() {
        std::uint8_t in[4] = {};
        return ErrorOf([&] { ReadFwVer(in); });
    }
};

TEST_F(SpiExchangeTest, ReplyAtAnyBitShiftAndByteOffsetIsTaken) {
    for (std::uint32_t leadZeros : {0u, 1u, 3u, 40u}) {
        for (std::uint8_t phase = 0; phase < 8; ++phase) {
            for (int gap : {0, 9, 17, 32 - phase}) {
                Sim.SetReplyShapes({TSimShape{leadZeros, phase, static_cast<std::uint8_t>(gap)}});
                std::uint8_t in[4] = {};
                ReadFwVer(in);
                ASSERT_EQ(std::vector<std::uint8_t>(in, in + 4), FwVer)
                    << "zeros " << leadZeros << " phase " << int(phase) << " gap " << gap;
            }
        }
    }
    const auto& sent = Sim.Commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_TRUE(std::all_of(sent.begin(), sent.end(), [](const auto& c) {
        return c.CrcOk && c.Command == CmdFwVer && c.Data.empty();
    }));
    EXPECT_EQ(Sim.OpenCount(), 1u);
    EXPECT_EQ(Sim.UnexpectedWrites(), 0u);
    EXPECT_EQ(Sim.WrongClocking(), 0u);
}

TEST_F(SpiExchangeTest, OpensOnDemandAndSetsTheAdapterUp) {
    std::uint8_t in[4] = {};
    ReadFwVer(in);
    const std::vector<std::string> expected = {"LibraryVersion",
                                               "GetHiSpeedDeviceCount",
                                               "GetHiSpeedDeviceInfo 0",
                                               "Open Sim Recorder Adapter A",
                                               "GetHiSpeedDeviceType",
                                               "InitDevice 2",
                                               "GetLatencyTimer",
                                               "SetLatencyTimer 50",
                                               "GetLatencyTimer",
                                               "SetLatencyTimer 16",
                                               "GetLatencyTimer",
                                               "GetClockFrequency 0",
                                               "DivideByFiveOn",
                                               "GetClockFrequency 0",
                                               "SetClock 2",
                                               "DivideByFiveOff",
                                               "SetClock 2",
                                               "Idle 368"};
    EXPECT_EQ(Sim.Calls(), expected);
    EXPECT_EQ(Console, "DLL version: simulated recorder 1.0\n"
                       "Number of Hi-speed devices: 1\n"
                       "Device channel: A\n"
                       "Device name: Sim Recorder Adapter A\n"
                       "Device location ID: 257\n"
                       "Device type ID: 6\n"
                       "Latency timer: 16\n"
                       "Clock frequency: 10MHz\n");
    EXPECT_EQ(Sim.SckHz(), 10'000'000u);
    // The 3-second settle passed on the virtual clock.
    EXPECT_GE(Clock.TotalSleptMs(), 3000u);

    ReadFwVer(in);
    EXPECT_EQ(Sim.OpenCount(), 1u);
    EXPECT_NE(SpiAdapterHandle(), 0u);
}

TEST_F(SpiExchangeTest, TheFirstDeviceWithChannelAIsOpened) {
    struct TCase {
        std::vector<std::string> Channels;
        bool Opens;
        const char* ChannelLine;
    } cases[] = {
        {{"B", "A"}, true, "Device channel: A\n"},
        {{"A", "B"}, true, "Device channel: A\n"},
        {{"B", "C"}, false, "Device channel: C\n"},
        {{}, false, nullptr},
    };
    Recorder.SetAnswer(CmdCloseLink, TSimReply{0, {}});
    for (const TCase& c : cases) {
        std::vector<TSpiDeviceInfo> devices;
        for (std::size_t i = 0; i < c.Channels.size(); ++i)
            devices.push_back({"Dev " + c.Channels[i], static_cast<std::uint32_t>(10 + i),
                               c.Channels[i], SpiDeviceFt2232H});
        Sim.SetDevices(devices);
        Console.clear();
        std::string message;
        std::uint8_t in[4] = {};
        const int error = ErrorOf([&] { ReadFwVer(in); }, &message);
        if (c.Opens) {
            ASSERT_EQ(error, 0);
            EXPECT_NE(std::find(Sim.Calls().begin(), Sim.Calls().end(), "Open Dev A"),
                      Sim.Calls().end());
            ExchangeCmd(CmdCloseLink, nullptr, 0, nullptr, 0, DefaultTimeoutMs);
        } else {
            EXPECT_EQ(error, RecErrNotConnected);
            EXPECT_EQ(message, "Adapter not connected");
            EXPECT_FALSE(Sim.IsOpen());
        }
        if (c.ChannelLine != nullptr) {
            EXPECT_NE(Console.find(c.ChannelLine), std::string::npos) << Console;
        }
    }
    // Close link has no answer in the table; it still closed the adapter.
    EXPECT_FALSE(Sim.IsOpen());
}

TEST_F(SpiExchangeTest, OutgoingRecordAbove128BytesFailsBeforeAnythingIsSent) {
    std::vector<std::uint8_t> out(129, 0x42);
    std::string message;
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(11, out.data(), 129, nullptr, 0, 1000); }, &message),
              RecErrOutSize);
    EXPECT_EQ(message, "Invalid Out Data Size");
    EXPECT_EQ(Sim.OpenCount(), 0u);
    EXPECT_TRUE(Sim.Commands().empty());

    // 128 bytes is the most a frame takes.
    Recorder.SetAnswer(11, TSimReply{0, {}});
    ExchangeCmd(11, out.data(), 128, nullptr, 0, 1000);
    ASSERT_EQ(Sim.Commands().size(), 1u);
    EXPECT_EQ(Sim.Commands()[0].Data, std::vector<std::uint8_t>(128, 0x42));
}

TEST_F(SpiExchangeTest, ReplyOfTheWrongSizeFailsWith8AfterFiveLoggedTries) {
    SetDebugLogLevel(1);
    Recorder.SetAnswer(CmdFlashParam, TSimReply{0, std::vector<std::uint8_t>(9, 1)});
    std::uint8_t in[11] = {};
    std::string message;
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdFlashParam, nullptr, 0, in, 11, 1000); }, &message),
              RecErrInSize);
    EXPECT_EQ(message, "Invalid In Data Size");
    EXPECT_EQ(Sim.Commands().size(), 5u);
    EXPECT_EQ(CountLog("Invalid In Data Size. Requested 11 bytes, returned 9 bytes"), 5u);
    for (int t = 1; t <= 5; ++t)
        EXPECT_EQ(
            CountLog("Try " + std::to_string(t) + " FAILED!!! SendReceiveCmd return value: 8"), 1u);
    EXPECT_EQ(CountLog("Received Pkt: status: 0; cmd: 12; size: 9"), 5u);
    EXPECT_EQ(CountLog("FAILED!!! Cmd: 12; ErrCode: 8"), 1u);
    // Each exchange logs one level deeper, its diagnostics two.
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  Executing command..."), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "    Invalid In Data Size. Requested 11 bytes, returned 9 bytes"),
              lines.end());
    EXPECT_EQ(GetDebugLogNesting(), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 11), std::vector<std::uint8_t>(11, 0));
}

TEST_F(SpiExchangeTest, TimeOutIsReportedAsTimeOutAfterEveryTryReopened) {
    SetDebugLogLevel(1);
    Sim.InjectFault(TSimFault::NoReply, CmdFwVer, 5);
    EXPECT_EQ(FwVerError(), RecErrTimeout);
    EXPECT_EQ(Sim.Commands().size(), 5u);
    EXPECT_EQ(Sim.OpenCount(), 5u);
    EXPECT_FALSE(Sim.IsOpen());
    EXPECT_EQ(CountLog("Invalid In Data Size. Requested 4 bytes, returned 0 bytes"), 0u);
    EXPECT_EQ(CountLog("Try 5 FAILED!!! SendReceiveCmd return value: 6"), 1u);
    EXPECT_EQ(CountLog("Close SPI adapter"), 5u);
}

TEST_F(SpiExchangeTest, ATransientFailureIsRetriedOnAFreshlyOpenedAdapter) {
    Sim.InjectFault(TSimFault::BadCrc, CmdFwVer, 1);
    std::uint8_t in[4] = {};
    ReadFwVer(in);
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 4), FwVer);
    EXPECT_EQ(Sim.Commands().size(), 2u);
    EXPECT_EQ(Sim.OpenCount(), 2u);
}

TEST_F(SpiExchangeTest, RtcIsTriedTwiceAndAPresentAdapterStaysOpen) {
    SetDebugLogLevel(1);
    Sim.InjectFault(TSimFault::NoReply, CmdRtc, 2);
    std::uint8_t in[5] = {};
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdRtc, nullptr, 0, in, 5, RtcPollTimeoutMs); }),
              RecErrTimeout);
    EXPECT_EQ(Sim.Commands().size(), 2u);
    EXPECT_EQ(Sim.OpenCount(), 1u);
    EXPECT_TRUE(Sim.IsOpen());
    EXPECT_EQ(CountLog("Close SPI adapter"), 0u);
}

TEST_F(SpiExchangeTest, RtcTriesCountFourAndFive) {
    SetDebugLogLevel(1);
    // The device count fails after each try, so both failures are logged and close.
    Sim.FailDeviceCountQueries({false, true, false, true});
    Sim.InjectFault(TSimFault::NoReply, CmdRtc, 2);
    std::uint8_t in[5] = {};
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdRtc, nullptr, 0, in, 5, RtcPollTimeoutMs); }),
              RecErrTimeout);
    EXPECT_EQ(CountLog("Try 4 FAILED!!! SendReceiveCmd return value: 6"), 1u);
    EXPECT_EQ(CountLog("Try 5 FAILED!!! SendReceiveCmd return value: 6"), 1u);
    EXPECT_EQ(Sim.OpenCount(), 2u);
}

TEST_F(SpiExchangeTest, LateReplyToAnotherCommandIsNotTaken) {
    SetDebugLogLevel(1);
    const std::vector<std::uint8_t> time = {0x00, 0x78, 0x56, 0x34, 0x12};
    Recorder.SetAnswer(CmdRtc, TSimReply{0, time});
    // A sound 5-byte reply to FW_VER comes first: it has the size RTC expects.
    Sim.InjectFault(TSimFault::LateReply, CmdRtc, 1);
    std::uint8_t in[5] = {};
    ExchangeCmd(CmdRtc, nullptr, 0, in, 5, RtcPollTimeoutMs);
    EXPECT_EQ(std::vector<std::uint8_t>(in, in + 5), time);
    EXPECT_EQ(Sim.Commands().size(), 1u);
    EXPECT_EQ(CountLog("Reply to command 9 discarded, waiting for command 1"), 1u);
}

TEST_F(SpiExchangeTest, SetDefaultToleratesATimeOutAndNothingElse) {
    const std::uint8_t erase = RequestSet;
    struct TCase {
        TSimFault Fault;
        int Expected;
        std::size_t Commands;
    } cases[] = {
        {TSimFault::NoReply, 0, 1},
        {TSimFault::Status4, RecErrStatus4, 5},
        {TSimFault::BadCrc, RecErrChecksum, 5},
        {TSimFault::OversizeReply, RecErrInSize, 5},
    };
    Recorder.SetAnswer(CmdSetDefault, TSimReply{0, {0}});
    Recorder.SetAnswer(CmdCloseLink, TSimReply{0, {}});
    for (const TCase& c : cases) {
        const std::size_t before = Sim.Commands().size();
        Sim.InjectFault(c.Fault, CmdSetDefault, static_cast<int>(c.Commands));
        EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdSetDefault, &erase, 1, nullptr, 1, 1000); }),
                  c.Expected);
        EXPECT_EQ(Sim.Commands().size() - before, c.Commands);
    }
    // An adapter that cannot be opened is reported for SET_DEFAULT too.
    ExchangeCmd(CmdCloseLink, nullptr, 0, nullptr, 0, 1000);
    Sim.SetDevices({});
    EXPECT_EQ(ErrorOf([&] { ExchangeCmd(CmdSetDefault, &erase, 1, nullptr, 1, 1000); }),
              RecErrNotConnected);
}

TEST_F(SpiExchangeTest, CloseLinkCommandClosesTheAdapter) {
    Recorder.SetAnswer(CmdCloseLink, TSimReply{0, {}});
    std::uint8_t in[4] = {};
    ReadFwVer(in);
    ExchangeCmd(CmdCloseLink, nullptr, 0, nullptr, 0, DefaultTimeoutMs);
    EXPECT_FALSE(Sim.IsOpen());
    EXPECT_EQ(SpiAdapterHandle(), 0u);
    ReadFwVer(in);
    EXPECT_EQ(Sim.OpenCount(), 2u);
}

TEST_F(SpiExchangeTest, ReplyFaultsGiveTheirCodes) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    struct TCase {
        const char* Name;
        std::vector<TSimFault> Faults;
        int Expected;
    } cases[] = {
        {"status 2", {TSimFault::Status2}, RecErrStatus2},
        {"status 4", {TSimFault::Status4}, RecErrStatus4},
        {"status 4 and a bad CRC", {TSimFault::Status4, TSimFault::BadCrc}, RecErrStatus4},
        {"bad CRC", {TSimFault::BadCrc}, RecErrChecksum},
        {"size field 129", {TSimFault::OversizeReply}, RecErrInSize},
        {"no marker", {TSimFault::NoMarker}, RecErrChecksum},
        {"no reply", {TSimFault::NoReply}, RecErrTimeout},
        {"none", {}, RecErrSuccess},
    };
    for (const TCase& c : cases) {
        for (TSimFault f : c.Faults)
            Sim.InjectFault(f, CmdFwVer, 1);
        std::uint8_t data[SpiFrameMaxData] = {};
        TSpiPacket packet{0, CmdFwVer, 0, data};
        EXPECT_EQ(SendReceiveCmd(packet, 1000), c.Expected) << c.Name;
        if (c.Expected == RecErrSuccess) {
            EXPECT_EQ(packet.Status, 0);
            EXPECT_EQ(packet.Command, CmdFwVer);
            EXPECT_EQ(packet.Size, 4u);
            EXPECT_EQ(std::vector<std::uint8_t>(data, data + 4), FwVer);
        }
    }
    // A time-out waits its time-out on the clock, not longer.
    Sim.InjectFault(TSimFault::NoReply, CmdFwVer, 1);
    const std::uint64_t start = Clock.NowMs();
    std::uint8_t data[SpiFrameMaxData] = {};
    TSpiPacket packet{0, CmdFwVer, 0, data};
    EXPECT_EQ(SendReceiveCmd(packet, 250), RecErrTimeout);
    EXPECT_GE(Clock.NowMs() - start, 250u);
    EXPECT_LT(Clock.NowMs() - start, 300u);
}

TEST_F(SpiExchangeTest, LibraryFailuresAreReportedNotWaitedOut) {
    ASSERT_NE(OpenSpiAdapter(SpiLinkClockDivisor), 0u);
    Sim.FailTransfers(true);
    std::uint8_t data[SpiFrameMaxData] = {};
    TSpiPacket packet{0, CmdFwVer, 0, data};
    EXPECT_EQ(SendReceiveCmd(packet, 1000), RecErrNotConnected);
    packet.Size = 129;
    EXPECT_EQ(SendReceiveCmd(packet, 1000), RecErrOutSize);
}

} // namespace
