#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>

#include "link/DebugLog.h"
#include "link/RecXchange.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TTempDir;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DebugLogTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetDebugLogLevel(0);
        SetDebugLogNesting(0);
    }
    TTempDir Dir{/*enter=*/true};
};

TEST_F(DebugLogTest, LevelZeroCreatesNoFile) {
    SetDebugLogLevel(0);
    WriteDebugLog("nothing");
    EXPECT_FALSE(std::filesystem::exists(Dir.File("debug.log")));
}

TEST_F(DebugLogTest, LineFormatWithNestingAndCrLf) {
    EXPECT_EQ(FormatDebugLogLine(5, 7, 42, 2, "text"), "05:07:042     text");
    SetDebugLogLevel(1);
    SetDebugLogNesting(2);
    WriteDebugLog("first");
    WriteDebugLog("second");
    const std::string log = ReadAll(Dir.File("debug.log"));
    ASSERT_EQ(log.size(), 2 * std::string("mm:ss:mmm     first\r\n").size() + 1);
    EXPECT_EQ(log.substr(10, 4 + 5 + 2), "    first\r\n");
    EXPECT_EQ(log[log.size() - 2], '\r');
    EXPECT_EQ(log.back(), '\n');
}

TEST_F(DebugLogTest, NestingRestoredWhenAnExceptionLeaves) {
    SetDebugLogNesting(3);
    try {
        TDebugLogNesting outer;
        TDebugLogNesting inner;
        EXPECT_EQ(GetDebugLogNesting(), 5);
        throw std::runtime_error("exchange failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(GetDebugLogNesting(), 3);
}

TEST_F(DebugLogTest, FailureLine) {
    SetDebugLogLevel(1);
    LogExchangeFailure(TERecXchange("I/O Error", 4, 1));
    const std::string log = ReadAll(Dir.File("debug.log"));
    EXPECT_EQ(log.substr(10), "FAILED!!! Cmd: 4; ErrCode: 1\r\n");
}

TEST(DescribeCommand, BeforeTheExchange) {
    TFlashReadRequest read;
    read.PageAddr = 128;
    read.Offset = 2048;
    read.Count = 20;
    read.AddrInc = 64;
    read.Cycles = 3;
    TFlashWriteRequest write;
    write.PageAddr = 64;
    write.TotalCount = 4224;
    write.Cycles = 2;
    const auto erase = TBlockNumberRecord{17}.ToBytes();
    struct TCase {
        std::uint8_t Command;
        const void* Record;
        std::uint32_t Size;
        std::string Expected;
    } cases[] = {
        {CmdRtc, nullptr, 0, "Command: 1 (RTC) "},
        {CmdCheckPw, nullptr, 0, "Command: 13 (CHECK_PW) "},
        {CmdFlashRead, &read, sizeof read,
         "Command: 2 (FLASH_READ) PageAddr = 128; Offset = 2048; Count = 20; AddrInc = 64; "
         "Cycles = 3; "},
        {CmdFlashWrite, &write, sizeof write,
         "Command: 3 (FLASH_WRITE) PageAddr = 64; TotalCount = 4224; Cycles = 2; "},
        {CmdEraseBlock, erase.data(), 4, "Command: 4 (ERASE_BLOCK) BlockNumber = 17"},
        {CmdEraseBlockPhy, erase.data(), 4, "Command: 16 (ERASE_BLOCK_PHY) PhyBlockNumber = 17"},
        {5, nullptr, 0, "Command: 5 "},
        {11, nullptr, 0, "Command: 11 "},
        {CmdCloseLink, nullptr, 0, "Command: 15 "},
        {40, nullptr, 0, "Command: 40 "},
        // A record too short for its fields prints none of them.
        {CmdEraseBlock, erase.data(), 2, "Command: 4 (ERASE_BLOCK) "},
        {CmdFlashRead, &read, 4, "Command: 2 (FLASH_READ) "},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DescribeCommandText(true, c.Command, c.Record, c.Size), c.Expected)
            << int(c.Command);
}

TEST(DescribeCommand, AfterTheExchange) {
    TFlashParamRecord geometry;
    geometry.FlashCount = 2;
    geometry.PagesPerBlock = 64;
    geometry.BlocksPerFlash = 4096;
    geometry.PageSize = 2112;
    geometry.FirstRecBlock = 1;
    geometry.TransferDivisor = 2;
    const auto reply = geometry.ToBytes();
    EXPECT_EQ(DescribeCommandText(false, CmdFlashParam, reply.data(), reply.size()),
              "Result: FlashCount = 2; PageSize = 2112; PagesPerBlock = 64; BlocksPerFlash = 4096; "
              "FirstRecBlock = 1; ");
    for (std::uint8_t command : {1, 5, 11, 15, 16})
        EXPECT_EQ(DescribeCommandText(false, command, nullptr, 0), "Result: OK");
    EXPECT_EQ(DescribeCommandText(false, CmdFlashParam, reply.data(), 10), "Result: OK");
}

TEST(WireRecords, LittleEndianLayouts) {
    TRtcRecord rtc{RequestSet, 0x11223344};
    EXPECT_EQ(rtc.ToBytes(), (std::array<std::uint8_t, 5>{0xFF, 0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(TRtcRecord::FromBytes(rtc.ToBytes().data()).Time, 0x11223344u);

    const std::array<std::uint8_t, 11> flash = {2, 64, 0, 0x00, 0x10, 0x40, 0x08, 1, 0, 2, 0};
    const auto f = TFlashParamRecord::FromBytes(flash.data());
    EXPECT_EQ(f.FlashCount, 2);
    EXPECT_EQ(f.PagesPerBlock, 64);
    EXPECT_EQ(f.BlocksPerFlash, 4096);
    EXPECT_EQ(f.PageSize, 2112);
    EXPECT_EQ(f.FirstRecBlock, 1);
    EXPECT_EQ(f.TransferDivisor, 2);
    EXPECT_EQ(f.ToBytes(), flash);

    const std::array<std::uint8_t, 9> prod = {0, 0x15, 0xCD, 0x5B, 0x07, 9, 9, 9, 9};
    EXPECT_EQ(TProdParamRecord::FromBytes(prod.data()).SerialNumber, 123456789u);
    EXPECT_EQ(TFwVerRecord::FromBytes(TFwVerRecord{0x010A, 0x0101}.ToBytes().data()).Version,
              0x010A);
}

TEST(TERecXchangeTest, CarriesCommandCodeAndBoundedWideMessage) {
    const TERecXchange e("Exchange error", 12, RecErrTimeout);
    EXPECT_EQ(e.Command(), 12);
    EXPECT_EQ(e.ErrorCode(), 6);
    EXPECT_EQ(e.Message(), u"Exchange error");
    const TERecXchange longOne(std::string(400, 'x'), 1, 1);
    EXPECT_EQ(longOne.Message().size(), 259u);
    EXPECT_EQ(TERecXchange("Ошибка", 1, 1).MessageUtf8(), "Ошибка");
    EXPECT_STREQ(RecErrorMessage(RecErrIo), "I/O Error");
    EXPECT_STREQ(RecErrorMessage(RecErrOutSize), "Invalid Out Data Size");
    EXPECT_STREQ(RecErrorMessage(RecErrInSize), "Invalid In Data Size");
    EXPECT_STREQ(RecErrorMessage(RecErrNotConnected), "Adapter not connected");
    for (int code : {2, 4, 5, 6, 9})
        EXPECT_STREQ(RecErrorMessage(code), "Exchange error");
}

} // namespace
