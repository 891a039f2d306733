#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <thread>

#include "FixtureDevice.h"
#include "FixtureFlash.h"
#include "audio/CustomFile.h"
#include "audio/Watermark.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "engine/RecDownload.h"
#include "i18n/VexaLang.h"
#include "platform/CodePage.h"
#include "tests/support/BoundedWait.h"
#include "tests/support/ByteStreamReader.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;
namespace fs = std::filesystem;

// The download's check-word register, bit by bit: reflected 0xEDB88320 from 0x3268A97E.
std::uint32_t BitCrc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t reg = 0x3268A97E;
    for (std::size_t i = 0; i < size; ++i) {
        reg ^= data[i];
        for (int b = 0; b < 8; ++b)
            reg = (reg & 1) ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    }
    return reg;
}

struct TWaveContent {
    TWaveFormat Format;
    Bytes Data;
    Bytes AddInfo;
    bool HasAddInfo = false;
};

TWaveContent ReadWave(const std::string& path) {
    TWaveContent content;
    TWaveFile wave;
    wave.SetFileName(path);
    EXPECT_TRUE(wave.Open()) << path;
    content.Format = wave.GetFormat();
    content.Data.resize(wave.GetDataSize());
    EXPECT_EQ(wave.Read(content.Data.data(), static_cast<std::int32_t>(content.Data.size())),
              static_cast<std::int32_t>(content.Data.size()));
    content.HasAddInfo = wave.HasAddInfo();
    content.AddInfo = wave.GetAddInfo();
    wave.Close();
    return content;
}

std::int32_t CheckMarks(const Bytes& data, const std::uint8_t* trailer) {
    return MarkCheck(testsupport::ByteStreamReader(data), trailer, nullptr);
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bytes FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TMarkRandom FixedRandom() {
    return [](std::uint32_t n) { return n / 2; };
}

// Two recordings of plain 8 kHz sound on a simulated device: 1 of four blocks holding a slow
// tone, 2 of two blocks with a break (two voice parts). 1024-byte pages, 8 per block.
struct DownloadFixture : ::testing::Test {
    TTempDir Dir;
    TTempDir ImageDir;
    std::string ImagePath = ImageDir.File("memory.ovk");
    static constexpr std::uint32_t PageSize = 1024;
    TFakeDevice Device{{PageSize, 8, 16, 1}};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;
    double BlockSeconds = LayoutSecondsPerBlock({PageSize, 8, 16, 1}, 0, 0, 8000);

    void SetUp() override {
        Device.FirmwareVersion = 0x0105;
        Device.Flash.PutContinuousRecording(1, 1000, {3, 5, 6, 7}, BlockSeconds);
        std::int16_t n = 0;
        for (std::uint32_t block : {3u, 5u, 6u, 7u})
            for (std::uint32_t p = 0; p < 8; ++p) {
                std::uint8_t* page = Device.Flash.Page(block, p);
                for (std::uint32_t i = p == 0 ? 64 : 0; i + 1 < PageSize - 2; i += 2, ++n)
                    Put16(page + i, static_cast<std::uint16_t>(
                                        std::lround(8000 * std::sin(n * 2 * M_PI / 80.0))));
            }
        Device.Flash.PutContinuousRecording(2, 3000, {9, 10}, BlockSeconds);
        THeaderSpec second;
        second.Number = 2;
        second.Index = 2;
        second.Time = 3004;
        Device.Flash.PutHeader(10, second);
        Device.Flash.PutPageInfo(9, 3, 0x55FF);
        Device.Flash.PutBreakRecord(9, 4, 3002);
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Device.Transport());
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded);
    }
    // The same flash as a recorder image file, connected as an image (kind 1).
    void UseImage() {
        Device.Flash.WriteImageFile(ImagePath);
        Recorder = std::make_unique<TRecorder>(ConnImageFile, Ui);
        Recorder->SetImageFileName(ImagePath);
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded);
    }
    // The voted status of a block's header in the image file.
    std::uint8_t ImageStatus(std::uint32_t block) {
        const Bytes image = FileBytes(ImagePath);
        std::uint8_t voted[20];
        VoteTripleCopy(&image[PageSize + block * 8 * PageSize], voted, 20);
        return TBlockHeader::FromBytes(voted).Status();
    }
    TSoundFileInfo& Recording(std::uint16_t number) {
        return *Recorder->GetSoundFileList()->ByNumber(number);
    }
    TWaveDownloadOptions Options(const std::string& name) {
        TWaveDownloadOptions options;
        options.FileName = Dir.File(name);
        options.Random = FixedRandom();
        return options;
    }
    // The PCM a read gives, through a plain memory sink.
    Bytes ReadPcm(std::uint16_t number) {
        struct TSink : TCustomFile {
            std::int32_t Read(void*, std::int32_t) override { return 0; }
            std::int32_t Write(const void* d, std::int32_t n) override {
                Data.insert(Data.end(), static_cast<const std::uint8_t*>(d),
                            static_cast<const std::uint8_t*>(d) + n);
                return n;
            }
            Bytes Data;
        } sink;
        Recorder->OutputSink = &sink;
        Recorder->ReadSoundFile(number, 0, Recording(number).Duration);
        Recorder->WaitForOperation();
        Recorder->OutputSink = nullptr;
        return sink.Data;
    }
};

TEST_F(DownloadFixture, ARecordingBecomesAMarkedWaveWithCheckWordAndIsMarkedDownloaded) {
    UseImage();
    const Bytes pcm = ReadPcm(1);
    const TRecordToDownload record = MakeRecordToDownload(Recording(1));
    ASSERT_EQ(record.Status, StatusNotDownloaded);
    const TWaveDownloadOptions options = Options("1.wav");
    std::vector<std::uint8_t> progress;
    const TDownloadResult result =
        DownloadRecordToWave(*Recorder, record, options, [&](std::uint8_t percent) {
            progress.push_back(percent);
            return false;
        });
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(result.DataBytes, pcm.size());
    ASSERT_EQ(result.Files, std::vector<std::string>{options.FileName});

    const TWaveContent wave = ReadWave(options.FileName);
    EXPECT_EQ(wave.Format, Recording(1).WaveFormat);
    ASSERT_EQ(wave.Data.size(), pcm.size() + 128); // a mark record before and after the audio
    ASSERT_TRUE(wave.HasAddInfo);
    ASSERT_EQ(wave.AddInfo.size(), 170u);
    const TWaveAddInfo info = ParseWaveAddInfo(wave.AddInfo.data(), 170);
    EXPECT_EQ(info.Version, 5);
    EXPECT_EQ(info.SerialNumber, Utf8ToUtf16(Recorder->GetSerialNumber()));
    EXPECT_FALSE(info.SerialNumber.empty());
    EXPECT_EQ(info.ModelName, Utf8ToUtf16(Recorder->GetModelName()).substr(0, 20));
    EXPECT_EQ(info.RecordTime, UnixTimeToSystemTime(1000));
    EXPECT_EQ(info.SourceCompression, SourceNone);
    EXPECT_EQ(info.CheckWord, ~(BitCrc32(wave.Data.data(), wave.Data.size()) ^ 0x55555555u));
    const std::uint8_t* trailer = wave.Data.data() + wave.Data.size() - 64;
    EXPECT_EQ(std::memcmp(info.MarkRecord.data(), trailer, 64), 0);
    EXPECT_EQ(CheckMarks(wave.Data, trailer), 0);
    // The audio is the recording's, give or take the mark's bits and tones.
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const double a = static_cast<std::int16_t>(Get16(&pcm[i]));
        const double b = static_cast<std::int16_t>(Get16(&wave.Data[64 + i]));
        signal += a * a;
        noise += (a - b) * (a - b);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 30.0);

    EXPECT_EQ(result.Outcome.Kind, TKind::Succeeded) << result.Outcome.Message;
    EXPECT_TRUE(result.Marked);
    // On the recorder: the first block's header now says downloaded.
    EXPECT_EQ(ImageStatus(3), StatusDownloaded);
    EXPECT_EQ(ImageStatus(5), StatusNotDownloaded);
}

// Records that are never marked: the recorder's flash is left exactly as it was.
TEST_F(DownloadFixture, VoicePartsUploadsAndDownloadsWithoutMarkingLeaveTheRecorderAlone) {
    struct Case {
        const char* name;
        TRecordToDownload record;
        bool mark;
        bool addInfo;
    };
    TRecordToDownload uploaded = MakeRecordToDownload(Recording(1));
    uploaded.Status = StatusUploaded;
    TRecordToDownload downloaded = MakeRecordToDownload(Recording(1));
    downloaded.Status = StatusDownloaded;
    ASSERT_EQ(Recording(2).VoiceParts->Count(), 2);
    const TRecordToDownload part = MakeRecordToDownload(*Recording(2).VoiceParts->Get(1));
    ASSERT_TRUE(part.IsVoicePart());
    ASSERT_EQ(part.ParentNumber, 2);
    const Case cases[] = {
        {"voicePart", part, true, true},
        {"uploaded", uploaded, true, false},
        {"downloaded", downloaded, true, true},
        {"notAsked", MakeRecordToDownload(Recording(1)), false, true},
    };
    const Bytes flash = Device.Flash.Data();
    for (const Case& c : cases) {
        TWaveDownloadOptions options = Options(std::string(c.name) + ".wav");
        options.MarkDownloaded = c.mark;
        Device.ClearLog();
        const TDownloadResult result = DownloadRecordToWave(*Recorder, c.record, options);
        EXPECT_EQ(result.Outcome.Kind, TKind::Succeeded) << c.name << result.Outcome.Message;
        EXPECT_FALSE(result.Marked) << c.name;
        EXPECT_EQ(Device.CountOf(CmdFlashWrite) + Device.CountOf(CmdEraseBlock), 0) << c.name;
        ASSERT_EQ(result.Files.size(), 1u) << c.name;
        const TWaveContent wave = ReadWave(result.Files[0]);
        EXPECT_EQ(wave.HasAddInfo, c.addInfo) << c.name;
        EXPECT_EQ(CheckMarks(wave.Data, wave.Data.data() + wave.Data.size() - 64), 0) << c.name;
    }
    EXPECT_EQ(Device.Flash.Data(), flash);
}

// The read waits at each flash read until the UI has polled as often, so the cancel falls
// in the middle of the read whatever the machine's speed.
TEST_F(DownloadFixture, ACancelRemovesEveryPartItWroteAndMarksNothing) {
    std::ofstream(Dir.File("unrelated.txt")) << "stays";
    std::ofstream(Dir.File("1.wav")) << "the user's old file";
    std::ofstream(Dir.File("1_0001.wav")) << "the user's old second part";
    std::atomic<int> polls{0};
    std::atomic<int> reads{0};
    Device.BeforeCommand = [&](std::uint8_t command) {
        if (command != CmdFlashRead)
            return;
        const int n = ++reads;
        testsupport::WaitUntil([&] { return polls.load() >= n || polls.load() >= 100; });
    };
    TWaveDownloadOptions options = Options("1.wav");
    options.SplitSize = 4096; // a part per block or so
    const TDownloadResult result =
        DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(1)), options,
                             [&](std::uint8_t) { return ++polls >= 3; });
    EXPECT_EQ(result.Outcome.Kind, TKind::Cancelled);
    EXPECT_FALSE(result.Marked);
    EXPECT_TRUE(result.Files.empty());
    EXPECT_EQ(result.Reason, TDownloadReason::Cancelled);
    // Every part it wrote is gone, and the user's files of the same names are as they were:
    // a download replaces them only once it has succeeded whole.
    EXPECT_EQ(FilesIn(Dir.Path),
              (std::vector<std::string>{"1.wav", "1_0001.wav", "unrelated.txt"}));
    EXPECT_EQ(Text(FileBytes(Dir.File("1.wav"))), "the user's old file");
    EXPECT_EQ(Text(FileBytes(Dir.File("1_0001.wav"))), "the user's old second part");
    EXPECT_EQ(Device.CountOf(CmdFlashWrite), 0);
}

TEST_F(DownloadFixture, AFailedReadOrAnUncreatableFileLeavesNothing) {
    Device.FailCommand(CmdFlashRead, 2, RecErrTimeout);
    TDownloadResult result =
        DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(1)), Options("1.wav"));
    EXPECT_EQ(result.Outcome.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(result.Outcome.Command, CmdFlashRead);
    EXPECT_EQ(result.Outcome.ErrorCode, RecErrTimeout);
    EXPECT_FALSE(result.Marked);
    EXPECT_TRUE(FilesIn(Dir.Path).empty());

    TWaveDownloadOptions options = Options("missing/1.wav");
    result = DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(1)), options);
    // The reason is the file's, not the read's: the caller can name the file and the cause.
    EXPECT_EQ(result.Reason, TDownloadReason::CantCreate);
    EXPECT_EQ(result.FailedFile, Dir.File("missing/1.wav"));
    EXPECT_EQ(result.Errno, ENOENT);
    EXPECT_FALSE(result.Marked);
    EXPECT_TRUE(FilesIn(Dir.Path).empty());

    options = Options("2.wav");
    options.SplitSize = 100; // smaller than any part can be
    result = DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(2)), options);
    EXPECT_EQ(result.Outcome.Kind, TKind::Failed);
    EXPECT_TRUE(FilesIn(Dir.Path).empty());
}

TEST_F(DownloadFixture, ASplitDownloadLeavesNumberedPartsEachWhole) {
    TWaveDownloadOptions options = Options("1.wav");
    options.MarkDownloaded = false;
    options.SplitSize = 8192;
    const TDownloadResult result =
        DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(1)), options);
    ASSERT_EQ(result.Outcome.Kind, TKind::Succeeded);
    ASSERT_GE(result.Files.size(), 2u);
    EXPECT_EQ(result.Files[1], Dir.File("1_0001.wav"));
    std::uint64_t audio = 0;
    for (const std::string& name : result.Files) {
        EXPECT_LE(fs::file_size(name), 8192u) << name;
        const TWaveContent wave = ReadWave(name);
        const TWaveAddInfo info = ParseWaveAddInfo(wave.AddInfo.data(), 170);
        EXPECT_EQ(info.CheckWord, ~(BitCrc32(wave.Data.data(), wave.Data.size()) ^ 0x55555555u));
        EXPECT_EQ(CheckMarks(wave.Data, wave.Data.data() + wave.Data.size() - 64), 0) << name;
        audio += wave.Data.size() - 128;
    }
    EXPECT_EQ(audio, result.DataBytes);
}

TEST_F(DownloadFixture, ARecordingWithoutAudioLeavesNoFileButCountsAsDownloaded) {
    // A compression the decoder does not know gives no PCM at all.
    THeaderSpec odd;
    odd.Number = 4;
    odd.Time = 7000;
    odd.Type = 3;
    Device.Flash.PutHeader(12, odd);
    Device.Flash.PutPageInfoRange(12, 0, 8, 0x5555);
    UseImage();
    const TDownloadResult result =
        DownloadRecordToWave(*Recorder, MakeRecordToDownload(Recording(4)), Options("4.wav"));
    EXPECT_TRUE(result.Files.empty());
    EXPECT_EQ(result.DataBytes, 0u);
    EXPECT_TRUE(FilesIn(Dir.Path).empty());
    EXPECT_EQ(result.Outcome.Kind, TKind::Succeeded) << result.Outcome.Message;
    EXPECT_TRUE(result.Marked);
    EXPECT_EQ(ImageStatus(12), StatusDownloaded);
}

// --- Drive files ---------------------------------------------------------------------------

TEST(DriveFileNames, BecomeRelativePcPathsThatStayInsideTheirFolder) {
    struct Case {
        const char* name;
        std::string driveName;
        std::string path;
    };
    const Case cases[] = {
        {"plain", "report.txt", "report.txt"},
        {"folders", "Docs\\2024\\report.txt", "Docs/2024/report.txt"},
        {"leadingAndDoubled", "\\Docs\\\\a.txt\\", "Docs/a.txt"},
        {"parentParts", "..\\..\\etc\\passwd", "etc/passwd"},
        {"dotParts", ".\\a\\.\\b", "a/b"},
        {"slashInAPart", "a/../../b", "a_.._.._b"},
        {"controlCharacters",
         std::string("a\x01\x1f\x7f"
                     "b"),
         "a___b"},
        {"nothingLeft", "..\\.\\", "_"},
        {"empty", "", "_"},
        {"utf8Kept", "M\xC3\xBCller.doc", "M\xC3\xBCller.doc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SanitiseDriveFileName(c.driveName), c.path) << c.name;
    const std::string longName(300, 'x');
    EXPECT_EQ(SanitiseDriveFileName(longName).size(), 255u);
    // A cut never splits a character: 127 two-byte letters and one more do not fit 255 bytes.
    std::string umlauts;
    for (int i = 0; i < 128; ++i)
        umlauts += "\xC3\xBC";
    EXPECT_EQ(SanitiseDriveFileName(umlauts).size(), 254u);
    EXPECT_EQ(DriveFilePcPath("/home/u/Downloads", "..\\x.txt"), "/home/u/Downloads/x.txt");
    EXPECT_EQ(DriveFilePcPath("/home/u/", "a\\b"), "/home/u/a/b");
}

struct DriveDownload : ::testing::Test {
    TTempDir Dir;
    TFakeDevice Device{{512, 8, 16, 1}};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;
    Bytes Content;

    void SetUp() override {
        Device.FirmwareVersion = 0x0A05; // stored without correction: pages 1.. hold the data
        Content.resize(5000);
        std::mt19937 random(3);
        for (std::uint8_t& b : Content)
            b = static_cast<std::uint8_t>(random());
        for (std::uint32_t k = 0; k < 2; ++k) {
            THeaderSpec h;
            h.Drive = true;
            h.Number = 1;
            h.Time = 4000;
            h.DriveSize = static_cast<std::uint32_t>(Content.size());
            h.DriveIndex = static_cast<std::uint16_t>(k + 1);
            h.Flags = k == 0 ? 0x80 : 0;
            Device.Flash.PutHeader(4 + k, h);
            for (std::uint32_t p = 1; p < 8; ++p) {
                const std::size_t at = (k * 7 + p - 1) * 512;
                if (at < Content.size())
                    std::memcpy(Device.Flash.Page(4 + k, p), &Content[at],
                                std::min<std::size_t>(512, Content.size() - at));
            }
        }
        Device.Flash.PutDriveName(4, u"Docs\\..\\report.bin");
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, Ui, Device.Transport());
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetDriveFileList()->Count(), 1);
    }
};

TEST_F(DriveDownload, AFileArrivesWholeUnderItsSanitisedName) {
    const TDriveFileInfo& file = *Recorder->GetDriveFileList()->Get(0);
    EXPECT_EQ(file.Name, "Docs\\..\\report.bin"); // the engine keeps the name as read
    fs::create_directories(Dir.Path / "Docs");
    const std::string path = DriveFilePcPath(Dir.Path.string(), file.Name);
    EXPECT_EQ(path, Dir.File("Docs/report.bin"));
    const TDownloadResult result = DownloadDriveFileTo(*Recorder, 0, path);
    ASSERT_EQ(result.Outcome.Kind, TKind::Succeeded) << result.Outcome.Message;
    EXPECT_EQ(result.Files, std::vector<std::string>{path});
    EXPECT_EQ(result.DataBytes, Content.size());
    EXPECT_EQ(FileBytes(path), Content);
    EXPECT_EQ(FilesIn(Dir.Path / "Docs"), std::vector<std::string>{"report.bin"});
}

TEST_F(DriveDownload, ACancelledOrFailedDownloadKeepsTheOldFileAndLeavesNoTemporary) {
    const std::string path = Dir.File("report.bin");
    std::ofstream(path) << "old";
    std::atomic<bool> polled{false};
    Device.BeforeCommand = [&](std::uint8_t command) {
        if (command == CmdFlashRead)
            testsupport::WaitUntil([&] { return polled.load(); });
    };
    TDownloadResult result = DownloadDriveFileTo(*Recorder, 0, path, [&](std::uint8_t) {
        polled = true;
        return true;
    });
    EXPECT_EQ(result.Outcome.Kind, TKind::Cancelled);
    EXPECT_TRUE(result.Files.empty());
    EXPECT_EQ(FileBytes(path), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(FilesIn(Dir.Path), std::vector<std::string>{"report.bin"});

    Device.BeforeCommand = nullptr;
    Device.FailCommand(CmdFlashRead, 2, RecErrChecksum);
    result = DownloadDriveFileTo(*Recorder, 0, path);
    EXPECT_EQ(result.Outcome.Kind, TKind::ExchangeFailed);
    EXPECT_EQ(FileBytes(path), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(FilesIn(Dir.Path), std::vector<std::string>{"report.bin"});

    result = DownloadDriveFileTo(*Recorder, 0, Dir.File("no/such/folder/report.bin"));
    EXPECT_EQ(result.Reason, TDownloadReason::CantCreate);
    EXPECT_EQ(result.FailedFile, Dir.File("no/such/folder/report.bin"));
    EXPECT_EQ(result.Errno, ENOENT);
    result = DownloadDriveFileTo(*Recorder, 7, Dir.File("other.bin"));
    EXPECT_EQ(result.Reason, TDownloadReason::RecorderFailed);
    EXPECT_EQ(result.Outcome.Kind, TKind::Failed);
    EXPECT_EQ(FilesIn(Dir.Path), std::vector<std::string>{"report.bin"});
}

// A PC file stored in an image file's drive area with the error-correcting code, one of its
// 249-byte slots then damaged beyond correction on the image: the download keeps every byte
// that can be read, at its place and cut to the file's size, in place of the old PC file,
// and tells the user where the damage is. A move must not erase it: the outcome is no
// success.
TEST(DriveDownloadOfImage, OneUncorrectableSlotKeepsTheFileAndSaysWhere) {
    constexpr std::uint16_t PageSize = 2112;
    constexpr std::uint16_t PagesPerBlock = 64;
    TTempDir dir;
    TFakeUi ui;
    const std::string image = dir.File("memory.ovk");
    TFlashImage({PageSize, PagesPerBlock, 8, 1}).WriteImageFile(image);
    TRecorder recorder(ConnImageFile, ui);
    recorder.SetImageFileName(image);
    ASSERT_TRUE(recorder.IsConnected());
    const auto scan = [&] {
        recorder.Refresh();
        recorder.WaitForOperation();
        ASSERT_EQ(recorder.GetOutcome().Kind, TKind::Succeeded);
    };
    scan();

    Bytes content(7972);
    std::mt19937 random(5);
    for (std::uint8_t& b : content)
        b = static_cast<std::uint8_t>(random());
    const std::string source = dir.File("source.bin");
    std::ofstream(source, std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    TPosixFile sourceFile;
    ASSERT_TRUE(sourceFile.Open(source, TPosixFile::TMode::ReadOnly));
    recorder.WriteDriveFile("report.bin", &sourceFile, TSystemTime{2024, 1, 1, 1, 0, 0, 0, 0});
    recorder.WaitForOperation();
    ASSERT_EQ(recorder.GetOutcome().Kind, TKind::Succeeded) << recorder.GetOutcome().Message;
    sourceFile.Close();
    scan();
    ASSERT_EQ(recorder.GetDriveFileList()->Count(), 1);
    const std::uint32_t block = recorder.GetDriveFileList()->Get(0)->Blocks.Get(0).Block;

    // Slot 1 of page 2 of the file's block: four bytes changed, more than the code corrects.
    {
        TPosixFile flash;
        ASSERT_TRUE(flash.Open(image, TPosixFile::TMode::ReadWrite));
        const std::uint64_t slot =
            PageSize + (std::uint64_t{block} * PagesPerBlock + 2) * PageSize + 256;
        for (std::uint64_t at : {10, 60, 110, 250}) {
            std::uint8_t byte = 0;
            ASSERT_TRUE(flash.ReadExact(slot + at, &byte, 1));
            byte ^= 0x5A;
            ASSERT_TRUE(flash.WriteExact(slot + at, &byte, 1));
        }
    }

    const std::string target = dir.File("report.bin");
    std::ofstream(target) << "an older copy";
    const TDownloadResult result = DownloadDriveFileTo(recorder, 0, target);
    EXPECT_EQ(result.Outcome.Kind, TKind::Damaged);
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.Files, std::vector<std::string>{target});
    EXPECT_EQ(result.Outcome.Message,
              "ECC UNCORRECTABLE ERROR: the file report.bin was saved, but it holds bytes that "
              "could not be corrected, in page 2 of block 0.");
    const Bytes saved = FileBytes(target);
    ASSERT_EQ(saved.size(), content.size());
    // Page 1 of the block holds the file's first 8 x 249 bytes, so slot 1 of page 2 holds
    // those from 9 x 249 on: every other byte is the file's.
    const std::size_t damaged = 9 * 249;
    std::size_t same = 0;
    for (std::size_t i = 0; i < content.size(); ++i)
        if (i < damaged || i >= damaged + 249)
            same += saved[i] == content[i] ? 1 : 0;
    EXPECT_EQ(same, content.size() - 249) << "7,723 of 7,972 bytes read back";
    EXPECT_EQ(FilesIn(dir.Path),
              (std::vector<std::string>{"memory.ovk", "report.bin", "source.bin"}));
}

} // namespace
