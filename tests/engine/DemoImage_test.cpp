// The demo image as the build makes it: read back through the engine and analysed by the
// caller-ID library the program loads, the calls give their numbers and the rest gives none.
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "FixtureDevice.h"
#include "audio/CustomFile.h"
#include "callerid/Norvel.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesProfiles.h"
#include "tests/support/TempDir.h"

namespace {

using namespace fixture;
using testsupport::TTempDir;
using TKind = TOperationOutcome::TKind;

// The three entry points of the library, bound by name as the program binds them.
class TNorvel {
public:
    TNorvel() : Handle(dlopen(NORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) {
        if (Handle == nullptr)
            return;
        Calc = reinterpret_cast<TLnCalcConnect>(dlsym(Handle, "_lnCalcConnect"));
        Status = reinterpret_cast<TLnGetStatus>(dlsym(Handle, "_lnGetStatus"));
        Reset = reinterpret_cast<TLnResetConnect>(dlsym(Handle, "_lnResetConnect"));
    }
    ~TNorvel() {
        if (Handle != nullptr)
            dlclose(Handle);
    }
    bool Loaded() const { return Calc && Status && Reset; }

    TCallerIdStatus Analyse(const std::vector<std::int16_t>& pcm, std::uint32_t rate) {
        Reset(static_cast<std::int32_t>(rate));
        for (std::size_t at = 0; at < pcm.size(); at += 1024) {
            const std::size_t n = std::min<std::size_t>(1024, pcm.size() - at);
            Calc(static_cast<std::uint16_t>(n), pcm.data() + at);
        }
        TCallerIdStatus status{};
        Status(&status);
        return status;
    }

private:
    void* Handle;
    TLnCalcConnect Calc = nullptr;
    TLnGetStatus Status = nullptr;
    TLnResetConnect Reset = nullptr;
};

std::string DigitText(const TCallerIdStatus& s) {
    static const char keys[] = "0123456789ABCD*#";
    std::string text;
    for (std::uint16_t i = 4; s.Words[1] > 0 && i < 3 + s.Words[1]; ++i)
        text.push_back(s.Words[i] < 16 ? keys[s.Words[i]] : '?');
    return text;
}

// The second group: its kind and its values.
std::pair<int, std::vector<std::uint16_t>> SecondGroup(const TCallerIdStatus& s) {
    const std::size_t kind = 3 + s.Words[1];
    const std::size_t length = s.Words[2];
    if (length == 0 || kind + length > NORVEL_STATUS_WORDS)
        return {-1, {}};
    return {s.Words[kind], {s.Words + kind + 1, s.Words + kind + length}};
}

class DemoImage : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string command = std::string("\"") + DEMO_TOOL_PATH + "\" \"" + Image + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Recorder = std::make_unique<TRecorder>(ConnImageFile, Ui);
        Recorder->SetImageFileName(Image);
        ASSERT_TRUE(Recorder->IsConnected());
        Recorder->Refresh();
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded);
    }

    std::vector<std::int16_t> ReadMono(std::uint16_t number) {
        struct TSink : TCustomFile {
            std::int32_t Read(void*, std::int32_t) override { return 0; }
            std::int32_t Write(const void* data, std::int32_t n) override {
                const auto* bytes = static_cast<const std::uint8_t*>(data);
                Bytes.insert(Bytes.end(), bytes, bytes + n);
                return n;
            }
            std::vector<std::uint8_t> Bytes;
        } sink;
        const TSoundFileInfo* record = Recorder->GetSoundFileList()->ByNumber(number);
        EXPECT_NE(record, nullptr);
        if (record == nullptr)
            return {};
        Recorder->OutputSink = &sink;
        Recorder->ReadSoundFile(number, 0, record->Duration);
        Recorder->WaitForOperation();
        Recorder->OutputSink = nullptr;
        EXPECT_EQ(Recorder->GetOutcome().Kind, TKind::Succeeded) << number;
        std::vector<std::int16_t> pcm(sink.Bytes.size() / 2);
        for (std::size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<std::int16_t>(sink.Bytes[2 * i] | (sink.Bytes[2 * i + 1] << 8));
        return pcm;
    }
    std::uint32_t RateOf(std::uint16_t number) {
        return Recorder->GetSoundFileList()->ByNumber(number)->WaveFormat.SamplesPerSec;
    }

    TTempDir Dir;
    std::string Image = Dir.File("OM_Q70_DEMO.OVK");
    TFakeUi Ui;
    std::unique_ptr<TRecorder> Recorder;
    TNorvel Norvel;
};

TEST_F(DemoImage, HoldsRecordingsOfEveryStatusAndDriveFiles) {
    const TSoundFileList& list = *Recorder->GetSoundFileList();
    EXPECT_EQ(list.Count(), 7);
    std::set<std::uint8_t> statuses;
    for (int i = 0; i < list.Count(); ++i)
        statuses.insert(list.Get(i)->Status);
    EXPECT_EQ(statuses, (std::set<std::uint8_t>{0x55, 0xAA, 0xFF}));
    EXPECT_GE(Recorder->GetDriveFileList()->Count(), 2);
}

TEST_F(DemoImage, CallsGiveTheirNumbersAndTheRestNone) {
    ASSERT_TRUE(Norvel.Loaded()) << dlerror();
    const TCallerIdStatus dtmf = Norvel.Analyse(ReadMono(1), RateOf(1));
    EXPECT_EQ(DigitText(dtmf), "84951234567");

    const auto [mfKind, mf] = SecondGroup(Norvel.Analyse(ReadMono(2), RateOf(2)));
    EXPECT_EQ(mfKind, 0);
    EXPECT_EQ(mf, (std::vector<std::uint16_t>{1, 4, 9, 5, 5, 0, 2, 3}));

    const auto [fskKind, fsk] = SecondGroup(Norvel.Analyse(ReadMono(3), RateOf(3)));
    EXPECT_EQ(fskKind, 1);
    const std::string bytes(fsk.begin(), fsk.end());
    EXPECT_NE(bytes.find("4951234567"), std::string::npos);
    EXPECT_NE(bytes.find("QUORVEX DEMO"), std::string::npos);

    for (std::uint16_t number : {4, 5, 6, 7}) {
        const TCallerIdStatus none = Norvel.Analyse(ReadMono(number), RateOf(number));
        EXPECT_EQ(none.Words[1], 0) << number;
        EXPECT_EQ(none.Words[2], 0) << number;
    }
}

// A timer date the recorder's clock can reach (seconds since 1970 in 32 bits).
bool IsClockDate(int year, int month, int day) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return year >= 1970 && year <= 2105 && month >= 1 && month <= 12 && day >= 1 &&
           day <= (month == 2 && !leap ? 28 : days[month - 1]);
}

TEST_F(DemoImage, HoldsTheSettingsAnOwnerWouldHaveStored) {
    const TRecSettings& s = Recorder->Settings();
    EXPECT_GE(s.AccessLevel, 1);
    EXPECT_LE(s.AccessLevel, 3);
    EXPECT_LT(s.CurrentProfile, 8);
    EXPECT_EQ(s.Password, NoPasswordBlock);
    for (std::uint8_t tag : LineParamTags)
        EXPECT_NE(s.FindLineParam(tag), nullptr) << int(tag);
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        SCOPED_TRACE(i + 1);
        const TRecProfile& p = s.Profiles[i];
        EXPECT_NE(p.Name[0], 0);
        const bool format = (p.Compress == 0 && p.CompressParam == 0 && p.SampleRate <= 5) ||
                            (p.Compress == 1 && p.CompressParam <= 4 && p.SampleRate <= 5) ||
                            (p.Compress == 2 && (p.CompressParam == 1 || p.CompressParam == 2) &&
                             (p.SampleRate == 3 || p.SampleRate == 4));
        EXPECT_TRUE(format);
        EXPECT_TRUE(p.CyclicRecord == 0 || p.CyclicRecord == 0xFF);
        EXPECT_TRUE(p.CycleBufSize >= 1 && p.CycleBufSize <= 100);
        EXPECT_TRUE(p.TimerType == 0xFF || p.TimerType == 1 || p.TimerType == 2);
        EXPECT_TRUE(p.TimerStartHour < 24 && p.TimerStartMin < 60);
        EXPECT_TRUE(p.TimerStopHour < 24 && p.TimerStopMin < 60);
        EXPECT_TRUE(IsClockDate(p.TimerStartYear, p.TimerStartMonth, p.TimerStartDay));
        EXPECT_TRUE(IsClockDate(p.TimerStopYear, p.TimerStopMonth, p.TimerStopDay));
        EXPECT_TRUE(p.Vas == 0 || p.Vas == 1);
        EXPECT_TRUE(p.VasLevel >= -55 && p.VasLevel <= 0);
        EXPECT_TRUE(p.VasTime >= 1 && p.VasTime <= 15);
        EXPECT_TRUE(p.PgacGain >= 42 && p.PgacGain <= 82 && (p.PgacGain - 42) % 10 == 0);
        EXPECT_TRUE(p.PgacMode == 0 || p.PgacMode == 0xFF);
        for (std::uint8_t rate :
             {p.PgacFastAttack, p.PgacFastRelease, p.PgacSlowAttack, p.PgacSlowRelease})
            EXPECT_LE(rate, 15);
    }
}

TEST_F(DemoImage, ItsProfilesComeBackWholeFromAProfileFile) {
    const TRecSettings saved = Recorder->Settings();
    const std::string file = Dir.File("demo.rpr");
    ASSERT_TRUE(Recorder->SaveProfileFile(file, saved));
    // Every value the file carries is changed first; the switches stay on or off.
    std::array<std::uint8_t, TRecSettings::Size> bytes = saved.ToBytes();
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(~byte);
    TRecSettings loaded = TRecSettings::FromBytes(bytes.data());
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        loaded.Profiles[i].CyclicRecord = saved.Profiles[i].CyclicRecord;
        loaded.Profiles[i].Vas = saved.Profiles[i].Vas;
        loaded.Profiles[i].Request = saved.Profiles[i].Request;
        loaded.Profiles[i].Number = saved.Profiles[i].Number;
    }
    ASSERT_TRUE(Recorder->LoadProfileFile(file, loaded));
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i)
        EXPECT_EQ(loaded.Profiles[i].ToBytes(), saved.Profiles[i].ToBytes()) << i + 1;
}

} // namespace
