#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "link/ImageFile.h"
#include "link/RecXchange.h"
#include "link/SimClock.h"
#include "link/SimImageRecorder.h"
#include "link/SimSpiAdapter.h"
#include "link/SpiLink.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::TTempDir;

// The same image answered two ways: directly by the image exchange, and by a simulated
// recorder over the SPI link. Both must give the same bytes.
class SimImageRecorderTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t PageSize = DefaultImagePageSize;
    static constexpr std::uint32_t PagesPerBlock = DefaultImagePagesPerBlock;

    SimImageRecorderTest() {
        SetImageFile(Path, true);
        // Blocks 1 to 3 get a pattern; block 0 is the image's own bookkeeping.
        std::vector<std::uint8_t> data(3 * PagesPerBlock * PageSize);
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<std::uint8_t>(i * 31 + (i >> 11));
        TFlashWriteRequest w;
        w.Data = data.data();
        w.PageAddr = PagesPerBlock;
        w.Cycles = 3 * PagesPerBlock;
        w.TotalCount = static_cast<std::uint32_t>(data.size());
        ImageExchangeCmd(CmdFlashWrite, &w, sizeof w, nullptr, 0, 0);

        Device = std::make_unique<SimImageRecorder>(Path);
        Sim = std::make_unique<SimSpiAdapter>(*Device, Clock);
        TSpiLinkServices services;
        services.Adapter = Sim.get();
        services.NowMs = [this] { return Clock.NowMs(); };
        services.SleepMs = [this](std::uint32_t ms) { Clock.SleepMs(ms); };
        services.Console = [](const std::string&) {};
        SetSpiLinkServices(services);
    }
    ~SimImageRecorderTest() override { ResetSpiLinkServices(); }

    static std::vector<std::uint8_t> Read(TExchangeCmdFunc exchange, std::uint32_t page,
                                          std::uint32_t cycles, std::uint16_t count,
                                          std::uint16_t offset, std::uint16_t addrInc) {
        std::vector<std::uint8_t> host(std::size_t{cycles} * count);
        TFlashReadRequest r;
        r.HostBuffer = host.data();
        r.PageAddr = page;
        r.Cycles = cycles;
        r.Count = count;
        r.Offset = offset;
        r.AddrInc = addrInc;
        exchange(CmdFlashRead, &r, sizeof r, nullptr, 0, DefaultTimeoutMs);
        return host;
    }

    TTempDir Dir;
    std::string Path = Dir.File("recorder.ovk");
    SimClock Clock;
    std::unique_ptr<SimImageRecorder> Device;
    std::unique_ptr<SimSpiAdapter> Sim;
};

TEST_F(SimImageRecorderTest, FlashReadsGiveTheImagesBytes) {
    struct TCase {
        std::uint32_t Page, Cycles;
        std::uint16_t Count, Offset, AddrInc;
    } cases[] = {
        {PagesPerBlock, PagesPerBlock, 2112, 0, 1}, // a whole block of pages
        {PagesPerBlock, 3, 20, 0, PagesPerBlock},   // block headers
        {PagesPerBlock + 5, 4, 64, 2048, 1},        // spare areas
        {0, 2, 100, 0, 1},                          // the bookkeeping block
        {63 * PagesPerBlock + 62, 2, 2112, 0, 1},   // the image's last pages
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Read(ExchangeCmd, c.Page, c.Cycles, c.Count, c.Offset, c.AddrInc),
                  Read(ImageExchangeCmd, c.Page, c.Cycles, c.Count, c.Offset, c.AddrInc))
            << "page " << c.Page << " count " << c.Count;
    }
}

TEST_F(SimImageRecorderTest, FramedCommandsAnswerAsTheImageDoes) {
    for (std::uint8_t command : {CmdFlashParam, CmdFwVer, CmdPwVolt, CmdProdParam}) {
        const std::uint32_t size = command == CmdFlashParam ? 11
                                   : command == CmdFwVer    ? 4
                                   : command == CmdPwVolt   ? 2
                                                            : 9;
        std::vector<std::uint8_t> out(size, 0), viaSpi(size, 0xAA), viaImage(size, 0x55);
        ExchangeCmd(command, command == CmdProdParam ? out.data() : nullptr,
                    command == CmdProdParam ? size : 0, viaSpi.data(), size, DefaultTimeoutMs);
        ImageExchangeCmd(command, command == CmdProdParam ? out.data() : nullptr,
                         command == CmdProdParam ? size : 0, viaImage.data(), size, 0);
        EXPECT_EQ(viaSpi, viaImage) << "command " << int(command);
    }
    TCheckPwRecord check;
    check.Password.fill(0xFF);
    const auto request = check.ToBytes();
    std::array<std::uint8_t, TCheckPwRecord::Size> answer{};
    ExchangeCmd(CmdCheckPw, request.data(), request.size(), answer.data(), answer.size(), 1000);
    EXPECT_EQ(answer, request);
}

TEST_F(SimImageRecorderTest, FlashWriteAndEraseLandInTheImage) {
    std::vector<std::uint8_t> pages(2 * PageSize);
    for (std::size_t i = 0; i < pages.size(); ++i)
        pages[i] = static_cast<std::uint8_t>(0xC3 ^ i);
    TFlashWriteRequest w;
    w.Data = pages.data();
    w.PageAddr = 5 * PagesPerBlock + 7;
    w.Cycles = 2;
    w.TotalCount = static_cast<std::uint32_t>(pages.size());
    ExchangeCmd(CmdFlashWrite, &w, sizeof w, nullptr, 0, DefaultTimeoutMs);
    EXPECT_EQ(Read(ImageExchangeCmd, w.PageAddr, 2, 2112, 0, 1), pages);

    const auto block = TBlockNumberRecord{2}.ToBytes();
    std::uint8_t reply[4];
    ExchangeCmd(CmdEraseBlock, block.data(), block.size(), reply, 4, DefaultTimeoutMs);
    EXPECT_EQ(Read(ImageExchangeCmd, 2 * PagesPerBlock, PagesPerBlock, 2112, 0, 1),
              std::vector<std::uint8_t>(PagesPerBlock * PageSize, 0xFF));
}

TEST_F(SimImageRecorderTest, ProfilesTravelNegatedAndLandInTheHeader) {
    std::array<std::uint8_t, ProfRecordSize> profile{};
    profile[0] = RequestGet;
    profile[1] = 3;
    ExchangeCmd(CmdProf, profile.data(), profile.size(), profile.data(), profile.size(), 1000);
    const TImageHeader header = GetImageHeader();
    const std::uint8_t* stored = &header[ImgSettingsOfs + 2 * ProfRecordSize];
    EXPECT_EQ(std::vector<std::uint8_t>(profile.begin() + 2, profile.begin() + 10),
              std::vector<std::uint8_t>(stored + 2, stored + 10));
    EXPECT_EQ(profile[29], static_cast<std::uint8_t>(-stored[29]));

    profile[0] = RequestSet;
    profile[29] = 30; // the wire form of -30 dB
    profile[10] = 5;
    ExchangeCmd(CmdProf, profile.data(), profile.size(), profile.data(), profile.size(), 1000);
    const TImageHeader after = GetImageHeader();
    EXPECT_EQ(after[ImgSettingsOfs + 2 * ProfRecordSize + 29], static_cast<std::uint8_t>(-30));
    EXPECT_EQ(after[ImgSettingsOfs + 2 * ProfRecordSize + 10], 5);

    std::uint8_t active[2] = {RequestSet, 6};
    ExchangeCmd(CmdActiveProf, active, 2, active, 2, 1000);
    std::uint8_t read[2] = {RequestGet, 0};
    ExchangeCmd(CmdActiveProf, read, 2, read, 2, 1000);
    EXPECT_EQ(read[1], 6);
    EXPECT_EQ(GetImageHeader()[ImgSettingsOfs + 308], 6);
    // The header on disk took it too.
    ASSERT_TRUE(ReadImageHeader());
    EXPECT_EQ(GetImageHeader()[ImgSettingsOfs + 308], 6);
}

TEST_F(SimImageRecorderTest, UnknownCommandsGetAnErrorStatus) {
    std::uint8_t reply[4];
    try {
        ExchangeCmd(5, nullptr, 0, reply, 4, DefaultTimeoutMs);
        FAIL() << "command 5 was answered";
    } catch (const TERecXchange& e) {
        EXPECT_EQ(e.ErrorCode(), RecErrStatus2);
        EXPECT_EQ(e.MessageUtf8(), "Exchange error");
    }
}

} // namespace
