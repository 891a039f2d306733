#include <gtest/gtest.h>

#include "FixtureDevice.h"
#include "engine/RecClasses.h"

namespace {

using namespace fixture;

// Pages of 512 bytes: 510 bytes of sound before the page-information word.
struct DecodePages : ::testing::Test {
    TFakeDevice Device{{512, 8, 16, 1}};
    TFakeUi Ui;
    TRecorder Recorder{ConnUsb20SpiAdapter, Ui, Device.Transport()};
    void SetUp() override { ASSERT_TRUE(Recorder.IsConnected()); }

    static TBlockHeader Header(std::uint8_t type, std::uint8_t param, std::uint8_t rate = 3) {
        THeaderSpec h;
        h.Type = type;
        h.Param = param;
        h.Rate = rate;
        return TBlockHeader::FromBytes(h.ToBytes().data());
    }
    std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& pcm) {
        std::vector<std::int16_t> s(pcm.size() / 2);
        for (std::size_t i = 0; i < s.size(); ++i)
            s[i] = static_cast<std::int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8));
        return s;
    }
};

TEST_F(DecodePages, PlainSoundIsCopiedWithoutThePageInformation) {
    Bytes pages(2 * 512);
    for (std::size_t i = 0; i < pages.size(); ++i)
        pages[i] = static_cast<std::uint8_t>(i * 3);
    const Bytes original = pages;
    const auto pcm = Recorder.DecodePages(Header(0, 0), true, 2, pages.data(), 64, false);
    Bytes expected(original.begin() + 64, original.begin() + 510);
    expected.insert(expected.end(), original.begin() + 512, original.begin() + 1022);
    EXPECT_EQ(pcm, expected);
}

TEST_F(DecodePages, TrimZeroesTrailingOnesOfAtMostOnePage) {
    Bytes one(512, 0x11);
    std::fill(one.end() - 32, one.end(), 0xFF); // the last 16 words, page information included
    Bytes copy = one;
    auto pcm = Recorder.DecodePages(Header(0, 0), false, 1, one.data(), 0, true);
    ASSERT_EQ(pcm.size(), 510u);
    EXPECT_EQ(pcm[479], 0x11);
    EXPECT_TRUE(std::all_of(pcm.begin() + 480, pcm.end(), [](std::uint8_t b) { return b == 0; }));
    pcm = Recorder.DecodePages(Header(0, 0), false, 1, copy.data(), 0, false);
    EXPECT_EQ(pcm[480], 0xFF);

    Bytes two(1024, 0xFF);
    pcm = Recorder.DecodePages(Header(0, 0), false, 2, two.data(), 0, true);
    ASSERT_EQ(pcm.size(), 1020u);
    EXPECT_EQ(pcm[509], 0xFF); // the first page is left as it is
    EXPECT_EQ(pcm[510], 0x00);
}

TEST_F(DecodePages, ULawStartsAtTheGivenOffsetOnEveryKindOfPage) {
    // A run that starts inside a block: its first page's sound begins at byte 0.
    Bytes pages(2 * 512, 0x00);
    pages[0] = 0x11;   // header: shift 1, scale 1
    pages[1] = 0x7F;   // 2047 << 2
    pages[2] = 0x81;   // -(1 << 2)
    pages[512] = 0x00; // the next page starts a block of its own
    pages[513] = 0xFF;
    const auto samples =
        Samples(Recorder.DecodePages(Header(1, 1), false, 2, pages.data(), 0, false));
    // 8000 Hz: blocks of 160 samples, so the 510 bytes of a page hold 4 headers.
    const std::size_t perPage = 510 - 4;
    ASSERT_EQ(samples.size(), 2 * perPage);
    EXPECT_EQ(samples[0], 2047 * 4);
    EXPECT_EQ(samples[1], -4);
    EXPECT_EQ(samples[2], 0);
    EXPECT_EQ(samples[perPage], -2047);

    // At a block's first page the caller gives the offset past the header area.
    Bytes first(512, 0x00);
    first[64] = 0x00;
    first[65] = 0x7F;
    const auto atStart =
        Samples(Recorder.DecodePages(Header(1, 0), true, 1, first.data(), 64, false));
    ASSERT_EQ(atStart.size(), 446u - 3);
    EXPECT_EQ(atStart[0], 2047);
}

TEST_F(DecodePages, AdpcmPagesDecodeEachByItself) {
    Bytes pages(2 * 512, 0x00);
    pages[66] = 0x70;      // first page: codes from the given offset
    pages[512 + 2] = 0x70; // later page: codes from byte 2
    const auto four = Samples(Recorder.DecodePages(Header(2, 2), true, 2, pages.data(), 66, false));
    ASSERT_EQ(four.size(), (510u - 66) * 2 + (512u - 4) * 2);
    EXPECT_EQ(four[0], 11); // code 7 from (0, 0)
    EXPECT_EQ(four[1], 13); // then code 0 at step index 8
    EXPECT_EQ(four[(510 - 66) * 2], 11);
    EXPECT_EQ(four[(510 - 66) * 2 + 1], 13);

    Bytes two(512, 0x00);
    two[2] = 0b01001110;
    const auto twoBit = Samples(Recorder.DecodePages(Header(2, 1), false, 1, two.data(), 2, false));
    ASSERT_EQ(twoBit.size(), (512u - 4) * 4);
    EXPECT_EQ(std::vector<std::int16_t>(twoBit.begin(), twoBit.begin() + 4),
              (std::vector<std::int16_t>{7, 7, 0, 0}));
}

TEST_F(DecodePages, NothingForUnknownCodecsOrEmptyRuns) {
    Bytes page(512, 0x12);
    EXPECT_TRUE(Recorder.DecodePages(Header(3, 0), true, 1, page.data(), 64, false).empty());
    EXPECT_TRUE(Recorder.DecodePages(Header(0, 0), true, 0, page.data(), 64, false).empty());
    // An offset past the sound area gives no bytes for that page, and no read past it.
    EXPECT_TRUE(Recorder.DecodePages(Header(0, 0), true, 1, page.data(), 9999, false).empty());
    EXPECT_TRUE(Recorder.DecodePages(Header(2, 2), true, 1, page.data(), 9999, false).empty());
}

} // namespace
