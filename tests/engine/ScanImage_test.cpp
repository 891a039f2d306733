#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "audio/CustomFile.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "link/ImageFile.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;

// 16 blocks of 16 pages of 2112 bytes: a block of plain 8 kHz sound lasts 2.106 s.
TFlashShape Shape(std::uint32_t blocks = 16, std::uint16_t firstRec = 1) {
    return {2112, 16, blocks, firstRec};
}
constexpr double PlainBlockSeconds = 33696.0 / 16000.0;
constexpr double PlainPageSeconds = PlainBlockSeconds / 16;

// Takes a read's bytes up to a limit, then refuses: a read that would write without end
// fails instead of filling the memory.
class TBoundedSink : public TCustomFile {
public:
    static constexpr std::size_t Limit = 8u << 20;
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void*, std::int32_t count) override {
        if (count < 0 || Bytes + static_cast<std::size_t>(count) > Limit)
            return 0;
        Bytes += static_cast<std::size_t>(count);
        return count;
    }
    std::size_t Bytes = 0;
};

struct ScanOfImage : ::testing::Test {
    TTempDir Dir;
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;
    std::string Path = Dir.File("memory.ovk");

    // Writes the image, connects to it as an image file and scans it.
    TRecorder& Scan(const TFlashImage& flash, bool skipSilence = false,
                    const Bytes* settings = nullptr) {
        flash.WriteImageFile(Path, settings);
        Recorder = std::make_unique<TRecorder>(ConnImageFile, Ui);
        Recorder->SetImageFileName(Path);
        Recorder->SetSkipSilence(skipSilence);
        EXPECT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
            << Recorder->GetOutcome().Message;
        return *Recorder;
    }
    TSoundFileInfo* Recording(std::uint16_t number) {
        return Recorder->GetSoundFileList()->ByNumber(number);
    }
    // Reads the recording from its start for the duration into a bounded sink; the bytes the
    // read wrote, the read having succeeded.
    std::size_t ReadBounded(std::uint16_t number, std::uint32_t duration) {
        TBoundedSink sink;
        Recorder->OutputSink = &sink;
        Recorder->ReadSoundFile(number, 0, duration);
        Recorder->WaitForOperation();
        Recorder->OutputSink = nullptr;
        EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
            << Recorder->GetOutcome().Message;
        return sink.Bytes;
    }
    TDriveFileInfo* DriveFile(std::uint16_t number) {
        TDriveFileList* list = Recorder->GetDriveFileList();
        const int index = list->FindByNumber(number);
        return index < 0 ? nullptr : list->Get(index);
    }
};

// The header of a later block of a recording, at its own time.
THeaderSpec LaterBlock(std::uint16_t number, std::uint16_t index, std::uint32_t time) {
    THeaderSpec h;
    h.Number = number;
    h.Index = index;
    h.Time = time;
    return h;
}

std::vector<std::uint32_t> BlocksOf(const TSoundFileInfo& r) {
    std::vector<std::uint32_t> blocks;
    for (const TBlockEntry& e : r.Blocks.Entries())
        blocks.push_back(e.Block);
    return blocks;
}

TEST_F(ScanOfImage, AnErasedMemoryIsAllFree) {
    TFlashImage flash(Shape(16, 2));
    THeaderSpec belowFirst;
    belowFirst.Number = 3;
    flash.PutHeader(1, belowFirst); // the recorder's own block: never scanned
    TRecorder& r = Scan(flash);
    EXPECT_EQ(r.GetSoundFileList()->Count(), 0);
    EXPECT_EQ(r.GetDriveFileList()->Count(), 0);
    ASSERT_EQ(r.FreeBlocks().Count(), 14);
    EXPECT_EQ(r.FreeBlocks().Get(0).Block, 2);
    EXPECT_EQ(r.GetFreeMemory(), 14 * (33792 - 64));
    EXPECT_EQ(r.GetTotalMemory(), 16 * 33792);
    EXPECT_EQ(r.GetFreeDriveMemory(), r.GetFreeMemory());
    EXPECT_FALSE(r.IsModified());
    EXPECT_EQ(r.GetProgress(), 100);
}

// A recorder's image of 65,536 blocks of 64 pages (8.9 GB, sparse here) connects in both
// image kinds, keeps its size, and its last block is scanned where it lies.
TEST_F(ScanOfImage, TheLargestImageConnectsInBothKinds) {
    constexpr std::uint32_t Blocks = 65'536;
    const TFlashShape shape{2112, 64, 2, 1};
    const std::uint64_t blockBytes = std::uint64_t{2112} * 64;
    const std::uint64_t size = 2112 + Blocks * blockBytes;
    THeaderSpec last;
    last.Number = 7;
    last.Time = 123456;
    const Bytes header = last.ToBytes();
    for (const std::uint32_t kind : {ConnImageFile, ConnDemo}) {
        SCOPED_TRACE(kind);
        std::filesystem::remove(Path);
        TFlashImage(shape).WriteImageFile(Path);
        std::filesystem::resize_file(Path, size);
        {
            std::fstream file(Path, std::ios::in | std::ios::out | std::ios::binary);
            file.seekp(static_cast<std::streamoff>(2112 + (Blocks - 1) * blockBytes));
            for (int copy = 0; copy < 3; ++copy)
                file.write(reinterpret_cast<const char*>(header.data()), 20);
        }
        Recorder = std::make_unique<TRecorder>(kind, Ui);
        Recorder->SetImageFileName(Path);
        ASSERT_TRUE(Recorder->IsConnected());
        EXPECT_EQ(Recorder->Geometry().TotalBlocks(), Blocks);
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded)
            << Recorder->GetOutcome().Message;
        EXPECT_EQ(Recorder->GetTotalMemory(), static_cast<std::int64_t>(Blocks * blockBytes));
        const TSoundFileInfo* recording = Recording(7);
        ASSERT_NE(recording, nullptr);
        EXPECT_EQ(recording->Blocks.Get(0).Block, Blocks - 1);
        Recorder.reset();
        EXPECT_EQ(std::filesystem::file_size(Path), size);
    }
}

// An image file that may not be written (a backup on read-only media; here a file of mode
// 0444 opened by a user without the right to override it) opens read-only: the lists and
// downloads work, every write is refused with a message that names the permission, and the
// file stays as it was.
TEST_F(ScanOfImage, AReadOnlyImageIsListedAndReadButNeverWritten) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(1, 1000, {2, 3}, PlainBlockSeconds);
    for (const std::uint32_t block : {2u, 3u})
        for (std::uint32_t page = 0; page < 16; ++page)
            flash.FillSound(block, page, page == 0 ? 64 : 0, static_cast<std::uint8_t>(page));
    flash.WriteImageFile(Path);
    std::ifstream in(Path, std::ios::binary);
    const Bytes before{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(::chmod(Path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(Dir.Path.c_str(), 0755), 0);

    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Root may write any file: the checks run as a user who may not.
        if (::geteuid() == 0 &&
            (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            _exit(3);
        std::string failures;
        auto check = [&](bool ok, const char* what) {
            if (!ok)
                failures += std::string(what) + "; ";
        };
        auto refused = [&](const std::string& message) {
            return message.find("is open read-only: there is no permission to write it") !=
                   std::string::npos;
        };
        {
            TFakeUi ui;
            TRecorder recorder(ConnImageFile, ui);
            recorder.SetImageFileName(Path);
            check(recorder.IsConnected(), "connects");
            check(ImageFileIsReadOnly(), "read-only");
            recorder.Refresh();
            recorder.WaitForOperation();
            check(recorder.GetOutcome().Kind == TOperationOutcome::TKind::Succeeded, "scan");
            const TSoundFileInfo* r = recorder.GetSoundFileList()->ByNumber(1);
            check(r != nullptr && r->Blocks.Count() == 2, "listed");
            TBoundedSink sink;
            recorder.OutputSink = &sink;
            recorder.ReadSoundFile(1, 0, 2);
            recorder.WaitForOperation();
            recorder.OutputSink = nullptr;
            check(recorder.GetOutcome().Kind == TOperationOutcome::TKind::Succeeded &&
                      sink.Bytes > 0,
                  "download");
            try {
                recorder.ChangeSoundFileStatus(1, StatusDownloaded);
                check(false, "mark refused");
            } catch (const TERecXchange& e) {
                check(refused(e.MessageUtf8()), "mark message");
            }
            for (const auto& start : std::vector<std::function<void()>>{
                     [&] { recorder.EraseSoundFile(1); }, [&] { recorder.FormatMemory(); }}) {
                start();
                recorder.WaitForOperation();
                check(recorder.GetOutcome().Kind != TOperationOutcome::TKind::Succeeded &&
                          refused(recorder.GetOutcome().Message),
                      "erase or format refused");
            }
            for (const auto& store : std::vector<std::function<void()>>{
                     [&] { recorder.StoreSettings(); }, [&] { recorder.SetDefault(); },
                     [&] { recorder.SetDefaultAndErase(); }}) {
                try {
                    store();
                    check(false, "settings refused");
                } catch (const TERecXchange& e) {
                    check(refused(e.MessageUtf8()), "settings message");
                }
            }
        }
        const ssize_t written = ::write(report[1], failures.data(), failures.size());
        _exit(written == static_cast<ssize_t>(failures.size()) ? 0 : 4);
    }
    ::close(report[1]);
    std::string failures;
    char buffer[256];
    for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        failures.append(buffer, static_cast<std::size_t>(n));
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(failures, "");
    std::ifstream after(Path, std::ios::binary);
    EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(after), {}) == before);
    ::chmod(Path.c_str(), 0644);
}

TEST_F(ScanOfImage, BlocksStoredOutOfOrderAreSortedByTime) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(5, 1000, {6, 2, 4}, PlainBlockSeconds);
    flash.PutContinuousRecording(7, 2000, {3, 5}, PlainBlockSeconds);
    // Times compared as unsigned: 0x10 comes before 0x90000000.
    THeaderSpec late;
    late.Number = 9;
    late.Index = 2;
    late.Time = 0x90000000;
    flash.PutHeader(8, late);
    flash.PutPageInfoRange(8, 0, 16, 0x5555);
    THeaderSpec early = late;
    early.Index = 1;
    early.Time = 0x10;
    flash.PutHeader(9, early);
    flash.PutPageInfoRange(9, 0, 16, 0x5555);
    // Equal times: the block index decides.
    THeaderSpec tieSecond;
    tieSecond.Number = 11;
    tieSecond.Index = 2;
    tieSecond.Time = 3000;
    flash.PutHeader(10, tieSecond);
    THeaderSpec tieFirst = tieSecond;
    tieFirst.Index = 1;
    flash.PutHeader(11, tieFirst);

    Scan(flash);
    ASSERT_EQ(Recorder->GetSoundFileList()->Count(), 4);
    TSoundFileInfo* five = Recording(5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(BlocksOf(*five), (std::vector<std::uint32_t>{6, 2, 4}));
    EXPECT_EQ(five->Name, "5");
    ASSERT_EQ(five->Pages.Count(), 48);
    EXPECT_EQ(five->Pages.Get(0).Page, 6u * 16);
    EXPECT_EQ(five->Pages.Get(16).Page, 2u * 16);
    EXPECT_EQ(five->Pages.Get(47).Page, 4u * 16 + 15);
    EXPECT_NEAR(five->Pages.Get(16).Time, 1000 + 16 * PlainPageSeconds, 1e-9);
    EXPECT_EQ(five->Pages.Get(47).Break, 1);
    EXPECT_EQ(five->Pages.Get(46).Break, 0);
    EXPECT_EQ(five->Duration, static_cast<std::uint32_t>(48 * PlainPageSeconds));
    EXPECT_EQ(five->Size, 3 * 33792);
    EXPECT_EQ(five->VoiceParts->Count(), 0);
    EXPECT_EQ(five->Start, UnixTimeToSystemTime(1000));
    EXPECT_EQ(BlocksOf(*Recording(7)), (std::vector<std::uint32_t>{3, 5}));
    EXPECT_EQ(BlocksOf(*Recording(9)), (std::vector<std::uint32_t>{9, 8}));
    EXPECT_EQ(BlocksOf(*Recording(11)), (std::vector<std::uint32_t>{11, 10}));
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 15 - 9);
}

// One recording of two blocks; the first breaks after page 5 and resumes at page 6.
struct BreakCase {
    const char* name;
    std::uint32_t resumeRecord; // the break record on page 6
    bool skipSilence;
    double expectedResume; // time of page 6
};

class InnerBreak : public ScanOfImage, public ::testing::WithParamInterface<BreakCase> {};

TEST_P(InnerBreak, GivesTwoVoicePartsAndTheResumeTime) {
    const BreakCase& c = GetParam();
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(4, 1000, {2, 3}, PlainBlockSeconds);
    THeaderSpec second;
    second.Number = 4;
    second.Index = 2;
    second.Time = 1102;
    flash.PutHeader(3, second);
    flash.PutPageInfo(2, 5, 0x55FF);
    if (c.resumeRecord != 0xFFFFFFFF)
        flash.PutBreakRecord(2, 6, c.resumeRecord);

    Scan(flash, c.skipSilence);
    TSoundFileInfo* r = Recording(4);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Pages.Count(), 32);
    EXPECT_EQ(r->Pages.Get(5).Break, 1);
    EXPECT_NEAR(r->Pages.Get(5).Time, 1000 + 5 * PlainPageSeconds, 1e-9);
    EXPECT_NEAR(r->Pages.Get(6).Time, c.expectedResume, 1e-9);
    EXPECT_EQ(r->Pages.Get(6).DataOffset, 12u);
    EXPECT_EQ(r->Pages.Get(7).DataOffset, 0u);
    EXPECT_EQ(r->Pages.Get(16).DataOffset, 64u); // the next block's first page

    ASSERT_EQ(r->VoiceParts->Count(), 2);
    TSoundFileInfo* first = r->VoiceParts->Get(0);
    TSoundFileInfo* second_ = r->VoiceParts->Get(1);
    EXPECT_EQ(first->Name, "4.1");
    EXPECT_EQ(second_->Name, "4.2");
    EXPECT_EQ(first->Number, 1);
    EXPECT_EQ(second_->Parent, r);
    EXPECT_EQ(first->Pages.Count(), 6);
    EXPECT_EQ(second_->Pages.Count(), 26);
    EXPECT_EQ(&second_->Pages.Get(0), &r->Pages.Get(6));
    EXPECT_EQ(first->Size, 6 * 2112);
    EXPECT_EQ(first->Duration, static_cast<std::uint32_t>(6 * PlainPageSeconds));
    EXPECT_EQ(second_->Duration, static_cast<std::uint32_t>(26 * PlainPageSeconds));
    EXPECT_EQ(second_->Start, UnixTimeToSystemTime(static_cast<std::uint32_t>(c.expectedResume)));
    EXPECT_EQ(r->Duration,
              static_cast<std::uint32_t>(c.expectedResume + 26 * PlainPageSeconds - 1000));
    EXPECT_EQ(second_->ModeText, r->ModeText);
}

INSTANTIATE_TEST_SUITE_P(
    Scan, InnerBreak,
    ::testing::Values(BreakCase{"resume", 1100, false, 1100.0},
                      BreakCase{"skipSilence", 1100, true, 1000 + 6 * PlainPageSeconds},
                      BreakCase{"unwritten", 0xFFFFFFFF, false, 1102.0},
                      BreakCase{"beforeTheBreak", 900, false, 1102.0},
                      BreakCase{"pastTheNextBlock", 5000, false, 1102.0}),
    [](const ::testing::TestParamInfo<BreakCase>& info) { return std::string(info.param.name); });

// Gaps the scan takes from flash: a pause a recorder records is kept, one longer than a day
// (a clock set anew, a stale block) is no pause: the sound goes on without it, the break
// still parts the voice.
// A pause the next block bounds is kept up to a month (a recorder left over a weekend); one
// that nothing after it bounds up to a day; beyond, the times are a clock's, not a pause.
TEST_F(ScanOfImage, APauseIsKeptAsLongAsTheNextBlockBoundsIt) {
    constexpr std::uint32_t Start = 1'000'000'000;
    constexpr std::uint32_t Day = 86400;
    constexpr std::uint32_t TwentyYears = 20u * 365 * Day;
    const struct {
        const char* name;
        std::uint32_t nextBlockTime;
        std::uint32_t resumeRecord; // on page 3 of the first block, after its break on page 2
        double expectedResume;      // time of the first block's page 3
    } cases[] = {
        {"three hours to the next block", Start + 3 * 3600, 0xFFFFFFFF, Start + 3 * 3600},
        {"three hours in the block", Start + 4 * 3600, Start + 3 * 3600, Start + 3 * 3600},
        {"25 hours to the next block", Start + 25 * 3600, 0xFFFFFFFF, Start + 25 * 3600},
        {"two days to the next block", Start + 2 * Day, 0xFFFFFFFF, Start + 2 * Day},
        {"three days in the block", Start + 3 * Day + 60, Start + 3 * Day, Start + 3 * Day},
        {"a month to the next block", Start + 31 * Day, 0xFFFFFFFF, Start + 31 * Day},
        {"a month and a day to the next block", Start + 32 * Day, 0xFFFFFFFF,
         Start + 3 * PlainPageSeconds},
        {"next block twenty years on", Start + TwentyYears, 0xFFFFFFFF,
         Start + 3 * PlainPageSeconds},
        {"resume twenty years on", Start + TwentyYears + 100, Start + TwentyYears,
         Start + 3 * PlainPageSeconds},
        {"next block at the end of time", 0xFFFFFF00, 0xFFFFFFFF, Start + 3 * PlainPageSeconds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashImage flash(Shape());
        flash.PutContinuousRecording(4, Start, {2, 3}, PlainBlockSeconds);
        flash.PutHeader(3, LaterBlock(4, 2, c.nextBlockTime));
        flash.PutPageInfo(2, 2, 0x55FF);
        if (c.resumeRecord != 0xFFFFFFFF)
            flash.PutBreakRecord(2, 3, c.resumeRecord);
        Scan(flash);
        const TSoundFileInfo* r = Recording(4);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(r->Pages.Count(), 32);
        EXPECT_NEAR(r->Pages.Get(3).Time, c.expectedResume, 1e-6);
        EXPECT_EQ(r->VoiceParts->Count(), 2);
        const double sound = 32 * PlainPageSeconds;
        EXPECT_EQ(r->Duration, static_cast<std::uint32_t>(c.expectedResume - Start -
                                                          3 * PlainPageSeconds + sound));
    }
}

// In the recording's last block nothing bounds a pause but its own resume time: a day at most.
TEST_F(ScanOfImage, APauseInTheLastBlockIsHeldToADay) {
    constexpr std::uint32_t Start = 1'000'000'000;
    const struct {
        const char* name;
        std::uint32_t resumeRecord;
        double expectedResume;
    } cases[] = {
        {"three hours", Start + 3 * 3600, Start + 3 * 3600},
        {"a day", Start + 86400, Start + 86400},
        {"25 hours", Start + 25 * 3600, Start + 3 * PlainPageSeconds},
        {"three days", Start + 3 * 86400, Start + 3 * PlainPageSeconds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TFlashImage flash(Shape());
        flash.PutContinuousRecording(4, Start, {2}, PlainBlockSeconds);
        flash.PutPageInfo(2, 2, 0x55FF);
        flash.PutBreakRecord(2, 3, c.resumeRecord);
        Scan(flash);
        const TSoundFileInfo* r = Recording(4);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(r->Pages.Count(), 16);
        EXPECT_NEAR(r->Pages.Get(3).Time, c.expectedResume, 1e-6);
    }
}

// Found by fuzzing: an image of 6.9 KB whose recording breaks in its first block and goes on
// in a block dated at the end of the recorder's time listed 136 years and read them as
// silence. Now the pause is none: a few pages of sound, listed and read as such.
TEST_F(ScanOfImage, ASmallImageWithABlockAtTheEndOfTimeListsAndReadsItsSoundOnly) {
    const TFlashShape shape{512, 3, 4, 1};
    TFlashImage flash(shape);
    const double blockSeconds = LayoutSecondsPerBlock(shape, 0, 0, 8000);
    flash.PutContinuousRecording(1, 0x10, {1, 2}, blockSeconds);
    flash.PutHeader(2, LaterBlock(1, 2, 0xFFFFFF00));
    flash.PutPageInfo(1, 1, 0x55FF);
    flash.WriteImageFile(Path);
    ASSERT_LT(std::filesystem::file_size(Path), 7000u);

    Scan(flash);
    const TSoundFileInfo* r = Recording(1);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Pages.Count(), 6);
    EXPECT_EQ(r->Duration, static_cast<std::uint32_t>(2 * blockSeconds));
    EXPECT_LE(ReadBounded(1, r->Duration), std::size_t{6 * (512 - 2)});
}

// The reader's own bound: a page list whose times jump (as no scan makes them) is read with a
// pause no longer than the recording.
TEST_F(ScanOfImage, TheReadersPauseStaysWithinTheRecordingsLength) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(4, 1000, {2, 3}, PlainBlockSeconds);
    // Not joining the first block: its page words are read.
    flash.PutHeader(3, LaterBlock(4, 2, 1102));
    flash.PutPageInfo(2, 2, 0x55FF);
    flash.PutBreakRecord(2, 3, 1001);
    Scan(flash);
    TSoundFileInfo* r = Recording(4);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->Pages.Count(), 32);
    const std::uint32_t duration = r->Duration;
    for (int i = 3; i < r->Pages.Count(); ++i)
        r->Pages.GetOwned(i).Time += 20.0 * 365 * 86400;
    EXPECT_LE(ReadBounded(4, duration),
              std::size_t{32} * (2112 - 2) + std::size_t{duration} * 16000);
}

TEST_F(ScanOfImage, ABreakInTheLastBlockWithoutResumeTimeGoesOnWithoutAGap) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(4, 1000, {2}, PlainBlockSeconds);
    flash.PutPageInfo(2, 5, 0x55FF);
    flash.PutBreakRecord(2, 6, 0xFFFFFFFF);
    Scan(flash);
    TSoundFileInfo* r = Recording(4);
    ASSERT_EQ(r->Pages.Count(), 16);
    EXPECT_NEAR(r->Pages.Get(6).Time, 1000 + 6 * PlainPageSeconds, 1e-9);
    EXPECT_EQ(r->VoiceParts->Count(), 2);
}

TEST_F(ScanOfImage, APartlyFilledLastBlockEndsWithItsFirstUnwrittenPage) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(2, 1000, {4, 5}, PlainBlockSeconds);
    flash.PutPageInfoRange(5, 5, 16, 0xFFFF);
    Scan(flash);
    TSoundFileInfo* r = Recording(2);
    ASSERT_EQ(r->Pages.Count(), 16 + 6);
    EXPECT_EQ(r->Pages.Get(21).Page, 5u * 16 + 5);
    EXPECT_EQ(r->Pages.Get(21).Break, 1);
    EXPECT_EQ(r->VoiceParts->Count(), 0);
    EXPECT_EQ(r->Duration, static_cast<std::uint32_t>(22 * PlainPageSeconds));
    EXPECT_EQ(r->Size, 2 * 33792);
}

TEST_F(ScanOfImage, ABlockWhoseFirstPageEndsTheSoundStillCounts) {
    // The block before ends on a break page: the next block's page 0 is still taken.
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(2, 1000, {4, 5}, PlainBlockSeconds);
    THeaderSpec later;
    later.Number = 2;
    later.Index = 2;
    later.Time = 1300;
    flash.PutHeader(5, later);
    flash.PutPageInfo(4, 15, 0x55FF);
    flash.PutPageInfo(5, 0, 0x55FF);
    flash.PutPageInfoRange(5, 1, 16, 0xFFFF);
    Scan(flash);
    TSoundFileInfo* r = Recording(2);
    ASSERT_EQ(r->Pages.Count(), 17);
    EXPECT_EQ(r->Pages.Get(16).Page, 5u * 16);
    EXPECT_NEAR(r->Pages.Get(16).Time, 1300.0, 1e-9); // the next block's time after a break
    EXPECT_EQ(r->VoiceParts->Count(), 2);
}

TEST_F(ScanOfImage, ContinuityToleranceIsFivePercentButAtLeastOneSecond) {
    struct Case {
        std::uint16_t pageSize;
        std::uint32_t nextAfterStart; // seconds from the block's time to the next block's
        bool continuous;
    };
    // uLaw at 4000 Hz: pages of 2006 bytes give 8.0 s blocks (tolerance 1.0 s), pages of
    // 2503 bytes with 64 pages give 40.0 s blocks (tolerance 2.0 s).
    const Case cases[] = {{2006, 9, true},  {2006, 7, true},  {2006, 10, false}, {2006, 6, false},
                          {2503, 42, true}, {2503, 38, true}, {2503, 43, false}, {2503, 37, false}};
    for (const Case& c : cases) {
        const std::uint16_t pages = c.pageSize == 2006 ? 16 : 64;
        TFlashImage flash({c.pageSize, pages, 4, 1});
        THeaderSpec h;
        h.Number = 1;
        h.Type = 1;
        h.Param = 0;
        h.Rate = 4;
        h.Time = 1000;
        flash.PutHeader(1, h);
        h.Index = 2;
        h.Time = 1000 + c.nextAfterStart;
        flash.PutHeader(2, h);
        flash.PutPageInfoRange(2, 0, pages, 0x5555);
        // Only a block read as broken finds these words: it then ends after page 0.
        flash.PutPageInfoRange(1, 0, pages, 0x55FF);
        Scan(flash);
        TSoundFileInfo* r = Recording(1);
        ASSERT_NE(r, nullptr);
        EXPECT_NEAR(r->SecondsPerBlock, c.pageSize == 2006 ? 8.0 : 40.0, 1e-6);
        EXPECT_EQ(r->Pages.Count(), c.continuous ? 2 * pages : 1 + pages)
            << c.pageSize << " next after " << c.nextAfterStart;
    }
}

TEST_F(ScanOfImage, OneDamagedHeaderCopyIsOutvoted) {
    struct Case {
        const char* name;
        std::vector<int> damagedCopies; // each damaged differently at byte 2
        bool badCrc;
        bool found;
    };
    const Case cases[] = {{"first", {0}, false, true},
                          {"second", {1}, false, true},
                          {"third", {2}, false, true},
                          {"first and third", {0, 2}, false, false},
                          {"all three", {0, 1, 2}, false, false},
                          {"bad crc", {}, true, false}};
    for (const Case& c : cases) {
        TFlashImage flash(Shape());
        THeaderSpec h;
        h.Number = 6;
        h.Time = 1000;
        flash.PutHeader(3, h);
        Bytes good = h.ToBytes();
        for (int copy : c.damagedCopies) {
            Bytes bad = good;
            bad[2] ^= static_cast<std::uint8_t>(0x11 * (copy + 1));
            flash.PutHeaderCopy(3, copy, bad);
        }
        if (c.badCrc) {
            good[19] ^= 0x40;
            for (int copy = 0; copy < 3; ++copy)
                flash.PutHeaderCopy(3, copy, good);
        }
        Scan(flash);
        EXPECT_EQ(Recording(6) != nullptr, c.found) << c.name;
        // A block with an invalid header belongs to no list.
        EXPECT_EQ(Recorder->FreeBlocks().Count(), 14) << c.name;
        bool listedFree = false;
        for (const TBlockEntry& e : Recorder->FreeBlocks().Entries())
            listedFree = listedFree || e.Block == 3;
        EXPECT_FALSE(listedFree) << c.name;
    }
}

TEST_F(ScanOfImage, EachCodecGivesItsFormatAndModeText) {
    struct Case {
        std::uint8_t type, param, rate;
        std::uint32_t hz;
        std::uint8_t source;
        const char* mode;
        std::uint32_t firstOffset, laterOffset;
    };
    const Case cases[] = {
        {0, 0, 3, 8000, SourceNone, "8000 Hz; No compress; ", 64, 0},
        {1, 2, 1, 20000, SourceULaw, "20000 Hz; uLaw; ", 64, 0},
        {2, 2, 3, 8000, SourceAdpcm4, "8000 Hz; ADPCM 4 bit; ", 66, 2},
        {2, 1, 4, 4000, SourceAdpcm2, "4000 Hz; ADPCM 2 bit; ", 66, 2},
        {0, 0, 5, 16000, SourceNone, "16000 Hz; No compress; ", 64, 0},
    };
    for (const Case& c : cases) {
        TFlashImage flash(Shape());
        THeaderSpec h;
        h.Type = c.type;
        h.Param = c.param;
        h.Rate = c.rate;
        h.Time = 1000;
        const double seconds = LayoutSecondsPerBlock(flash.Shape(), c.type, c.param, c.hz);
        flash.PutContinuousRecording(1, 1000, {1, 2}, seconds, h);
        Scan(flash);
        TSoundFileInfo* r = Recording(1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->ModeText, c.mode);
        EXPECT_EQ(r->SourceCompression, c.source) << c.mode;
        EXPECT_NEAR(r->SecondsPerBlock, seconds, 1e-4) << c.mode;
        EXPECT_NEAR(r->SecondsPerPage, seconds / 16, 1e-9) << c.mode;
        EXPECT_EQ(r->WaveFormat.SamplesPerSec, c.hz);
        EXPECT_EQ(r->WaveFormat.Channels, 1);
        EXPECT_EQ(r->WaveFormat.BitsPerSample, 16);
        EXPECT_EQ(r->Pages.Get(0).DataOffset, c.firstOffset) << c.mode;
        EXPECT_EQ(r->Pages.Get(1).DataOffset, c.laterOffset) << c.mode;
        EXPECT_EQ(r->Pages.Count(), 32) << c.mode;
    }
}

TEST_F(ScanOfImage, StatusCyclicAndVasMarks) {
    struct Case {
        std::uint8_t byte11, cyclic, status;
        const char* mode;
    };
    const Case cases[] = {
        {0x41, 1, StatusDownloaded, "8000 Hz; No compress;  Circular; VAS; "},
        {0x81, 0, StatusUploaded, "8000 Hz; No compress; "},
        {0xC0, 0, StatusNotDownloaded, "8000 Hz; No compress; "},
        {0x01, 0, StatusNotDownloaded, "8000 Hz; No compress; VAS; "},
    };
    for (const Case& c : cases) {
        TFlashImage flash(Shape());
        THeaderSpec h;
        h.Status = c.byte11;
        h.Cyclic = c.cyclic;
        flash.PutContinuousRecording(1, 1000, {1}, PlainBlockSeconds, h);
        Scan(flash);
        TSoundFileInfo* r = Recording(1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Status, c.status) << int(c.byte11);
        EXPECT_EQ(r->ModeText, c.mode) << int(c.byte11);
    }
}

Bytes CallData(std::uint16_t length, bool call, bool outgoing, std::vector<std::uint8_t> digits,
               std::uint8_t count) {
    Bytes d(26, 0);
    Put16(&d[0], length);
    d[2] = call ? 1 : 0;
    d[4] = outgoing ? 1 : 0;
    d[5] = count;
    for (std::size_t i = 0; i < digits.size() && i < 20; ++i)
        d[6 + i] = digits[i];
    return d;
}

TEST_F(ScanOfImage, CallInformationOfTheFirstBlock) {
    struct Case {
        const char* name;
        Bytes data;
        std::string callText;
        std::uint32_t firstOffset;
    };
    const std::vector<std::uint8_t> twentyFive(25, 7);
    const Case cases[] = {
        {"outgoing", CallData(26, true, true, {3, 10, 5}, 3), "Out \xE2\x84\x96 305", 90},
        {"incoming", CallData(26, true, false, {1, 2}, 2), "In \xE2\x84\x96 12", 90},
        {"no call", CallData(26, false, false, {}, 0), "", 90},
        {"too many digits", CallData(26, true, true, twentyFive, 25),
         "Out \xE2\x84\x96 " + std::string(20, '7'), 90},
        {"length past the page", CallData(5000, true, true, {9}, 1), "Out \xE2\x84\x96 9", 2110},
    };
    for (const Case& c : cases) {
        TFlashImage flash(Shape());
        THeaderSpec h;
        h.Flags = 0x80;
        flash.PutContinuousRecording(1, 1000, {1, 2}, PlainBlockSeconds, h);
        flash.PutFirstBlockData(1, c.data);
        Scan(flash);
        TSoundFileInfo* r = Recording(1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->CallText, c.callText) << c.name;
        const std::string mode = "8000 Hz; No compress; ";
        EXPECT_EQ(r->ModeText, c.callText.empty() ? mode : c.callText + "; " + mode) << c.name;
        EXPECT_EQ(r->Pages.Get(0).DataOffset, c.firstOffset) << c.name;
        EXPECT_EQ(r->Pages.Get(16).DataOffset, 64u) << c.name; // later blocks carry no data
    }
}

TEST_F(ScanOfImage, DriveFilesInFolders) {
    TFlashImage flash(Shape(24));
    auto driveBlock = [&](std::uint32_t block, std::uint16_t number, std::uint16_t index,
                          std::uint32_t size, std::uint8_t folder, const std::u16string& name) {
        THeaderSpec h;
        h.Drive = true;
        h.Number = number;
        h.Time = 5000 + number;
        h.DriveIndex = index;
        h.DriveSize = size;
        h.Cyclic = folder;
        flash.PutHeader(block, h);
        flash.PutDriveName(block, name);
    };
    driveBlock(9, 3, 2, 70000, 0, u"wrong");
    driveBlock(4, 3, 3, 70000, 0, u"wrong too");
    driveBlock(7, 3, 1, 70000, 0, u"Docs\\Report.txt");
    driveBlock(10, 1, 1, 0, 1, u"Docs");
    driveBlock(11, 4, 1, 100, 0, u"gap.bin");
    driveBlock(12, 4, 3, 100, 0, u"gap.bin");
    driveBlock(13, 5, 1, 100000, 0, u"big.bin"); // one block holds 15 x 8 x 249 bytes
    driveBlock(14, 6, 1, 10, 0, u"");
    flash.PutDriveName(14, std::u16string(2000, u'x'), false); // runs to the page's end
    driveBlock(15, 7, 1, 10, 0, u"a\U0001F600\xD800z");

    Scan(flash);
    ASSERT_EQ(Recorder->GetDriveFileList()->Count(), 6);
    TDriveFileInfo* report = DriveFile(3);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Name, "Docs\\Report.txt");
    EXPECT_EQ(report->Size, 70000);
    EXPECT_EQ(report->Date, UnixTimeToSystemTime(5003));
    EXPECT_EQ(report->Folder, 0);
    EXPECT_EQ(report->Incomplete, 0);
    ASSERT_EQ(report->Blocks.Count(), 3);
    EXPECT_EQ(report->Blocks.Get(0).Block, 7);
    EXPECT_EQ(report->Blocks.Get(1).Block, 9);
    EXPECT_EQ(report->Blocks.Get(2).Block, 4);
    EXPECT_EQ(report->FirstHeader.DriveBlockIndex(), 1);

    TDriveFileInfo* folder = DriveFile(1);
    EXPECT_EQ(folder->Name, "Docs");
    EXPECT_EQ(folder->Folder, 1);
    EXPECT_EQ(folder->Size, 0);
    EXPECT_EQ(Recorder->GetDriveFileList()->IndexOfName("Docs"),
              Recorder->GetDriveFileList()->FindByNumber(1));

    EXPECT_EQ(DriveFile(4)->Incomplete, 1); // block 2 of the file is missing
    EXPECT_EQ(DriveFile(5)->Size, 15 * 8 * 249);
    EXPECT_EQ(DriveFile(5)->Incomplete, 1);
    EXPECT_EQ(DriveFile(6)->Name, std::string((2112 - 2 - 64) / 2, 'x'));
    EXPECT_EQ(DriveFile(7)->Name, "a\xF0\x9F\x98\x80\xEF\xBF\xBDz");
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 0);
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 23 - 9);
}

Bytes SettingsBytes() {
    Bytes s(356, 0xFF);
    for (int i = 0; i < 8; ++i) {
        std::uint8_t* p = &s[37 * i];
        std::fill(p, p + 37, std::uint8_t{0});
        p[1] = 50; // stale numbers
        p[10] = 3;
        p[29] = static_cast<std::uint8_t>(-10);
    }
    s[37 * 1 + 10] = 6; // no such rate
    s[37 * 2 + 11] = 3; // no such compression
    s[296] = 5;
    s[297] = 1;
    s[298] = 0; // access level
    Put16(&s[299], 10);
    Put16(&s[301], 2000);
    Put16(&s[303], 2500);
    Put16(&s[305], 3000);
    s[307] = 1;
    s[308] = 9; // current profile
    const char pw[] = "zzz";
    std::copy(pw, pw + 4, &s[309]);
    const std::uint8_t tags[13] = {0x7C, 0x7E, 0x7F, 0xA1, 0xA2, 0xA3, 0xA4,
                                   0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA};
    for (int i = 0; i < 13; ++i) {
        s[330 + 2 * i] = tags[i];
        s[331 + 2 * i] = static_cast<std::uint8_t>(i + 1);
    }
    return s;
}

Bytes ReadFileBytes(const std::string& path, std::size_t count) {
    std::ifstream in(path, std::ios::binary);
    Bytes b(count);
    in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(count));
    return b;
}

TEST_F(ScanOfImage, SettingsAreReadNormalisedAndStoredBackWithAValidHeader) {
    const Bytes settings = SettingsBytes();
    TFlashImage flash(Shape());
    Scan(flash, false, &settings);
    const TRecSettings& s = Recorder->Settings();
    EXPECT_EQ(s.CurrentProfile, 0);
    EXPECT_EQ(s.AccessLevel, 1);
    EXPECT_EQ(s.Profiles[1].SampleRate, 4);
    EXPECT_EQ(s.Profiles[2].Compress, 0);
    EXPECT_EQ(s.Profiles[7].Number, 8);
    EXPECT_EQ(s.Profiles[0].VasLevel, -10); // an image holds the level as it is
    EXPECT_EQ(s.SearchStep, 5);
    EXPECT_EQ(s.BatteryThresholds[3], 3000);
    ASSERT_NE(s.FindLineParam(0xA5), nullptr);
    EXPECT_EQ(s.FindLineParam(0xA5)->Value, 8);
    EXPECT_EQ(s.Password, NoPasswordBlock); // never taken from the image
    EXPECT_EQ(Ui.Restores, 1);

    ASSERT_TRUE(Recorder->CheckPassword("zzz"));
    TRecSettings& edit = Recorder->Settings();
    edit.CurrentProfile = 3;
    edit.Profiles[1].VasLevel = -30;
    edit.Profiles[1].Number = 40;
    edit.LineParams[0].Value = 0x0C;
    edit.Password = *MakePasswordField("new");
    Recorder->StoreSettings();

    const Bytes header = ReadFileBytes(Path, 730);
    EXPECT_EQ(Get16(&header[728]), ImageHeaderLayoutCrc(header.data()));
    EXPECT_EQ(header[308 + 308], 3);
    EXPECT_EQ(header[308 + 37 + 29], static_cast<std::uint8_t>(-30));
    EXPECT_EQ(header[308 + 37 + 1], 2);
    EXPECT_EQ(header[308 + 330 + 1], 0x0C); // the line parameters go back too
    EXPECT_EQ(std::string(&header[617], &header[620]), "new");
    EXPECT_EQ(header[620], 0);
    EXPECT_EQ(Recorder->Settings().Profiles[1].VasLevel, -30);

    // The new password is the image's now; a fresh object reads everything back.
    EXPECT_FALSE(Recorder->CheckPassword("zzz"));
    EXPECT_TRUE(Recorder->CheckPassword("new"));
    TFakeUi otherUi;
    TRecorder again(ConnImageFile, otherUi);
    again.SetImageFileName(Path);
    ASSERT_TRUE(again.IsConnected());
    again.ReadSettings();
    EXPECT_EQ(again.Settings().LineParams[0].Value, 0x0C);
    EXPECT_EQ(again.Settings().CurrentProfile, 3);
}

TEST_F(ScanOfImage, TheDemoKindOpensAnImageOfItsOwn) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(3, 1000, {2}, PlainBlockSeconds);
    flash.WriteImageFile(Path);
    TRecorder demo(ConnDemo, Ui);
    demo.SetImageFileName(Path);
    ASSERT_TRUE(demo.IsConnected());
    demo.Refresh();
    demo.WaitForOperation();
    EXPECT_NE(demo.GetSoundFileList()->ByNumber(3), nullptr);
}

// The emulation's image with a good header but its data area gone connects again: it is
// made anew as a missing one is.
TEST_F(ScanOfImage, TheDemoKindRepairsAnImageWhoseDataAreaIsDamaged) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(3, 1000, {2}, PlainBlockSeconds);
    flash.WriteImageFile(Path);
    std::filesystem::resize_file(Path, 2112 + 100); // the header stays, the blocks are gone
    {
        TRecorder image(ConnImageFile, Ui);
        image.SetImageFileName(Path);
        EXPECT_FALSE(image.IsConnected());
    }
    TRecorder demo(ConnDemo, Ui);
    demo.SetImageFileName(Path);
    ASSERT_TRUE(demo.IsConnected());
    demo.Refresh();
    demo.WaitForOperation();
    EXPECT_EQ(demo.GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
    EXPECT_EQ(demo.GetSoundFileList()->Count(), 0);
    EXPECT_EQ(demo.FreeBlocks().Count(), 63);
}

TEST_F(ScanOfImage, BadImagesAreRefusedCleanly) {
    TFlashImage flash(Shape());
    flash.WriteImageFile(Path);
    const Bytes good = ReadFileBytes(Path, std::filesystem::file_size(Path));
    auto withHeader = [&](auto change) {
        Bytes b = good;
        change(b);
        Put16(&b[728], ImageHeaderLayoutCrc(b.data()));
        return b;
    };
    std::mt19937 random(7);
    Bytes garbage(70000);
    for (auto& byte : garbage)
        byte = static_cast<std::uint8_t>(random());
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"zero page size", withHeader([](Bytes& b) { Put16(&b[300], 0); })},
        {"zero pages per block", withHeader([](Bytes& b) { Put16(&b[302], 0); })},
        {"tiny pages", withHeader([](Bytes& b) { Put16(&b[300], 100); })},
        {"first block past the end", withHeader([](Bytes& b) { Put16(&b[298], 500); })},
        {"blocks past the end", withHeader([](Bytes& b) { Put16(&b[302], 4000); })},
        {"bad header crc",
         [&] {
             Bytes b = good;
             b[300] ^= 1;
             return b;
         }()},
        {"no magic",
         [&] {
             Bytes b = good;
             b[2112] = 0;
             return b;
         }()},
        {"header only", Bytes(good.begin(), good.begin() + 730)},
        {"garbage", garbage},
        {"empty", Bytes()},
    };
    for (const Case& c : cases) {
        {
            std::ofstream out(Path, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(c.file.data()),
                      static_cast<std::streamsize>(c.file.size()));
        }
        TRecorder recorder(ConnImageFile, Ui);
        recorder.SetImageFileName(Path);
        EXPECT_FALSE(recorder.IsConnected()) << c.name;
        EXPECT_THROW(recorder.Refresh(), TERecXchange) << c.name;
        EXPECT_EQ(recorder.GetState(), StateIdle) << c.name;
    }
}

TEST_F(ScanOfImage, GarbageBlocksScanWithoutHarm) {
    TFlashImage flash(Shape(64));
    std::mt19937 random(11);
    for (std::size_t i = std::size_t{2112} * 16; i < flash.Data().size(); ++i)
        flash.Data()[i] = static_cast<std::uint8_t>(random());
    // A few valid headers over random pages, with random first-block data.
    for (std::uint32_t b : {5u, 9u, 20u}) {
        THeaderSpec h;
        h.Number = static_cast<std::uint16_t>(b);
        h.Flags = 0x80;
        h.Type = static_cast<std::uint8_t>(b % 3);
        h.Time = 1000;
        flash.PutHeader(b, h);
    }
    THeaderSpec drive;
    drive.Drive = true;
    drive.Number = 2;
    drive.DriveSize = 0xFFFFFFFF;
    flash.PutHeader(30, drive);
    Scan(flash);
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 3);
    EXPECT_EQ(Recorder->GetDriveFileList()->Count(), 1);
    EXPECT_EQ(DriveFile(2)->Incomplete, 1);
}

TEST_F(ScanOfImage, AnImageThatShrinksAfterConnectEndsTheScanWithAnOutcome) {
    TFlashImage flash(Shape());
    flash.PutContinuousRecording(1, 1000, {12, 13}, PlainBlockSeconds);
    flash.WriteImageFile(Path);
    TRecorder recorder(ConnImageFile, Ui);
    recorder.SetImageFileName(Path);
    ASSERT_TRUE(recorder.IsConnected());
    std::filesystem::resize_file(Path, 2112 + 4 * 33792);
    recorder.Refresh();
    recorder.WaitForOperation();
    EXPECT_EQ(recorder.GetState(), StateIdle);
    const TOperationOutcome outcome = recorder.GetOutcome();
    EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::ExchangeFailed);
    EXPECT_EQ(outcome.Command, CmdFlashRead);
    EXPECT_EQ(outcome.ErrorCode, RecErrIo);
    EXPECT_EQ(recorder.GetSoundFileList()->Count(), 0);
}

} // namespace
