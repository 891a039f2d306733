#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "audio/CustomFile.h"
#include "engine/RecClasses.h"
#include "link/ReedSolomon.h"
#include "platform/PosixFile.h"
#include "tests/common/SimulatedAdapter.h"
#include "tests/support/TempDir.h"

// The whole way from the recorder object through the SPI link, the adapter framing and a
// simulated recorder over an image file (kind 4) must give what the image kind (1) gives
// over the same image: the same lists, the same recording bytes, the same drive file.

namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;

constexpr std::uint16_t PageSize = 2112;
constexpr std::uint16_t PagesPerBlock = 16;
constexpr double PlainBlockSeconds = (PageSize * PagesPerBlock - 64 - 2.0 * PagesPerBlock) / 16000;

class TMemorySink : public TCustomFile {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* data, std::int32_t count) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        Data.insert(Data.end(), bytes, bytes + count);
        return count;
    }
    Bytes Data;
};

// What one connection saw: the lists and totals, a recording read whole and a drive file.
struct TSnapshot {
    std::vector<std::string> Sounds, Drives;
    std::int64_t Total = 0, Free = 0;
    TOperationOutcome SoundRead, DriveRead;
    Bytes Sound, Drive;
};

std::string Describe(const TSoundFileInfo& r) {
    std::string s = std::to_string(r.Number) + " blocks:";
    for (const TBlockEntry& e : r.Blocks.Entries())
        s += " " + std::to_string(e.Block);
    s += " pages " + std::to_string(r.Pages.Count()) + " duration " + std::to_string(r.Duration) +
         " parts " + std::to_string(r.VoiceParts->Count());
    return s;
}

TSnapshot Take(TRecorder& r, const std::string& drivePath) {
    TSnapshot s;
    r.Refresh();
    r.WaitForOperation();
    EXPECT_EQ(r.GetOutcome().Kind, TKind::Succeeded) << r.GetOutcome().Message;
    TSoundFileList* sounds = r.GetSoundFileList();
    for (int i = 0; i < sounds->Count(); ++i)
        s.Sounds.push_back(Describe(*sounds->Get(i)));
    TDriveFileList* drives = r.GetDriveFileList();
    for (int i = 0; i < drives->Count(); ++i)
        s.Drives.push_back(drives->Get(i)->Name + " " + std::to_string(drives->Get(i)->Size));
    s.Total = r.GetTotalMemory();
    s.Free = r.GetFreeMemory();

    TMemorySink sink;
    r.OutputSink = &sink;
    r.ReadSoundFile(5, 0, sounds->ByNumber(5)->Duration);
    r.WaitForOperation();
    r.OutputSink = nullptr;
    s.SoundRead = r.GetOutcome();
    s.Sound = sink.Data;

    TPosixFile target;
    EXPECT_TRUE(target.Open(drivePath, TPosixFile::TMode::CreateTruncate));
    r.ReadDriveFile(drives->FindByNumber(3), &target);
    r.WaitForOperation();
    s.DriveRead = r.GetOutcome();
    s.Drive.resize(static_cast<std::size_t>(target.Size()));
    EXPECT_TRUE(target.ReadExact(0, s.Drive.data(), s.Drive.size()));
    return s;
}

TEST(AdapterWiring, Kind4OverTheSimulatedRecorderReadsLikeKind1) {
    TTempDir dir;
    const std::string path = dir.File("memory.ovk");
    TFlashImage flash(TFlashShape{PageSize, PagesPerBlock, 24, 1});
    // Recording 5: three blocks of a tone stored out of order, with a break in the first.
    flash.PutContinuousRecording(5, 1000, {6, 2, 4}, PlainBlockSeconds);
    std::int16_t n = 0;
    for (std::uint32_t block : {6u, 2u, 4u})
        for (std::uint32_t p = 0; p < PagesPerBlock; ++p)
            for (std::uint32_t i = p == 0 ? 64 : 0; i + 1 < PageSize - 2u; i += 2, ++n)
                Put16(flash.Page(block, p) + i,
                      static_cast<std::uint16_t>(std::lround(9000 * std::sin(n / 9.0))));
    flash.PutPageInfo(6, 9, 0x55FF);
    flash.PutBreakRecord(6, 10, 1003);
    THeaderSpec second;
    second.Number = 5;
    second.Index = 2;
    second.Time = 1004;
    flash.PutHeader(2, second);
    flash.PutContinuousRecording(7, 2000, {3, 5}, PlainBlockSeconds);

    // Drive file 3: two blocks of RS-coded data, 8 slots of 249 bytes in each page 1..15.
    const std::uint32_t perBlock = (PagesPerBlock - 1) * (PageSize / 256) * 249;
    Bytes content(perBlock + 7000);
    std::mt19937 random(5);
    for (std::uint8_t& b : content)
        b = static_cast<std::uint8_t>(random());
    for (std::uint32_t k = 0; k < 2; ++k) {
        THeaderSpec h;
        h.Drive = true;
        h.Number = 3;
        h.Time = 5003;
        h.DriveIndex = static_cast<std::uint16_t>(k + 1);
        h.DriveSize = static_cast<std::uint32_t>(content.size());
        h.Flags = k == 0 ? 0x80 : 0;
        flash.PutHeader(9 + k, h);
        Bytes data(perBlock, 0);
        std::copy_n(content.begin() + k * perBlock,
                    std::min<std::size_t>(perBlock, content.size() - k * perBlock), data.begin());
        const std::uint32_t perPage = (PageSize / 256) * 249;
        for (std::uint32_t p = 1; p < PagesPerBlock; ++p)
            RsEncodePage(std::span<const std::uint8_t>(&data[(p - 1) * perPage], perPage),
                         std::span<std::uint8_t>(flash.Page(9 + k, p), PageSize));
    }
    flash.PutDriveName(9, u"Docs\\Report.txt");
    // One byte error in a slot: corrected alike on both ways.
    flash.Page(10, 4)[300] ^= 0x40;
    flash.WriteImageFile(path);

    TFakeUi ui;
    TSnapshot viaImage;
    {
        TRecorder r(ConnImageFile, ui);
        r.SetImageFileName(path);
        ASSERT_TRUE(r.IsConnected());
        viaImage = Take(r, dir.File("image.bin"));
    }
    TSnapshot viaAdapter;
    {
        TSimulatedAdapter recorder(path);
        SimSpiAdapter& sim = recorder.Adapter;
        // Packets and replies at odd bit phases and gaps, as a real recorder may send them.
        sim.SetPacketShapes({{0, 3, 5}, {2, 7, 20}, {1, 0, 32}});
        sim.SetReplyShapes({{1, 2, 3}, {0, 5, 27}});
        // A reply with a bad CRC is retried by the link and changes nothing.
        sim.InjectFault(TSimFault::BadCrc, CmdFlashRead, 1);
        TRecorder r(ConnUsb20SpiAdapter, ui);
        ASSERT_TRUE(r.IsConnected());
        viaAdapter = Take(r, dir.File("adapter.bin"));
        const auto& commands = sim.Commands();
        EXPECT_GT(std::count_if(commands.begin(), commands.end(),
                                [](const auto& c) { return c.Command == CmdFlashRead; }),
                  10);
        r.SetActive(false);
    }
    ASSERT_EQ(viaImage.Sounds.size(), 2u);
    EXPECT_EQ(viaImage.Sounds[0], "5 blocks: 6 2 4 pages 48 duration 8 parts 2");
    EXPECT_EQ(viaAdapter.Sounds, viaImage.Sounds);
    EXPECT_EQ(viaAdapter.Drives, viaImage.Drives);
    EXPECT_EQ(viaAdapter.Total, viaImage.Total);
    EXPECT_EQ(viaAdapter.Free, viaImage.Free);

    ASSERT_EQ(viaImage.SoundRead.Kind, TKind::Succeeded) << viaImage.SoundRead.Message;
    ASSERT_EQ(viaAdapter.SoundRead.Kind, TKind::Succeeded) << viaAdapter.SoundRead.Message;
    EXPECT_GT(viaImage.Sound.size(), 3 * PlainBlockSeconds * 16000);
    EXPECT_TRUE(viaAdapter.Sound == viaImage.Sound);

    ASSERT_EQ(viaImage.DriveRead.Kind, TKind::Succeeded) << viaImage.DriveRead.Message;
    ASSERT_EQ(viaAdapter.DriveRead.Kind, TKind::Succeeded) << viaAdapter.DriveRead.Message;
    EXPECT_TRUE(viaImage.Drive == content);
    EXPECT_TRUE(viaAdapter.Drive == content);
}

} // namespace
