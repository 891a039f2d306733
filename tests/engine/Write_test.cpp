#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "FixtureWave.h"
#include "audio/CustomFile.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "engine/RecClassesWrite.h"
#include "link/ReedSolomon.h"
#include "platform/PosixFile.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;
using TCompression = TUploadFormatChoice::TCompression;

// Small pages so that a few seconds of sound cross many page and block edges:
// 24 blocks of 8 pages of 512 bytes.
TFlashShape Shape() {
    return {512, 8, 24, 1};
}
constexpr std::uint32_t PageSize = 512;
constexpr std::uint32_t PagesPerBlock = 8;
constexpr std::uint32_t BlockSize = PageSize * PagesPerBlock;
constexpr std::uint16_t FirmwareModelClass0 = 0x0105; // drive files with the code
constexpr std::uint16_t FirmwareModelClass2 = 0x0A05; // drive files raw

const TSystemTime StartTime{2024, 3, 4, 14, 9, 30, 15, 0};

// Three tones under a slow swell: smooth enough for every codec, busy enough that a sample
// slipped at a page edge shows.
std::vector<std::int16_t> TestSignal(std::size_t count, std::uint32_t rate) {
    std::vector<std::int16_t> s(count);
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double swell = 0.6 + 0.4 * std::sin(2 * pi * 1.3 * t);
        const double v = std::sin(2 * pi * 310 * t) + 0.5 * std::sin(2 * pi * 523 * t + 1) +
                         0.25 * std::sin(2 * pi * 887 * t + 2);
        s[i] = static_cast<std::int16_t>(std::lround(5000 * swell * v));
    }
    return s;
}

double SnrDb(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& got) {
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        const double d = double(reference[i]) - (i < got.size() ? got[i] : 0);
        noise += d * d;
    }
    return noise == 0 ? 1000 : 10 * std::log10(signal / noise);
}

bool AllErased(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0xFF; });
}

// Takes the PCM of a read.
class TPcmSink : public TCustomFile {
public:
    std::int32_t Read(void*, std::int32_t) override { return 0; }
    std::int32_t Write(const void* data, std::int32_t count) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        for (std::int32_t i = 0; i + 1 < count; i += 2)
            Samples.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
        return count;
    }
    std::vector<std::int16_t> Samples;
};

struct Uploads : ::testing::Test {
    TTempDir Dir;
    TFakeDevice Device{Shape()};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;

    void SetUp() override { Connect(FirmwareModelClass0); }
    void Connect(std::uint16_t firmware) {
        Device.FirmwareVersion = firmware;
        Recorder.reset();
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Device.Transport());
        Scan();
    }
    void Scan() {
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded);
    }
    void Choose(TCompression compression, std::uint8_t scale = 0) {
        Ui.UploadChoice = TUploadFormatChoice{compression, scale};
        ASSERT_EQ(Recorder->ChooseUploadFormat(), 0);
    }
    // Opens the wave for the upload; the file stays open while the upload runs.
    std::unique_ptr<TWaveFile> Wave(const std::vector<std::int16_t>& samples, std::uint32_t rate,
                                    std::uint16_t channels = 1) {
        const std::string path = Dir.File("upload.wav");
        WriteWave(path, samples, rate, channels);
        auto wave = std::make_unique<TWaveFile>();
        wave->SetFileName(path);
        EXPECT_TRUE(wave->Open());
        return wave;
    }
    TOperationOutcome UploadRecording(TWaveFile& wave, std::uint16_t number) {
        Recorder->WriteSoundFile(number, wave, StartTime);
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        return Recorder->GetOutcome();
    }
    TOperationOutcome UploadFile(const std::string& name, TPosixFile* file,
                                 TSystemTime time = StartTime) {
        Recorder->WriteDriveFile(name, file, time);
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetState(), StateIdle);
        return Recorder->GetOutcome();
    }
    // The scanned recording decoded page by page with the engine's page decoder.
    std::vector<std::int16_t> DecodeRecording(const TSoundFileInfo& r) {
        std::vector<std::int16_t> pcm;
        for (int i = 0; i < r.Pages.Count(); ++i) {
            const TSoundPage& page = r.Pages.Get(i);
            Bytes raw(Device.Flash.PageAt(page.Page), Device.Flash.PageAt(page.Page) + PageSize);
            const std::vector<std::uint8_t> bytes =
                Recorder->DecodePages(r.FirstHeader, page.Page % PagesPerBlock == 0, 1, raw.data(),
                                      page.DataOffset, page.Break != 0);
            for (std::size_t b = 0; b + 1 < bytes.size(); b += 2)
                pcm.push_back(static_cast<std::int16_t>(bytes[b] | (bytes[b + 1] << 8)));
        }
        return pcm;
    }
    // The whole recording through the engine's read.
    std::vector<std::int16_t> ReadRecording(const TSoundFileInfo& r) {
        TPcmSink sink;
        Recorder->OutputSink = &sink;
        Recorder->ReadSoundFile(r.Number, 0, r.Duration);
        Recorder->WaitForOperation();
        Recorder->OutputSink = nullptr;
        EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded) << Recorder->GetOutcome().Message;
        return sink.Samples;
    }
    Bytes FlashCopy() { return Device.Flash.Data(); }
};

// --- Recordings -----------------------------------------------------------------------------

struct CodecCase {
    const char* name;
    TCompression compression;
    std::uint8_t scale;
    std::uint32_t rate;
    std::uint8_t type, param, rateCode, sourceCompression;
    double minSnrDb;
};

TEST_F(Uploads, EveryCodecIsWrittenAsTheScanAndTheDecoderReadIt) {
    const CodecCase cases[] = {
        {"none 8 kHz", TCompression::None, 0, 8000, 0, 0, 3, SourceNone, 1000},
        {"none 40 kHz", TCompression::None, 0, 40000, 0, 0, 0, SourceNone, 1000},
        {"uLaw 8 kHz", TCompression::ULaw, 0, 8000, 1, 0, 3, SourceULaw, 24},
        {"uLaw scale 4 at 13333 Hz", TCompression::ULaw, 4, 13333, 1, 4, 2, SourceULaw, 20},
        {"uLaw 20 kHz", TCompression::ULaw, 1, 20000, 1, 1, 1, SourceULaw, 24},
        {"ADPCM 4 bit 8 kHz", TCompression::Adpcm4, 0, 8000, 2, 2, 3, SourceAdpcm4, 17},
        {"ADPCM 2 bit 4 kHz", TCompression::Adpcm2, 0, 4000, 2, 1, 4, SourceAdpcm2, 4},
    };
    std::uint16_t number = 0;
    for (const CodecCase& c : cases) {
        SCOPED_TRACE(c.name);
        Choose(c.compression, c.scale);
        const double blockSeconds = LayoutSecondsPerBlock(Shape(), c.type, c.param, c.rate);
        // Two and a half blocks' worth, so that the last block is only partly filled.
        const auto count = static_cast<std::size_t>(2.5 * blockSeconds * c.rate * 0.99);
        const std::vector<std::int16_t> source = TestSignal(count, c.rate);
        auto wave = Wave(source, c.rate);
        const TOperationOutcome outcome = UploadRecording(*wave, ++number);
        ASSERT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
        EXPECT_EQ(Recorder->GetProgress(), 100);
        ASSERT_TRUE(Recorder->IsModified());
        Scan();

        const TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(number);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Status, StatusUploaded);
        EXPECT_EQ(r->SourceCompression, c.sourceCompression);
        EXPECT_EQ(r->WaveFormat.SamplesPerSec, c.rate);
        EXPECT_EQ(r->WaveFormat.Channels, 1);
        EXPECT_EQ(r->VoiceParts->Count(), 0) << "an upload has no breaks";
        ASSERT_EQ(r->Blocks.Count(), 3);

        const std::uint32_t t0 = SystemTimeToUnixTime(StartTime);
        for (int i = 0; i < 3; ++i) {
            const TBlockHeader& h = r->Blocks.Get(i).Header;
            SCOPED_TRACE(i);
            EXPECT_EQ(h.FileNumber(), number);
            EXPECT_EQ(h.BlockIndex(), i + 1);
            EXPECT_EQ(h.Time(), static_cast<std::uint32_t>(std::floor(t0 + i * blockSeconds)));
            EXPECT_EQ(h.CompressionType(), c.type);
            EXPECT_EQ(h.CompressionParam(), c.param);
            EXPECT_EQ(h.RateCode(), c.rateCode);
            EXPECT_EQ(h.Raw()[11], 0x80);
            EXPECT_EQ(h.Raw()[12], 0);
            EXPECT_EQ(h.Raw()[13], 0);
            EXPECT_EQ(h.ChannelMode(), 0);
        }

        // The last block: written pages carry 0x5555 but the one the sound ends on, which
        // keeps its word erased as a recorder's last page does; the pages after it are
        // untouched, and the scan ends the recording on its last written page.
        const std::uint32_t last = r->Blocks.Get(2).Block;
        std::uint32_t written = 0;
        while (written < PagesPerBlock && !AllErased(Device.Flash.Page(last, written), PageSize))
            ++written;
        EXPECT_GT(written, 0u);
        EXPECT_LT(written, PagesPerBlock);
        for (std::uint32_t p = 0; p < PagesPerBlock; ++p) {
            const std::uint8_t* page = Device.Flash.Page(last, p);
            if (p + 1 < written)
                EXPECT_EQ(Get16(page + PageSize - 2), 0x5555u) << "page " << p;
            else if (p + 1 == written)
                EXPECT_EQ(Get16(page + PageSize - 2), 0xFFFFu) << "page " << p;
            else
                EXPECT_TRUE(AllErased(page, PageSize)) << "page " << p;
        }
        EXPECT_EQ(r->Pages.Count(), static_cast<int>(2 * PagesPerBlock + written));

        const std::vector<std::int16_t> decoded = DecodeRecording(*r);
        ASSERT_GE(decoded.size(), source.size());
        EXPECT_GE(SnrDb(source, decoded), c.minSnrDb);
        // What follows the sound is silence (plain PCM reads its erased bytes as -1; ADPCM
        // takes a few samples to settle from the last sound).
        for (std::size_t i = source.size() + 128; i < decoded.size(); ++i)
            ASSERT_LE(std::abs(decoded[i]), 1) << "sample " << i;

        // And back through the read a download runs.
        const std::vector<std::int16_t> read = ReadRecording(*r);
        ASSERT_GE(read.size(), source.size());
        EXPECT_GE(SnrDb(source, read), c.minSnrDb);
    }
}

// A WAV file cut short (its header states more data than it holds) uploads the sound that
// is there.
TEST_F(Uploads, AWaveFileCutShortUploadsTheSoundThatIsThere) {
    Choose(TCompression::None);
    const std::vector<std::int16_t> source = TestSignal(3000, 8000);
    const std::string path = Dir.File("cut.wav");
    WriteWave(path, source, 8000);
    std::filesystem::resize_file(path, 44 + 2 * 1700 + 1); // half a sample after 1700
    TWaveFile wave;
    wave.SetFileName(path);
    ASSERT_TRUE(wave.Open());
    EXPECT_EQ(wave.GetStatedDataSize(), 6000u);
    ASSERT_EQ(UploadRecording(wave, 1).Kind, TKind::Succeeded);
    Scan();
    const TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(1);
    ASSERT_NE(r, nullptr);
    const std::vector<std::int16_t> read = ReadRecording(*r);
    ASSERT_GE(read.size(), 1700u);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 1700, read.begin()));
    EXPECT_LT(read.size(), 1700u + PageSize / 2) << "padding of at most one page";
}

TEST_F(Uploads, RecordingNumbersStayWithinTheRecordingRange) {
    Choose(TCompression::ULaw);
    const std::vector<std::int16_t> source = TestSignal(1000, 8000);
    const struct {
        std::uint16_t wanted, expected;
    } cases[] = {
        {5, 5},      // free: as asked
        {5, 1},      // in use: the lowest free number
        {0x8000, 2}, // would read as a drive file
        {0xFFFF, 3}, // would read as an empty block
        {0, 4},      {0x7FFF, 0x7FFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        auto wave = Wave(source, 8000);
        ASSERT_EQ(UploadRecording(*wave, c.wanted).Kind, TKind::Succeeded);
        Scan();
        EXPECT_NE(Recorder->GetSoundFileList()->ByNumber(c.expected), nullptr);
        EXPECT_EQ(Recorder->GetDriveFileList()->Count(), 0);
    }
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 6);
}

TEST_F(Uploads, AWaveThatDoesNotFitIsCutAtTheLastFreeBlock) {
    Choose(TCompression::None);
    const std::int64_t freeBlocks = Recorder->FreeBlocks().Count();
    const std::size_t perBlock = (PageSize - 66) / 2 + (PagesPerBlock - 1) * ((PageSize - 2) / 2);
    const Bytes before = FlashCopy();

    // The upload size counts the blocks the encoder really fills, so a wave one page-word
    // too long for the free blocks already reads as larger than the free memory: the main
    // window asks before it is cut, and a wave that fills the blocks exactly reads as fitting.
    auto exact = Wave(TestSignal(freeBlocks * perBlock, 8000), 8000);
    EXPECT_EQ(Recorder->GetUploadSize(*exact), Recorder->GetFreeMemory());
    auto justOver = Wave(TestSignal(freeBlocks * perBlock + 10, 8000), 8000);
    EXPECT_GT(Recorder->GetUploadSize(*justOver), Recorder->GetFreeMemory());
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
    EXPECT_EQ(FlashCopy(), before);

    // Larger than the free memory (the main window asks first): the upload fills every block.
    const std::size_t tooLarge = std::size_t(Recorder->GetFreeMemory()) / 2 + 100;
    auto wave = Wave(TestSignal(tooLarge, 8000), 8000);
    TOperationOutcome outcome = UploadRecording(*wave, 1);
    ASSERT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
    Scan();
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 0);
    const TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->Blocks.Count(), freeBlocks);
    EXPECT_FALSE(AllErased(
        Device.Flash.Page(r->Blocks.Get(freeBlocks - 1).Block, PagesPerBlock - 1), PageSize - 2))
        << "the last block is full";

    // No free block at all: refused, nothing is stored.
    Device.ClearLog();
    wave = Wave(TestSignal(1000, 8000), 8000);
    outcome = UploadRecording(*wave, 2);
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
}

TEST_F(Uploads, FormatsTheRecorderCannotStoreAreRefusedUnwritten) {
    const struct {
        const char* name;
        TCompression compression;
        std::uint32_t rate;
        std::uint16_t channels;
        std::size_t samples;
    } cases[] = {
        {"stereo", TCompression::None, 8000, 2, 2000},
        {"16 kHz", TCompression::ULaw, 16000, 1, 2000},
        {"ADPCM at 13333 Hz", TCompression::Adpcm4, 13333, 1, 2000},
        {"uLaw at 40 kHz", TCompression::ULaw, 40000, 1, 2000},
        {"no sound", TCompression::None, 8000, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Choose(c.compression);
        Device.ClearLog();
        auto wave = Wave(TestSignal(c.samples, c.rate), c.rate, c.channels);
        const TOperationOutcome outcome = UploadRecording(*wave, 1);
        EXPECT_EQ(outcome.Kind, TKind::Failed);
        EXPECT_FALSE(outcome.Message.empty());
        EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
    }
}

TEST_F(Uploads, ACancelledRecordingUploadLeavesNothingBehind) {
    Choose(TCompression::Adpcm4);
    const Bytes before = FlashCopy();
    auto wave = Wave(TestSignal(30000, 8000), 8000); // about three blocks
    int writes = 0;
    std::uint32_t stateWhileWriting = 0;
    Device.BeforeCommand = [&](std::uint8_t command) {
        if (command == CmdFlashWrite && ++writes == 12) {
            stateWhileWriting = Recorder->GetState();
            Recorder->Cancel();
        }
    };
    const TOperationOutcome outcome = UploadRecording(*wave, 1);
    Device.BeforeCommand = nullptr;
    EXPECT_EQ(outcome.Kind, TKind::Cancelled);
    EXPECT_EQ(stateWhileWriting, StateWriting);
    EXPECT_EQ(writes, 12) << "no page is written after the cancel";
    EXPECT_EQ(Device.CountOf(CmdEraseBlock), 2) << "the two blocks begun";
    EXPECT_EQ(FlashCopy(), before);
    Scan();
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 0);
}

TEST_F(Uploads, AFailedRecordingUploadErasesWhatItWrote) {
    Choose(TCompression::ULaw);
    const Bytes before = FlashCopy();
    auto wave = Wave(TestSignal(20000, 8000), 8000);
    Device.FailCommand(CmdFlashWrite, 11, 6);
    const TOperationOutcome outcome = UploadRecording(*wave, 1);
    EXPECT_EQ(outcome.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(outcome.Operation, "WriteSFThread");
    EXPECT_EQ(outcome.Command, CmdFlashWrite);
    EXPECT_EQ(outcome.ErrorCode, 6);
    EXPECT_EQ(FlashCopy(), before);
}

TEST_F(Uploads, ABlockUsedSinceTheScanIsNeverOverwritten) {
    Choose(TCompression::None);
    // Another upload has taken the first free block since the last scan.
    THeaderSpec other;
    other.Number = 9;
    Device.Flash.PutHeader(Recorder->FreeBlocks().Get(0).Block, other);
    const Bytes before = FlashCopy();
    auto wave = Wave(TestSignal(1000, 8000), 8000);
    TOperationOutcome outcome = UploadRecording(*wave, 1);
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_NE(outcome.Message.find("not empty"), std::string::npos) << outcome.Message;
    EXPECT_EQ(FlashCopy(), before);

    TPosixFile file;
    const std::string path = Dir.File("data.bin");
    std::ofstream(path) << "payload";
    ASSERT_TRUE(file.Open(path, TPosixFile::TMode::ReadOnly));
    outcome = UploadFile("data.bin", &file);
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_EQ(FlashCopy(), before);
}

// --- Flash-drive files ------------------------------------------------------------------

struct DriveUploads : Uploads {
    Bytes RandomBytes(std::size_t n, unsigned seed) {
        std::mt19937 rng(seed);
        Bytes b(n);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(rng());
        return b;
    }
    std::string PcFile(const std::string& name, const Bytes& content) {
        const std::string path = Dir.File(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()),
                   static_cast<std::streamsize>(content.size()));
        return path;
    }
    TDriveFileInfo* DriveFile(const std::string& name) {
        TDriveFileList* list = Recorder->GetDriveFileList();
        const int i = list->IndexOfName(name);
        return i < 0 ? nullptr : list->Get(i);
    }
    // The file's content from its blocks, decoded apart from the writer.
    Bytes Content(const TDriveFileInfo& f, bool correction) {
        Bytes out;
        for (const TBlockEntry& e : f.Blocks.Entries())
            for (std::uint32_t p = 1; p < PagesPerBlock; ++p) {
                const std::uint8_t* page = Device.Flash.Page(e.Block, p);
                if (!correction) {
                    out.insert(out.end(), page, page + PageSize);
                    continue;
                }
                for (std::uint32_t s = 0; s < PageSize / 256; ++s) {
                    std::uint8_t data[RsDataSize];
                    EXPECT_EQ(RsDecodeBlock(std::span<const std::uint8_t, RsCodewordSize>(
                                                page + 256 * s, RsCodewordSize),
                                            data),
                              0);
                    EXPECT_EQ(page[256 * s + 255], 0xFF);
                    out.insert(out.end(), data, data + RsDataSize);
                }
            }
        out.resize(static_cast<std::size_t>(f.Size));
        return out;
    }
};

TEST_F(DriveUploads, FilesAreStoredWithAndWithoutTheCode) {
    const struct {
        const char* name;
        std::uint16_t firmware;
        bool correction;
        std::size_t perBlock;
    } cases[] = {
        {"with the code", FirmwareModelClass0, true, 7 * 2 * 249},
        {"model class 2, raw", FirmwareModelClass2, false, 7 * 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(Device.Flash.Data().begin(), Device.Flash.Data().end(), 0xFF);
        Connect(c.firmware);
        const Bytes content = RandomBytes(c.perBlock * 2 + c.perBlock / 3, 7);
        TPosixFile file;
        ASSERT_TRUE(file.Open(PcFile("content.bin", content), TPosixFile::TMode::ReadOnly));
        const std::string name = std::string("Docs\\") + c.name + " \xC3\xA4.bin";
        const TSystemTime date{2023, 11, 0, 5, 17, 45, 30, 0};
        const TOperationOutcome outcome = UploadFile(name, &file, date);
        ASSERT_EQ(outcome.Kind, TKind::Succeeded) << outcome.Message;
        EXPECT_EQ(Recorder->GetProgress(), 100);
        Scan();

        const TDriveFileInfo* f = DriveFile(name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Number, 1);
        EXPECT_EQ(f->Size, std::int64_t(content.size()));
        EXPECT_EQ(f->Folder, 0);
        EXPECT_EQ(f->Incomplete, 0);
        EXPECT_EQ(SystemTimeToUnixTime(f->Date), SystemTimeToUnixTime(date));
        ASSERT_EQ(f->Blocks.Count(), 3);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(f->Blocks.Get(i).Header.DriveBlockIndex(), i + 1);
            EXPECT_EQ(f->Blocks.Get(i).Header.DriveFileSize(), content.size());
        }
        EXPECT_EQ(Content(*f, c.correction), content);
        TPosixFile copy;
        ASSERT_TRUE(copy.Open(Dir.File("copy.bin"), TPosixFile::TMode::CreateTruncate));
        Recorder->ReadDriveFile(Recorder->GetDriveFileList()->IndexOfName(name), &copy);
        Recorder->WaitForOperation();
        EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded);
        Bytes back(content.size() + 1);
        EXPECT_EQ(copy.ReadAt(0, back.data(), back.size()), content.size());
        back.resize(content.size());
        EXPECT_EQ(back, content) << "read back by the engine";
        // The name is only in the first block.
        EXPECT_TRUE(AllErased(Device.Flash.Page(f->Blocks.Get(1).Block, 0) + 64, PageSize - 64));
    }
}

TEST_F(DriveUploads, TheNewFileTakesTheFirstFreeNumber) {
    for (std::uint16_t n : {1, 2, 4}) {
        THeaderSpec h;
        h.Drive = true;
        h.Number = n;
        h.DriveSize = 10;
        Device.Flash.PutHeader(10 + n, h);
        Device.Flash.PutDriveName(10 + n, u"file" + std::u16string(1, char16_t(u'0' + n)));
    }
    Scan();
    TPosixFile file;
    ASSERT_TRUE(file.Open(PcFile("x.txt", {'x'}), TPosixFile::TMode::ReadOnly));
    ASSERT_EQ(UploadFile("x.txt", &file).Kind, TKind::Succeeded);
    Scan();
    ASSERT_NE(DriveFile("x.txt"), nullptr);
    EXPECT_EQ(DriveFile("x.txt")->Number, 3);
}

TEST_F(DriveUploads, ACancelAfterTwoBlocksErasesExactlyThoseTwo) {
    const Bytes before = FlashCopy();
    TPosixFile file;
    ASSERT_TRUE(
        file.Open(PcFile("big.bin", RandomBytes(5 * 3486, 3)), TPosixFile::TMode::ReadOnly));
    int writes = 0;
    Device.BeforeCommand = [&](std::uint8_t command) {
        if (command == CmdFlashWrite && ++writes == 2)
            Recorder->Cancel(); // while the second block is written
    };
    const TOperationOutcome outcome = UploadFile("big.bin", &file);
    Device.BeforeCommand = nullptr;
    EXPECT_EQ(outcome.Kind, TKind::Cancelled);
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 2);
    ASSERT_EQ(Device.CountOf(CmdEraseBlock), 2);
    std::vector<std::uint32_t> erased;
    for (const TSentCommand& s : Device.Sent)
        if (s.Command == CmdEraseBlock)
            erased.push_back(Get32(s.Out.data()));
    EXPECT_EQ(erased, (std::vector<std::uint32_t>{Recorder->FreeBlocks().Get(0).Block,
                                                  Recorder->FreeBlocks().Get(1).Block}));
    EXPECT_EQ(FlashCopy(), before);
}

TEST_F(DriveUploads, AFailedUploadErasesWhatItWrote) {
    const Bytes before = FlashCopy();
    TPosixFile file;
    ASSERT_TRUE(
        file.Open(PcFile("big.bin", RandomBytes(3 * 3486, 4)), TPosixFile::TMode::ReadOnly));
    Device.FailCommand(CmdFlashWrite, 3, 5);
    const TOperationOutcome outcome = UploadFile("big.bin", &file);
    EXPECT_EQ(outcome.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(outcome.Operation, "WriteDFThread");
    EXPECT_EQ(outcome.ErrorCode, 5);
    EXPECT_EQ(Device.CountOf(CmdEraseBlock), 3) << "the two written and the one that failed";
    EXPECT_EQ(FlashCopy(), before);
}

TEST_F(DriveUploads, FilesThatDoNotFitAreRefusedBeforeAnythingIsWritten) {
    const std::uint64_t capacity = std::uint64_t(Recorder->FreeBlocks().Count()) * 3486;
    const struct {
        const char* name;
        std::uint64_t size;
    } cases[] = {
        {"one byte more than the free blocks hold", capacity + 1},
        {"4 GiB", 1ull << 32},
        {"larger still", (1ull << 32) + 12345},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Device.ClearLog();
        TPosixFile file;
        const std::string path = Dir.File("sparse.bin");
        ASSERT_TRUE(file.Open(path, TPosixFile::TMode::CreateTruncate));
        ASSERT_TRUE(file.Truncate(c.size)); // sparse: takes no room on the disk
        const TOperationOutcome outcome = UploadFile("sparse.bin", &file);
        EXPECT_EQ(outcome.Kind, TKind::Failed);
        EXPECT_FALSE(outcome.Message.empty());
        EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
        EXPECT_EQ(Device.CountOf(CmdFlashRead), 0) << "refused before looking at the blocks";
    }
    // Exactly the free capacity fits.
    TPosixFile file;
    ASSERT_TRUE(
        file.Open(PcFile("full.bin", RandomBytes(capacity, 5)), TPosixFile::TMode::ReadOnly));
    EXPECT_EQ(UploadFile("full.bin", &file).Kind, TKind::Succeeded);
    Scan();
    EXPECT_EQ(Recorder->FreeBlocks().Count(), 0);
}

// An upload that succeeds has stored its entry: an empty file and a folder each take one
// block for their header and name.
TEST_F(DriveUploads, EmptyFilesAndFoldersTakeOneBlockForTheirEntry) {
    const int freeBefore = Recorder->FreeBlocks().Count();
    TPosixFile empty;
    ASSERT_TRUE(empty.Open(PcFile("empty.txt", {}), TPosixFile::TMode::ReadOnly));
    EXPECT_EQ(UploadFile("empty.txt", &empty).Kind, TKind::Succeeded);
    Scan(); // as the main window does before the next upload
    EXPECT_EQ(UploadFile("Folder", nullptr).Kind, TKind::Succeeded);
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 2);
    EXPECT_EQ(Device.CountOf(CmdEraseBlock), 0);
    Scan();
    EXPECT_EQ(Recorder->FreeBlocks().Count(), freeBefore - 2);

    const struct {
        const char* name;
        std::uint8_t folder;
    } entries[] = {{"empty.txt", 0}, {"Folder", 1}};
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        const TDriveFileInfo* f = DriveFile(e.name);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->Size, 0);
        EXPECT_EQ(f->Folder, e.folder);
        EXPECT_EQ(f->Incomplete, 0);
        ASSERT_EQ(f->Blocks.Count(), 1);
        EXPECT_EQ(f->Blocks.Get(0).Header.DriveBlockIndex(), 1);
    }
    TPosixFile copy;
    ASSERT_TRUE(copy.Open(PcFile("copy.txt", {'o', 'l', 'd'}), TPosixFile::TMode::ReadWrite));
    Recorder->ReadDriveFile(Recorder->GetDriveFileList()->IndexOfName("empty.txt"), &copy);
    Recorder->WaitForOperation();
    EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded) << Recorder->GetOutcome().Message;
    EXPECT_EQ(copy.Size(), 0);

    // Without a free block the entry cannot be stored: refused, not reported as stored.
    while (Recorder->FreeBlocks().Count() > 0) {
        ASSERT_EQ(
            UploadFile("Filler" + std::to_string(Recorder->FreeBlocks().Count()), nullptr).Kind,
            TKind::Succeeded);
        Scan();
    }
    Device.ClearLog();
    EXPECT_EQ(UploadFile("Late", nullptr).Kind, TKind::Failed);
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
}

TEST_F(DriveUploads, ANameThatDoesNotFitThePageIsRefusedNotCut) {
    // With the code a page holds 2 x 249 bytes; after byte 64 that is 216 characters and
    // the zero character.
    TPosixFile file;
    ASSERT_TRUE(file.Open(PcFile("n.txt", {'n'}), TPosixFile::TMode::ReadOnly));
    const std::string longest = "D\\" + std::string(214, 'a');
    ASSERT_EQ(UploadFile(longest, &file).Kind, TKind::Succeeded);
    Scan();
    EXPECT_NE(DriveFile(longest), nullptr);

    Device.ClearLog();
    const TOperationOutcome outcome = UploadFile(longest + "b", &file);
    EXPECT_EQ(outcome.Kind, TKind::Failed);
    EXPECT_NE(outcome.Message.find("too long"), std::string::npos) << outcome.Message;
    EXPECT_EQ(UploadFile("", &file).Kind, TKind::Failed);
    EXPECT_EQ(UploadFile(std::string("bad\xFFname"), &file).Kind, TKind::Failed);
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
}

} // namespace
