#include <gtest/gtest.h>

#include "FixtureBytes.h"
#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesGeometry.h"
#include "engine/RecClassesUtils.h"

namespace {

using fixture::Bytes;

// A header built from the layout table with an independent CRC.
Bytes LayoutHeader(std::uint16_t number, std::uint32_t time, std::uint16_t index, std::uint8_t type,
                   std::uint8_t param, std::uint8_t rate, std::uint8_t b11, std::uint8_t b12,
                   std::uint8_t b13, std::uint8_t b14) {
    Bytes h(20, 0xFF);
    fixture::Put16(&h[0], number);
    fixture::Put32(&h[2], time);
    fixture::Put16(&h[6], index);
    h[8] = type;
    h[9] = param;
    h[10] = rate;
    h[11] = b11;
    h[12] = b12;
    h[13] = b13;
    h[14] = b14;
    fixture::Put16(&h[18], fixture::BitwiseCrc16(h.data(), 18, 0xAB));
    return h;
}

TEST(VoteTripleCopy, FirstCopyWinsWhenTheFirstTwoAgreeElseTheThird) {
    const std::uint8_t record[] = {0x11, 0x22, 0x33, 0x11, 0x44, 0x55, 0x99, 0x22, 0x33};
    std::uint8_t voted[3] = {};
    VoteTripleCopy(record, voted, 3);
    EXPECT_EQ(Bytes(voted, voted + 3), (Bytes{0x11, 0x22, 0x33}));

    const std::uint8_t allDiffer[] = {0xAA, 0xBB, 0xCC};
    std::uint8_t one = 0;
    VoteTripleCopy(allDiffer, &one, 1);
    EXPECT_EQ(one, 0xCC);
}

TEST(VoteTripleCopy, MakeTripleCopyVotesBack) {
    const std::uint8_t source[4] = {1, 2, 3, 4};
    std::uint8_t area[12] = {};
    MakeTripleCopy(area, source, 4);
    std::uint8_t back[4] = {};
    VoteTripleCopy(area, back, 4);
    EXPECT_EQ(Bytes(back, back + 4), Bytes(source, source + 4));
}

TEST(BlockHeader, RecordingFieldsFromTheLayout) {
    const Bytes raw = LayoutHeader(0x1234, 0x5F000001, 7, 2, 1, 3, 0x41, 1, 0x80, 4);
    const TBlockHeader h = TBlockHeader::FromBytes(raw.data());
    EXPECT_TRUE(h.IsValid());
    EXPECT_FALSE(h.IsEmpty());
    EXPECT_FALSE(h.IsDriveFile());
    EXPECT_EQ(h.FileNumber(), 0x1234);
    EXPECT_EQ(h.Time(), 0x5F000001u);
    EXPECT_EQ(h.BlockIndex(), 7);
    EXPECT_EQ(h.CompressionType(), 2);
    EXPECT_EQ(h.CompressionParam(), 1);
    EXPECT_EQ(h.RateCode(), 3);
    EXPECT_EQ(h.Status(), StatusDownloaded);
    EXPECT_TRUE(h.RecordedWithVas());
    EXPECT_TRUE(h.IsCyclic());
    EXPECT_TRUE(h.IsFirstBlock());
    EXPECT_EQ(h.ChannelMode(), 4);
    std::uint8_t back[20];
    h.WriteTo(back);
    EXPECT_EQ(Bytes(back, back + 20), raw);
}

TEST(BlockHeader, DriveFieldsFromTheLayout) {
    Bytes raw(20, 0xFF);
    fixture::Put16(&raw[0], 0x8000 | 5);
    fixture::Put32(&raw[2], 1000);
    fixture::Put32(&raw[6], 123456);
    fixture::Put16(&raw[10], 3);
    raw[12] = 1;
    fixture::Put16(&raw[18], fixture::BitwiseCrc16(raw.data(), 18, 0xAB));
    const TBlockHeader h = TBlockHeader::FromBytes(raw.data());
    EXPECT_TRUE(h.IsValid());
    EXPECT_TRUE(h.IsDriveFile());
    EXPECT_EQ(h.DriveFileNumber(), 5);
    EXPECT_EQ(h.DriveFileSize(), 123456u);
    EXPECT_EQ(h.DriveBlockIndex(), 3);
    EXPECT_TRUE(h.IsFolder());
}

TEST(BlockHeader, ValidityIsTheCrcOrAllOnes) {
    EXPECT_TRUE(TBlockHeader().IsEmpty());
    EXPECT_TRUE(TBlockHeader().IsValid());

    Bytes raw = LayoutHeader(1, 2, 1, 0, 0, 3, 0, 0, 0x80, 0);
    for (std::size_t byte : {0u, 5u, 11u, 17u, 18u}) {
        Bytes broken = raw;
        broken[byte] ^= 0x01;
        EXPECT_FALSE(TBlockHeader::FromBytes(broken.data()).IsValid()) << "byte " << byte;
    }
    Bytes almostEmpty(20, 0xFF);
    almostEmpty[19] = 0xFE;
    EXPECT_FALSE(TBlockHeader::FromBytes(almostEmpty.data()).IsValid());
}

TEST(BlockHeader, StatusBitsKeepTheLowerSixBits) {
    struct Case {
        std::uint8_t status, byte11;
    };
    const Case cases[] = {{StatusNotDownloaded, 0x2A},
                          {StatusDownloaded, 0x6A},
                          {StatusUploaded, 0xAA},
                          {0x12, 0x2A}};
    for (const Case& c : cases) {
        Bytes raw = LayoutHeader(1, 2, 1, 0, 0, 3, 0xEA, 0, 0, 0);
        TBlockHeader h = TBlockHeader::FromBytes(raw.data());
        h.SetStatus(c.status);
        EXPECT_EQ(h.Raw()[11], c.byte11) << int(c.status);
        EXPECT_FALSE(h.IsValid()); // the CRC follows only on request
        h.UpdateCrc();
        EXPECT_TRUE(h.IsValid());
        EXPECT_EQ(h.StoredCrc(), fixture::BitwiseCrc16(h.Raw().data(), 18, 0xAB));
    }
    // Status bits 00 and 11 both read as not downloaded.
    EXPECT_EQ(
        TBlockHeader::FromBytes(LayoutHeader(1, 2, 1, 0, 0, 3, 0xC0, 0, 0, 0).data()).Status(),
        StatusNotDownloaded);
}

TEST(FirstBlockData, CallDigitsAreBounded) {
    Bytes raw(26, 0);
    fixture::Put16(&raw[0], 26);
    raw[2] = 1;
    raw[4] = 1;
    raw[5] = 3;
    raw[6] = 3;
    raw[7] = 10;
    raw[8] = 5;
    TFirstBlockData d = TFirstBlockData::FromBytes(raw.data());
    EXPECT_EQ(d.DataLength(), 26);
    EXPECT_TRUE(d.HasCallInfo());
    EXPECT_TRUE(d.IsOutgoingCall());
    EXPECT_EQ(d.DigitText(), "305");

    raw[5] = 200; // more digits than the record holds
    d = TFirstBlockData::FromBytes(raw.data());
    EXPECT_EQ(d.DigitCount(), 20u);
    EXPECT_EQ(d.DigitText().size(), 20u);
}

TFlashGeometry Geometry(std::uint16_t pageSize = 2112, std::uint16_t pagesPerBlock = 64) {
    return TFlashGeometry::FromFlashParams(1, pagesPerBlock, 64, pageSize, 1, 1);
}

TEST(Geometry, SoundPerBlockForEachCompression) {
    const TFlashGeometry g = Geometry();
    EXPECT_EQ(g.BlockSize(), 135168u);
    struct Case {
        std::uint8_t type, param;
        std::int64_t bytes;
    };
    const Case cases[] = {{CompressNone, 0, 134976},
                          {CompressULaw, 3, 269952},
                          {CompressAdpcm, 2, 539400},
                          {CompressAdpcm, AdpcmParam2Bit, 1078800},
                          {7, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(SoundDataPerBlock(g, c.type, c.param), c.bytes)
            << int(c.type) << "/" << int(c.param);
    EXPECT_NEAR(static_cast<double>(CalcSecondsPerBlock(g, 1, 3, 0, CompressNone)), 8.436, 1e-9);
    EXPECT_NEAR(static_cast<double>(CalcSecondsPerBlock(g, 2, 3, 0, CompressNone)), 4.218, 1e-9);
    EXPECT_EQ(CalcSecondsPerBlock(g, 1, 3, 0, 9), 0.0L);
}

TEST(Geometry, ValidationRefusesWhatWouldOverflowOrLoop) {
    struct Case {
        const char* name;
        std::uint8_t flashCount;
        std::uint16_t pagesPerBlock, blocksPerFlash, pageSize, firstRec, divisor;
        bool valid;
    };
    const Case cases[] = {
        {"image default", 1, 64, 64, 2112, 1, 1, true},
        {"device", 2, 64, 4096, 2112, 8, 4, true},
        {"zero page size", 1, 64, 64, 0, 1, 1, false},
        {"tiny page", 1, 64, 64, 100, 1, 1, false},
        {"zero pages per block", 1, 0, 64, 2112, 1, 1, false},
        {"one page per block", 1, 1, 64, 2112, 0, 1, false},
        {"zero divisor", 1, 64, 64, 2112, 1, 0, false},
        {"divisor above pages", 1, 64, 64, 2112, 1, 65, false},
        {"divisor not dividing", 1, 64, 64, 2112, 1, 3, false},
        {"no flash", 0, 64, 64, 2112, 1, 1, false},
        {"no blocks", 1, 64, 0, 2112, 0, 1, false},
        {"first block past the end", 1, 64, 64, 2112, 64, 1, false},
        {"huge block", 1, 1024, 64, 32768, 1, 1, false},
        {"too many blocks", 255, 64, 65535, 2112, 1, 1, false},
        {"65,536 blocks: every number fits 16 bits", 2, 64, 32768, 2112, 1, 1, true},
        {"65,535 blocks on one flash", 1, 64, 65535, 2112, 1, 1, true},
        {"65,538 blocks", 2, 64, 32769, 2112, 1, 1, false},
        {"2 x 33,000 blocks", 2, 64, 33000, 2112, 1, 1, false},
    };
    for (const Case& c : cases) {
        const TFlashGeometry g = TFlashGeometry::FromFlashParams(
            c.flashCount, c.pagesPerBlock, c.blocksPerFlash, c.pageSize, c.firstRec, c.divisor);
        std::string why;
        EXPECT_EQ(g.IsValid(&why), c.valid) << c.name << ": " << why;
        EXPECT_EQ(why.empty(), c.valid) << c.name;
    }
}

TEST(UnixTime, ConversionsWithoutTimeZone) {
    struct Case {
        TSystemTime time;
        std::uint32_t seconds;
    };
    const Case cases[] = {
        {{1969, 12, 0, 31, 23, 59, 59, 0}, 0},
        {{1970, 1, 0, 1, 0, 0, 0, 0}, 0},
        {{1970, 1, 0, 2, 0, 0, 0, 0}, 86400},
        {{2024, 2, 0, 29, 12, 34, 56, 789}, 1709210096},
        {{2106, 2, 0, 7, 6, 28, 15, 0}, 0xFFFFFFFFu},
        {{2106, 2, 0, 7, 6, 28, 16, 0}, 0}, // wraps as u32
        {{2024, 13, 0, 1, 0, 0, 0, 0}, 0},  // no such month
        {{2024, 1, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SystemTimeToUnixTime(c.time), c.seconds)
            << c.time.Year << "-" << c.time.Month << "-" << c.time.Day;

    const TSystemTime leap = UnixTimeToSystemTime(1709210096);
    EXPECT_EQ(leap, (TSystemTime{2024, 2, 4, 29, 12, 34, 56, 0})); // a Thursday
    const TSystemTime last = UnixTimeToSystemTime(0xFFFFFFFFu);
    EXPECT_EQ(last, (TSystemTime{2106, 2, 0, 7, 6, 28, 15, 0}));
    EXPECT_EQ(UnixTimeToSystemTime(0).DayOfWeek, 4);
}

TEST(UnixTime, RoundTripOverTheRange) {
    for (std::uint64_t s = 0; s <= 0xFFFFFFFFull; s += 0x01234567ull)
        EXPECT_EQ(SystemTimeToUnixTime(UnixTimeToSystemTime(static_cast<std::uint32_t>(s))), s);
}

} // namespace
