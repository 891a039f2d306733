#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

#include "FixtureDevice.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "link/DebugLog.h"
#include "link/ImageFile.h"
#include "tests/support/BoundedWait.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;

// A small flash so that scans stay quick: 16 blocks of 8 pages of 512 bytes.
TFlashShape SmallShape() {
    return {512, 8, 16, 1};
}

struct RecorderOnDevice : ::testing::Test {
    TFakeDevice Device{SmallShape()};
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;

    void Make(std::uint32_t kind = ConnUsb20SpiAdapter) {
        Recorder = std::make_unique<TRecorder>(kind, Ui, Device.Transport());
    }
    void SetUp() override { Make(); }
    void Unlock() {
        ASSERT_TRUE(Recorder->IsConnected());
        ASSERT_TRUE(Recorder->CheckPassword(""));
    }
    void Scan() {
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetState(), StateIdle);
    }
};

TEST_F(RecorderOnDevice, ANewObjectIsIdleActiveAndLocked) {
    EXPECT_EQ(Recorder->GetState(), StateIdle);
    EXPECT_TRUE(Recorder->GetActive());
    EXPECT_FALSE(Recorder->IsAccessGranted());
    EXPECT_FALSE(Recorder->GetSkipSilence());
    EXPECT_TRUE(Recorder->IsModified());
    EXPECT_EQ(Recorder->GetModelClass(), 0u);
    EXPECT_EQ(Recorder->Settings().Password, NoPasswordBlock);
    EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::None);
    EXPECT_EQ(Ui.Attached, Recorder.get());
    EXPECT_TRUE(Device.Sent.empty()); // construction talks to nobody
    Recorder.reset();
    EXPECT_EQ(Ui.Attached, nullptr);
}

TEST_F(RecorderOnDevice, ConnectReadsClockAndGeometryAndVoltageOnlyWhenUnlocked) {
    ASSERT_TRUE(Recorder->IsConnected());
    TSystemTime clock;
    Recorder->GetRecorderTime(clock);
    EXPECT_EQ(clock, (TSystemTime{1970, 1, 5, 2, 0, 0, 0, 0}));
    EXPECT_EQ(Recorder->Geometry().PageSize, 512);
    EXPECT_EQ(Device.CountOf(CmdPwVolt), 0);
    EXPECT_EQ(Recorder->GetPowerVoltage(), 0);
    ASSERT_TRUE(Recorder->CheckPassword(""));
    ASSERT_TRUE(Recorder->IsConnected());
    EXPECT_EQ(Recorder->GetPowerVoltage(), 3900);
    EXPECT_EQ(Device.CountOf(CmdFlashParam), 1); // once per connection
}

TEST_F(RecorderOnDevice, BadGeometryMeansNotConnected) {
    struct Case {
        const char* name;
        std::uint8_t flashCount;
        std::uint16_t pagesPerBlock, blocks, pageSize, firstRec, divisor;
    };
    const Case cases[] = {
        {"zero geometry", 0, 0, 0, 0, 0, 0},
        {"zero page size", 1, 8, 16, 0, 1, 1},
        {"zero divisor", 1, 8, 16, 512, 1, 0},
        {"divisor not dividing", 1, 8, 16, 512, 1, 3},
        {"first block past the end", 1, 8, 16, 512, 16, 1},
        {"garbage", 0xA5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5, 0xA5A5},
        {"block numbers past 16 bits", 2, 8, 33000, 512, 1, 1},
    };
    for (const Case& c : cases) {
        SetFlashParams(Device, c.flashCount, c.pagesPerBlock, c.blocks, c.pageSize, c.firstRec,
                       c.divisor);
        Make();
        EXPECT_FALSE(Recorder->IsConnected()) << c.name;
        EXPECT_FALSE(Recorder->HasValidGeometry()) << c.name;
        try {
            Recorder->Refresh();
            ADD_FAILURE() << c.name << ": Refresh went on";
        } catch (const TERecXchange& e) {
            EXPECT_EQ(e.Command(), CmdFlashParam) << c.name;
            EXPECT_EQ(e.ErrorCode(), RecErrInSize) << c.name;
        }
        EXPECT_EQ(Recorder->GetState(), StateIdle) << c.name;
    }
}

TEST_F(RecorderOnDevice, AFailedProbeClearsAccessAndPassword) {
    Unlock();
    EXPECT_FALSE(Recorder->CheckPassword("abc"));
    ASSERT_NE(Recorder->Settings().Password, NoPasswordBlock);
    Device.Reachable = false;
    EXPECT_FALSE(Recorder->IsConnected());
    EXPECT_FALSE(Recorder->IsAccessGranted());
    EXPECT_EQ(Recorder->Settings().Password, NoPasswordBlock);
}

TEST_F(RecorderOnDevice, SwitchingOffClosesTheLinkAndStopsPolling) {
    Unlock();
    Recorder->SetActive(false);
    EXPECT_EQ(Device.Sent.back().Command, CmdCloseLink);
    Device.ClearLog();
    EXPECT_FALSE(Recorder->IsConnected());
    EXPECT_FALSE(Recorder->IsAccessGranted());
    EXPECT_TRUE(Device.Sent.empty());
    Recorder->SetActive(true);
    EXPECT_EQ(Recorder->Settings().Password, NoPasswordBlock);
}

TEST_F(RecorderOnDevice, AFailedClockReadIsReportedAsNotConnected) {
    Unlock();
    Device.FailCommand(CmdRtc, 1, RecErrTimeout);
    EXPECT_FALSE(Recorder->IsConnected());
    EXPECT_TRUE(Recorder->IsAccessGranted()); // only a non-exchange failure drops access
    EXPECT_TRUE(Recorder->IsConnected());
}

TEST_F(RecorderOnDevice, RefreshReadsIdentityAndModelClass) {
    struct Case {
        std::uint16_t firmware;
        std::uint32_t modelClass;
    };
    // 7 and 200 are in no class: the class stays what the case before left.
    const Case cases[] = {{0x0105, 0}, {0x0301, 4}, {0x0901, 1}, {0x0A05, 2}, {0x0700, 2},
                          {0x0D00, 3}, {0x1300, 5}, {0xC800, 5}, {0x1200, 1}};
    Unlock();
    for (const Case& c : cases) {
        Device.FirmwareVersion = c.firmware;
        Scan();
        EXPECT_EQ(Recorder->GetFirmwareVersion(), c.firmware);
        EXPECT_EQ(Recorder->GetModelClass(), c.modelClass) << std::hex << c.firmware;
    }
    EXPECT_EQ(Recorder->GetSerialNumber(), "4711");
    EXPECT_EQ(Ui.Restores, static_cast<int>(std::size(cases)));

    // A model without a name constant shows its number.
    Device.FirmwareVersion = 0xC800;
    Scan();
    const std::string hours = std::to_string(std::uint64_t{16} * 8 * 512 / 2003 / 3600);
    EXPECT_EQ(Recorder->GetModelName(), "200 " + hours);
    Device.FirmwareVersion = 0x0A05;
    Scan();
    EXPECT_EQ(Recorder->GetModelName(), "Recorder model 10 " + hours);
}

// What the recorder catches and does not pass on still leaves its line in the debug log.
TEST_F(RecorderOnDevice, SwallowedErrorsLeaveALogLine) {
    TTempDir dir(/*enter=*/true);
    SetDebugLogLevel(1);
    Unlock();
    EXPECT_EQ(LangText("NoSuchConstantStr"), "NoSuchConstantStr");
    Device.FirmwareVersion = 0xC800; // a model without a caption
    Scan();
    Device.BeforeCommand = [](std::uint8_t) { throw std::runtime_error("the adapter went away"); };
    EXPECT_FALSE(Recorder->IsConnected());
    Device.BeforeCommand = nullptr;
    SetDebugLogLevel(0);
    std::ifstream in(dir.File("debug.log"));
    const std::string log{std::istreambuf_iterator<char>(in), {}};
    for (const char* line : {"ERROR: Text constant NoSuchConstantStr (its name is shown): ",
                             "ERROR: Caption of model 200 (its number is shown): ",
                             "ERROR: Connection poll (not connected): the adapter went away"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(RecorderOnDevice, BatteryLevelFromTheThresholds) {
    struct Case {
        std::uint16_t millivolts, firmware;
        std::uint8_t level;
    };
    // With 2500 mV the reading is 4095 (2047 for model 9, which measures up to 5000 mV).
    const Case cases[] = {{2500, 0x0105, 3}, {2500, 0x0905, 0}, {2200, 0x0105, 2},
                          {1850, 0x0105, 1}, {1800, 0x0105, 0}, {0, 0x0105, 0}};
    Unlock();
    for (const Case& c : cases) {
        Device.FirmwareVersion = c.firmware;
        Device.Millivolts = c.millivolts;
        Scan();
        Recorder->Settings().BatteryThresholds = {100, 3000, 3500, 4095};
        ASSERT_TRUE(Recorder->IsConnected());
        EXPECT_EQ(Recorder->GetBatteryLevel(), c.level) << c.millivolts << " mV";
    }
}

TEST_F(RecorderOnDevice, EachFactoryDefaultSendsItsOwnRequest) {
    const struct {
        const char* name;
        int (TRecorder::*call)();
        std::uint8_t request;
    } cases[] = {
        {"settings only", &TRecorder::SetDefault, RequestGet},
        {"settings and memory", &TRecorder::SetDefaultAndErase, RequestSet},
    };
    ASSERT_TRUE(Recorder->IsConnected());
    for (const auto& c : cases) {
        Device.ClearLog();
        EXPECT_EQ(((*Recorder).*c.call)(), RecErrSuccess) << c.name;
        ASSERT_EQ(Device.Sent.size(), 1u) << c.name;
        EXPECT_EQ(Device.Sent[0].Command, CmdSetDefault) << c.name;
        EXPECT_EQ(Device.Sent[0].Out, Bytes{c.request}) << c.name;
    }
}

TEST_F(RecorderOnDevice, ThePasswordFieldIsRebuiltForEveryTry) {
    ASSERT_TRUE(Recorder->IsConnected());
    std::copy_n("longer-pass", 12, Device.Password.begin()); // with its zero byte
    EXPECT_FALSE(Recorder->CheckPassword("abcdefghijklmno"));
    EXPECT_FALSE(Recorder->CheckPassword("abc"));
    const Bytes& sent = Device.Sent.back().Out;
    ASSERT_EQ(sent.size(), 21u);
    Bytes expected = {0x00, 'a', 'b', 'c', 0x00};
    expected.resize(21, 0xFF);
    EXPECT_EQ(sent, expected);

    EXPECT_FALSE(Recorder->CheckPassword(""));
    Bytes none(21, 0xFF);
    none[0] = 0x00;
    EXPECT_EQ(Device.Sent.back().Out, none);

    EXPECT_TRUE(Recorder->CheckPassword("longer-pass"));
    EXPECT_TRUE(Recorder->IsAccessGranted());
}

TEST_F(RecorderOnDevice, PasswordsOutsidePrintableAsciiAreRefusedUnsent) {
    ASSERT_TRUE(Recorder->IsConnected());
    Device.ClearLog();
    for (const char* p : {"caf\xC3\xA9", "tab\there", "twenty-one-characters"}) {
        EXPECT_FALSE(Recorder->CheckPassword(p)) << p;
        EXPECT_FALSE(Recorder->IsAccessGranted());
    }
    EXPECT_EQ(Device.CountOf(CmdCheckPw), 0);
}

TEST(RecorderSettings, AdaptersReadProfilesThroughCommandsNegatingVas) {
    // Kind 2 is an adapter too: its settings never go through an image file.
    for (std::uint32_t kind :
         {ConnUsb11Adapter, ConnUsb20Adapter, ConnUsb20SpiAdapter, ConnUsb20AdapterB}) {
        TFakeDevice device(SmallShape());
        TFakeUi ui;
        TRecorder recorder(kind, ui, device.Transport());
        device.ActiveProfile = 9;
        device.Profiles[0][29] = 30; // -30 dB on the wire
        device.Profiles[1][10] = 6;  // no such rate
        device.Profiles[2][11] = 3;  // no such compression
        device.Profiles[3][1] = 77;  // whatever number the device keeps
        ASSERT_TRUE(recorder.IsConnected());
        recorder.ReadSettings();
        const TRecSettings& s = recorder.Settings();
        EXPECT_EQ(s.CurrentProfile, 0) << kind;
        EXPECT_EQ(s.Profiles[0].VasLevel, -30) << kind;
        EXPECT_EQ(s.Profiles[1].SampleRate, 4) << kind;
        EXPECT_EQ(s.Profiles[2].Compress, 0) << kind;
        EXPECT_EQ(s.Profiles[3].Number, 4) << kind;
        EXPECT_EQ(device.CountOf(CmdActiveProf), 1);
        EXPECT_EQ(device.CountOf(CmdProf), 8);
        for (int i = 0; i < 8; ++i) { // requests name the profile by its position
            const Bytes& out =
                device.Sent[static_cast<std::size_t>(device.Sent.size() - 8 + i)].Out;
            EXPECT_EQ(out[0], 0x00);
            EXPECT_EQ(out[1], i + 1);
        }
    }
}

TEST_F(RecorderOnDevice, StoreSendsNegatedCopiesAndThePassword) {
    Unlock();
    Recorder->ReadSettings();
    TRecSettings& s = Recorder->Settings();
    s.CurrentProfile = 5;
    s.Profiles[2].VasLevel = -30;
    s.Profiles[2].Number = 99;
    s.Password = *MakePasswordField("new");
    const TRecSettings before = s;
    Device.ClearLog();
    Recorder->StoreSettings();
    EXPECT_EQ(Device.ActiveProfile, 5);
    EXPECT_EQ(Device.Profiles[2][0], 0xFF);
    EXPECT_EQ(Device.Profiles[2][1], 3);
    EXPECT_EQ(Device.Profiles[2][29], 30);
    EXPECT_EQ(std::string(Device.Password.begin(), Device.Password.begin() + 3), "new");
    EXPECT_EQ(Device.Password[3], 0);
    EXPECT_EQ(Device.Password[4], 0xFF);
    // Read back: the record is what the device holds, the VAS level as it was given.
    EXPECT_EQ(Recorder->Settings().Profiles[2].VasLevel, -30);
    EXPECT_EQ(Recorder->Settings().CurrentProfile, 5);
    EXPECT_EQ(Recorder->Settings().Password, before.Password);
    EXPECT_GT(Device.CountOf(CmdProf), 8); // stored, then read back
}

TEST_F(RecorderOnDevice, AStoreFailingPartWayLeavesTheRecordAsItWas) {
    Unlock();
    Recorder->ReadSettings();
    for (auto& p : Recorder->Settings().Profiles)
        p.VasLevel = -20;
    const TRecSettings before = Recorder->Settings();
    Device.FailCommand(CmdProf, 5, RecErrTimeout);
    EXPECT_THROW(Recorder->StoreSettings(), TERecXchange);
    EXPECT_EQ(Recorder->Settings(), before);
}

TEST(RecorderOnImage, AHeaderThatCannotBeWrittenKeepsWhatTheFileHolds) {
    TTempDir dir;
    const std::string image = dir.File("memory.ovk");
    SetImageFile(image, true);
    TFakeUi ui;
    TRecorder recorder(ConnImageFile, ui);
    recorder.SetImageFileName(image);
    ASSERT_TRUE(recorder.IsConnected());
    recorder.ReadSettings();
    const TRecSettings before = recorder.Settings();

    // The file goes away under the program and a folder takes its name: nothing can be
    // written or read there.
    std::filesystem::remove(image);
    std::filesystem::create_directory(image);
    recorder.Settings().Profiles[0].VasLevel = -7;
    recorder.Settings().AccessLevel = 3;
    EXPECT_THROW(recorder.StoreSettings(), TERecXchange);
    recorder.Settings() = before;
    recorder.ReadSettings();
    EXPECT_EQ(recorder.Settings(), before);
}

TEST_F(RecorderOnDevice, StoreRefusesAPasswordFieldItCannotSend) {
    Unlock();
    Recorder->Settings().Password.fill('a'); // no terminating zero
    Device.ClearLog();
    EXPECT_THROW(Recorder->StoreSettings(), ERecPasswordError);
    EXPECT_TRUE(Device.Sent.empty());
}

TEST(UploadSize, Only16BitPcmMonoAtTheRatesEachCompressionTakes) {
    struct Case {
        std::uint16_t tag, channels, bits;
        std::uint32_t rate;
        std::uint8_t compression, param;
        std::int64_t size;
    };
    const std::uint64_t data = 80000;
    const Case cases[] = {
        {1, 1, 16, 8000, 0, 0, 80000},  {1, 1, 16, 40000, 0, 0, 80000},
        {1, 1, 16, 16000, 0, 0, -1},    {1, 1, 16, 16000, 2, 2, -1},
        {1, 1, 16, 16000, 1, 0, -1},    {1, 1, 16, 8000, 2, 1, 10000},
        {1, 1, 16, 4000, 2, 2, 20000},  {1, 1, 16, 13333, 2, 2, -1},
        {1, 1, 16, 20000, 1, 3, 40000}, {1, 1, 16, 40000, 1, 3, -1},
        {1, 2, 16, 8000, 0, 0, -1},     {1, 1, 8, 8000, 0, 0, -1},
        {0x11, 1, 16, 8000, 0, 0, -1},  {1, 1, 16, 8000, 3, 0, -1},
    };
    for (const Case& c : cases) {
        TWaveFormat f;
        f.FormatTag = c.tag;
        f.Channels = c.channels;
        f.BitsPerSample = c.bits;
        f.SamplesPerSec = c.rate;
        EXPECT_EQ(CalcUploadSize(f, data, c.compression, c.param), c.size)
            << c.tag << "/" << c.channels << "/" << c.bits << "/" << c.rate << " comp "
            << int(c.compression) << "," << int(c.param);
    }
}

TEST_F(RecorderOnDevice, UploadFormatComesFromTheUi) {
    using C = TUploadFormatChoice::TCompression;
    Ui.UploadChoice = TUploadFormatChoice{C::ULaw, 3};
    EXPECT_EQ(Recorder->ChooseUploadFormat(), 0);
    EXPECT_EQ(Recorder->GetUploadCompression(), CompressULaw);
    EXPECT_EQ(Recorder->GetUploadCompressParam(), 3);
    Ui.UploadChoice = TUploadFormatChoice{C::None, 0};
    EXPECT_EQ(Recorder->ChooseUploadFormat(), 0);
    EXPECT_EQ(Recorder->GetUploadCompression(), CompressNone);
    EXPECT_EQ(Recorder->GetUploadCompressParam(), 3); // a choice without a parameter keeps it
    Ui.UploadChoice = TUploadFormatChoice{C::Adpcm2, 0};
    Recorder->ChooseUploadFormat();
    Ui.UploadChoice.reset(); // Cancel
    EXPECT_EQ(Recorder->ChooseUploadFormat(), -1);
    EXPECT_EQ(Recorder->GetUploadCompression(), CompressAdpcm);
    EXPECT_EQ(Recorder->GetUploadCompressParam(), AdpcmParam2Bit);

    Recorder->SetHiddenTabVisible(true);
    EXPECT_EQ(Ui.HiddenTab, true);
}

TEST_F(RecorderOnDevice, MinimumRecordTimeOfTheCurrentProfile) {
    Unlock();
    Scan();
    ASSERT_EQ(Recorder->FreeBlocks().Count(), 15);
    TRecProfile& p = Recorder->Settings().Profiles[Recorder->Settings().CurrentProfile];
    p.SampleRate = 3;
    p.Compress = CompressAdpcm;
    p.CompressParam = 2;
    const double perBlock = LayoutSecondsPerBlock(SmallShape(), 2, 2, 8000);
    EXPECT_EQ(Recorder->GetMinRecordTime(),
              static_cast<std::uint64_t>(std::llround(perBlock * 15)));
}

TEST_F(RecorderOnDevice, ModelClassFourReadsTheChannelMode) {
    struct Case {
        std::uint8_t mode;
        std::uint16_t channels;
        const char* text;
    };
    const Case cases[] = {{0, 1, "Mono; 8000 Hz; No compress; "},
                          {1, 2, "Stereo; 8000 Hz; No compress; "},
                          {2, 1, "High S/N; 8000 Hz; No compress; "},
                          {3, 8, "8 channels; 8000 Hz; No compress; "},
                          {4, 2, "High S/N stereo; 8000 Hz; No compress; "},
                          {9, 1, "8000 Hz; No compress; "}};
    Device.FirmwareVersion = 0x0301;
    Unlock();
    for (const Case& c : cases) {
        THeaderSpec h;
        h.ChannelMode = c.mode;
        const double seconds = LayoutSecondsPerBlock(SmallShape(), 0, 0, 8000, c.channels);
        Device.Flash.PutContinuousRecording(1, 1000, {3, 4}, seconds, h);
        Scan();
        TSoundFileInfo* r = Recorder->GetSoundFileList()->ByNumber(1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->WaveFormat.Channels, c.channels) << int(c.mode);
        EXPECT_EQ(r->WaveFormat.BlockAlign, 2 * c.channels) << int(c.mode);
        EXPECT_NEAR(r->SecondsPerBlock, seconds, 1e-6) << int(c.mode);
        EXPECT_EQ(r->ModeText, c.text);
    }
    // Other model classes ignore the byte.
    Device.FirmwareVersion = 0x0105;
    Scan();
    EXPECT_EQ(Recorder->GetSoundFileList()->ByNumber(1)->WaveFormat.Channels, 1);
}

TEST_F(RecorderOnDevice, SkipSilenceChangesMarkTheContentChanged) {
    Unlock();
    Scan();
    EXPECT_FALSE(Recorder->IsModified());
    Recorder->SetSkipSilence(false);
    EXPECT_FALSE(Recorder->IsModified());
    Recorder->SetSkipSilence(true);
    EXPECT_TRUE(Recorder->IsModified());
}

TEST_F(RecorderOnDevice, HeadersAreReadInRequestsOfOneTransfer) {
    // 4 pages per transfer of 512 bytes: 32 headers of 64 bytes per request.
    SetFlashParams(Device, 1, 8, 200, 512, 1, 2);
    Device.Flash = TFlashImage({512, 8, 200, 1});
    Make();
    Unlock();
    Device.ClearLog();
    Scan();
    ASSERT_FALSE(Device.Reads.empty());
    std::uint32_t headers = 0;
    for (const TFlashReadLog& r : Device.Reads) {
        EXPECT_EQ(r.Count, 64u);
        EXPECT_EQ(r.AddrInc, 8u);
        EXPECT_LE(r.Cycles, 32u);
        EXPECT_EQ(r.PageAddr, headers * 8);
        headers += r.Cycles;
    }
    EXPECT_EQ(headers, 200u);
    EXPECT_EQ(Device.Reads.size(), 7u); // 6 x 32 + 8
}

// A device of 8192 blocks of 64 pages of 2112 bytes whose flash reads as erased; it only
// notes the read requests.
std::vector<TFlashReadLog> SparseReads;
void SparseExchange(std::uint8_t command, const void* out, std::uint32_t, void* in,
                    std::uint32_t inSize, std::uint32_t) {
    if (command == CmdFlashParam) {
        const std::uint8_t reply[11] = {1, 64, 0, 0x00, 0x20, 0x40, 0x08, 1, 0, 1, 0};
        std::memcpy(in, reply, sizeof reply);
    } else if (command == CmdFlashRead) {
        TFlashReadRequest r;
        std::memcpy(&r, out, sizeof r);
        SparseReads.push_back({r.PageAddr, r.Cycles, r.Count, r.Offset, r.AddrInc});
        std::memset(r.HostBuffer, 0xFF, std::size_t{r.Cycles} * r.Count);
    } else if (in != nullptr) {
        std::memset(in, 0, inSize);
    }
}
bool SparseProbe() {
    return true;
}

TEST(FlashRead, FourThousandHeadersGoOutInRequestsOfOneTransfer) {
    TFakeUi ui;
    TRecorder recorder(ConnUsb20SpiAdapter, ui, TTransport{SparseExchange, SparseProbe});
    ASSERT_TRUE(recorder.IsConnected());
    SparseReads.clear();
    std::vector<TBlockHeader> headers(4096);
    recorder.ReadBlockHeaders(4096, 0, headers.data());
    ASSERT_EQ(SparseReads.size(), 2u);
    EXPECT_EQ(SparseReads[0].Cycles, 2112u); // 2112 x 64 bytes = one transfer of 64 pages
    EXPECT_EQ(SparseReads[1].Cycles, 4096u - 2112);
    EXPECT_EQ(SparseReads[1].PageAddr, 2112u * 64);
    EXPECT_EQ(SparseReads[0].AddrInc, 64u);
    EXPECT_TRUE(headers[4095].IsEmpty());

    // A read that would leave the flash or its page is refused before any request.
    SparseReads.clear();
    std::uint8_t byte = 0;
    EXPECT_THROW(recorder.FlashRead(&byte, 8192 * 64, 1, 1, 1, 0), std::out_of_range);
    EXPECT_THROW(recorder.FlashRead(&byte, 0, 1, 1, 2, 2111), std::out_of_range);
    EXPECT_TRUE(SparseReads.empty());
}

TEST_F(RecorderOnDevice, AScanThatFailsStillEndsWithAnOutcome) {
    Unlock();
    Device.FailCommand(CmdFlashRead, 1, RecErrTimeout);
    Scan();
    const TOperationOutcome outcome = Recorder->GetOutcome();
    EXPECT_EQ(outcome.Kind, TOperationOutcome::TKind::ExchangeFailed);
    EXPECT_EQ(outcome.Operation, "ReadHeadersThread");
    EXPECT_EQ(outcome.Command, CmdFlashRead);
    EXPECT_EQ(outcome.ErrorCode, RecErrTimeout);
    EXPECT_EQ(Recorder->GetSoundFileList()->Count(), 0);
    EXPECT_FALSE(Recorder->IsModified()); // no rescan loop on a failing memory

    Scan();
    EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
}

TEST_F(RecorderOnDevice, NothingElseRunsWhileTheScanRuns) {
    Unlock();
    std::atomic<bool> inRead{false};
    std::atomic<bool> release{false};
    Device.BeforeCommand = [&](std::uint8_t command) {
        if (command != CmdFlashRead)
            return;
        inRead = true;
        testsupport::WaitUntil([&] { return release.load(); });
    };
    Recorder->Refresh();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return inRead.load(); }));
    EXPECT_EQ(Recorder->GetState(), StateRunning);
    EXPECT_THROW(Recorder->Refresh(), ERecorderBusy);
    EXPECT_THROW(Recorder->CheckPassword(""), ERecorderBusy);
    EXPECT_THROW(Recorder->StoreSettings(), ERecorderBusy);
    EXPECT_THROW(Recorder->SetImageFileName("other.ovk"), ERecorderBusy);
    EXPECT_THROW(Recorder->SetDefault(), ERecorderBusy);
    EXPECT_THROW(Recorder->SetDefaultAndErase(), ERecorderBusy);
    const std::size_t sent = Device.Sent.size();
    EXPECT_TRUE(Recorder->IsConnected()); // answered from the last poll
    EXPECT_EQ(Device.Sent.size(), sent);
    release = true;
    Recorder->WaitForOperation();
    EXPECT_EQ(Recorder->GetState(), StateIdle);
    EXPECT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
}

TEST(RecorderLife, DestroyStopsAndJoinsARunningWorkerAndSwallowsErrors) {
    TFakeDevice device(SmallShape());
    TFakeUi ui;
    auto* recorder = new TRecorder(ConnUsb20SpiAdapter, ui, device.Transport());
    ASSERT_TRUE(recorder->IsConnected());
    std::atomic<bool> inRead{false};
    // The worker holds on until the destruction has asked it to stop.
    device.BeforeCommand = [&](std::uint8_t command) {
        if (command != CmdFlashRead)
            return;
        inRead = true;
        testsupport::WaitUntil([&] { return recorder->IsCancelRequested(); });
    };
    device.FailCommand(CmdCloseLink, 1, RecErrTimeout);
    recorder->Refresh();
    EXPECT_TRUE(testsupport::WaitUntil([&] { return inRead.load(); }));
    EXPECT_NO_THROW(DestroyRecorder(recorder));
    EXPECT_EQ(ui.Detaches, 1);
    DestroyRecorder(nullptr);
}

TEST(RecorderLife, AdapterKindsWithoutAnAdapterReportNotConnected) {
    for (std::uint32_t kind :
         {ConnUsb11Adapter, ConnUsb20Adapter, ConnUsb20SpiAdapter, ConnUsb20AdapterB}) {
        TCustomRecorder* recorder = CreateRecorder(kind);
        ASSERT_NE(recorder, nullptr);
        EXPECT_FALSE(recorder->IsConnected()) << kind;
        EXPECT_THROW(recorder->Refresh(), TERecXchange) << kind;
        DestroyRecorder(recorder);
    }
}

TEST(RecorderLife, ThePresetFilesBesideTheProgramAreLoadedOnce) {
    TFakeUi ui;
    TRecorder recorder(ConnUsb20SpiAdapter, ui, TTransport{});
    const TQualityPresetList& quality = recorder.GetQualityPresets();
    ASSERT_GT(quality.Count(), 0);
    ASSERT_GT(recorder.GetVasPresets().Count(), 0);
    ASSERT_GT(recorder.GetAmpPresets().Count(), 0);
    TRecProfile profile;
    ApplyQualityPreset(quality.Get(0), profile);
    EXPECT_EQ(recorder.FindQualityPreset(profile), 0);
    profile.SampleRate = 0xEE;
    EXPECT_EQ(recorder.FindQualityPreset(profile), -1);
}

TEST(RecorderLife, ProgressIsComputedInSixtyFourBits) {
    TFakeUi ui;
    TRecorder recorder(ConnUsb20SpiAdapter, ui, TTransport{});
    struct Case {
        std::uint64_t done, total;
        std::uint8_t percent;
    };
    const Case cases[] = {{0, 0, 0},
                          {1, 3, 33},
                          {50000000, 50000000, 100},
                          {3ull << 60, 6ull << 60, 50},
                          {5, 4, 100}};
    for (const Case& c : cases) {
        recorder.SetProgress(c.done, c.total);
        EXPECT_EQ(recorder.GetProgress(), c.percent) << c.done << "/" << c.total;
    }
}

} // namespace
