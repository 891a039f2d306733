// Makes the program's demo image: a fresh recorder image into which the recorder engine
// uploads, as the program would, recordings in every codec made from synthetic call audio
// (some with caller-ID signalling) and a few flash-drive files, and then gives the recordings
// their statuses. Usage: MakeDemoImage <output image>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesJournal.h"
#include "engine/RecClassesWrite.h"
#include "engine/demo/DemoSignals.h"
#include "link/ImageFile.h"
#include "platform/ByteOrder.h"
#include "platform/PosixFile.h"

namespace fs = std::filesystem;
using namespace demo;
using TCompression = TUploadFormatChoice::TCompression;

namespace {

// The upload compression the engine asks the UI for.
class TDemoUi : public TRecorderUi {
public:
    std::optional<TUploadFormatChoice> ChooseUploadFormat() override { return Choice; }
    std::optional<TUploadFormatChoice> Choice;
};

struct TRecordingPlan {
    const char* Title;
    TUploadFormatChoice Format;
    std::uint32_t Rate;
    TSystemTime Time;
    std::uint8_t Status;
    std::function<TPcm(std::uint32_t rate)> Make;
};

struct TDriveFilePlan {
    std::string Name;
    TSystemTime Time;
    std::vector<std::uint8_t> Content;
};

class EDemoFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// --- The calls ----------------------------------------------------------------------------

const TVoice Caller{118, 7000, 1.0, 11};
const TVoice Callee{205, 5200, 0.8, 23};
const TVoice Dictation{142, 6500, 1.1, 37};

// Turns of a conversation: the near end loud, the far end through the line and quieter.
TPcm Conversation(std::uint32_t rate, std::uint32_t ms, std::uint32_t seed) {
    TPcm pcm;
    std::uint32_t turn = 0;
    TRandom random(seed);
    while (pcm.size() < std::size_t{rate} * ms / 1000) {
        const auto turnMs = static_cast<std::uint32_t>(random.Between(2500, 5000));
        TVoice voice = turn % 2 == 0 ? Caller : Callee;
        voice.Seed = seed * 100 + turn;
        TPcm speech = SpeechLike(rate, turnMs, voice);
        if (turn % 2 == 1)
            speech = TelephoneBand(speech, rate);
        Append(pcm, speech);
        ++turn;
    }
    pcm.resize(std::size_t{rate} * ms / 1000);
    MixInto(pcm, Background(rate, ms, 120, seed + 7));
    return pcm;
}

TPcm OutgoingCallWithDtmf(std::uint32_t rate) {
    TPcm pcm = Silence(rate, 400);
    Append(pcm, DtmfDigits(rate, "84951234567", -10, 70, 70));
    Append(pcm, Silence(rate, 1200));
    Append(pcm, Conversation(rate, 10000, 3));
    return pcm;
}

TPcm IncomingCallWithMfNumber(std::uint32_t rate) {
    TPcm pcm = Silence(rate, 300);
    Append(pcm, MfCallerNumber(rate, 1, "4955023", 2));
    Append(pcm, Silence(rate, 400));
    Append(pcm, Conversation(rate, 13000, 5));
    return pcm;
}

TPcm IncomingCallWithFsk(std::uint32_t rate) {
    TPcm pcm = Silence(rate, 300);
    Append(pcm, FskBurst(rate, MdmfMessage("03151403", "4951234567", "QUORVEX DEMO"), -13));
    Append(pcm, Silence(rate, 1000));
    Append(pcm, Conversation(rate, 13000, 8));
    return pcm;
}

TPcm LongConversation(std::uint32_t rate) {
    return Conversation(rate, 50000, 13);
}

TPcm DictationWithNoise(std::uint32_t rate) {
    TPcm pcm = SpeechLike(rate, 40000, Dictation);
    MixInto(pcm, Background(rate, 40000, 400, 17));
    return pcm;
}

TPcm MusicOnHold(std::uint32_t rate) {
    TPcm pcm = Melody(rate, 9000, 5000);
    MixInto(pcm, Background(rate, 9000, 60, 19));
    return pcm;
}

TPcm RoomAmbience(std::uint32_t rate) {
    TPcm pcm = Background(rate, 10000, 700, 23);
    TVoice distant = Callee;
    distant.Amplitude = 1800;
    distant.Seed = 29;
    MixInto(pcm, SpeechLike(rate, 10000, distant));
    return pcm;
}

TSystemTime At(std::uint16_t month, std::uint16_t day, std::uint16_t hour, std::uint16_t minute,
               std::uint16_t second) {
    return TSystemTime{2024, month, 0, day, hour, minute, second, 0};
}

std::vector<TRecordingPlan> Recordings() {
    return {
        {"outgoing call, DTMF",
         {TCompression::None, 0},
         8000,
         At(3, 14, 9, 12, 5),
         StatusDownloaded,
         OutgoingCallWithDtmf},
        {"incoming call, multi-frequency number",
         {TCompression::ULaw, 0},
         8000,
         At(3, 14, 10, 47, 31),
         StatusNotDownloaded,
         IncomingCallWithMfNumber},
        {"incoming call, FSK caller ID",
         {TCompression::ULaw, 1},
         8000,
         At(3, 15, 14, 3, 12),
         StatusNotDownloaded,
         IncomingCallWithFsk},
        {"conversation",
         {TCompression::Adpcm4, 0},
         8000,
         At(3, 15, 16, 20, 44),
         StatusDownloaded,
         LongConversation},
        {"dictation",
         {TCompression::Adpcm2, 0},
         8000,
         At(3, 16, 8, 5, 0),
         StatusUploaded,
         DictationWithNoise},
        {"music on hold",
         {TCompression::ULaw, 2},
         20000,
         At(3, 16, 11, 30, 15),
         StatusUploaded,
         MusicOnHold},
        {"room",
         {TCompression::None, 0},
         4000,
         At(3, 17, 19, 55, 9),
         StatusNotDownloaded,
         RoomAmbience},
    };
}

std::vector<std::uint8_t> Text(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    for (char c : text) {
        if (c == '\n')
            bytes.push_back('\r');
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return bytes;
}

std::vector<std::uint8_t> SettingsBackup() {
    TRandom random(41);
    std::vector<std::uint8_t> bytes(160 * 1024);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i % 64 < 8 ? static_cast<std::uint8_t>(i / 64)
                              : static_cast<std::uint8_t>(random.Next());
    return bytes;
}

std::vector<TDriveFilePlan> DriveFiles() {
    return {
        {"ReadMe.txt", At(3, 10, 12, 0, 0),
         Text("Quorvex demo recorder\n"
              "=====================\n\n"
              "This memory image was made by the Quorvex build from synthetic sound.\n"
              "Recordings 1 to 3 carry call signalling that the sound information\n"
              "dialog can analyse: DTMF digits, a multi-frequency number after its\n"
              "500 Hz request tone, and an FSK caller-ID message.\n")},
        {"Docs\\Call list.csv", At(3, 17, 20, 0, 0),
         Text("Record;Date;Direction;Number\n"
              "1;2024-03-14 09:12;outgoing;84951234567\n"
              "2;2024-03-14 10:47;incoming;4955023\n"
              "3;2024-03-15 14:03;incoming;4951234567\n")},
        {"Settings backup.bin", At(3, 12, 18, 30, 0), SettingsBackup()},
    };
}

// --- The settings record ------------------------------------------------------------------

struct TProfilePlan {
    const char* Name;
    std::uint8_t Rate; // rate code
    std::uint8_t Compress;
    std::uint8_t CompressParam;
    bool Cyclic;
    std::uint8_t CycleBufSize;
    std::uint8_t TimerType; // 0xFF off, 1 daily, 2 once
    bool Vas;
    std::int8_t VasLevel;
    std::uint8_t VasTime;
    std::uint8_t GainPosition; // 40..80, the dialog's up-down
    bool Agc;
};

// Eight profiles as an owner would have set them in the settings dialog.
constexpr TProfilePlan ProfilePlans[] = {
    {"Phone", 3, 2, 2, false, 100, 0xFF, false, -30, 10, 40, true},
    {"Meeting", 2, 1, 0, false, 100, 0xFF, true, -40, 10, 60, true},
    {"Dictate", 3, 1, 0, false, 100, 0xFF, true, -30, 5, 50, true},
    {"LongPlay", 4, 2, 1, true, 100, 0xFF, true, -35, 15, 40, true},
    {"Hi-Fi", 1, 0, 0, false, 100, 0xFF, false, -30, 10, 40, false},
    {"Cyclic", 3, 2, 2, true, 50, 0xFF, false, -30, 10, 40, true},
    {"Office", 3, 2, 2, false, 100, 1, false, -30, 10, 40, true},
    {"Lecture", 3, 2, 1, false, 100, 2, true, -50, 15, 80, true},
};

// The record the demo recorder holds: what the settings dialog would have stored, with timers
// in the week the demo calls were made.
TRecSettings DemoSettings() {
    TRecSettings s;
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        const TProfilePlan& plan = ProfilePlans[i];
        TRecProfile& p = s.Profiles[i];
        p.Number = static_cast<std::uint8_t>(i + 1);
        const std::string name = plan.Name;
        std::copy_n(name.begin(), std::min(name.size(), p.Name.size()), p.Name.begin());
        p.SampleRate = plan.Rate;
        p.Compress = plan.Compress;
        p.CompressParam = plan.CompressParam;
        p.CyclicRecord = plan.Cyclic ? 0xFF : 0;
        p.CycleBufSize = plan.CycleBufSize;
        p.TimerType = plan.TimerType;
        p.TimerStartHour = 8;
        p.TimerStartMin = 30;
        p.TimerStartDay = 18;
        p.TimerStartMonth = 3;
        p.TimerStartYear = 2024;
        p.TimerStopHour = 17;
        p.TimerStopMin = 45;
        p.TimerStopDay = 18;
        p.TimerStopMonth = 3;
        p.TimerStopYear = 2024;
        p.Vas = plan.Vas ? 1 : 0;
        p.VasLevel = plan.VasLevel;
        p.VasTime = plan.VasTime;
        p.PgacGain = static_cast<std::uint8_t>(plan.GainPosition + 2);
        p.PgacMode = plan.Agc ? 0 : 0xFF;
        p.PgacFastAttack = 8;
        p.PgacFastRelease = 8;
        p.PgacSlowAttack = 4;
        p.PgacSlowRelease = 4;
    }
    s.SearchStep = 16;
    s.KeyPressType = 1;
    s.AccessLevel = 2;
    // Battery levels in ADC units of a 2.5 V reference: about 3.0, 3.3, 3.66 and 3.97 V.
    s.BatteryThresholds = {4900, 5400, 6000, 6500};
    s.AntialiasFilter = 1;
    s.CurrentProfile = 0;
    s.Password = NoPasswordBlock;
    s.LineParams = {{{LineTagAnswerAndCallerId, 0x02}, // FSK caller ID
                     {LineTagRingVoltage, 40},
                     {LineTagBusyVoltage, 20},
                     {LineTagNumberLength, 7},
                     {LineTagRingsBeforeAnswer, 2},
                     {LineTagFirstRequestDelay, 70}, // 300 ms
                     {LineTagRequestDuration, 50},   // 100 ms
                     {LineTagRequestFormAndCount, 3 << 3 | 2},
                     {LineTagRequestAmplitude, 2}, // -12 dB
                     {LineTagMinDigits, 5},
                     {LineTagNextRequestDelay, 80}, // 200 ms
                     {LineTagDtmfVoltage, 100},     // 1200 mV
                     {LineTagDialDelay, 5}}};
    return s;
}

// --- Through the engine -------------------------------------------------------------------

void Expect(bool ok, const std::string& what) {
    if (!ok)
        throw EDemoFailed(what);
}

void ExpectSucceeded(TRecorder& recorder, const std::string& what) {
    recorder.WaitForOperation();
    const TOperationOutcome outcome = recorder.GetOutcome();
    Expect(outcome.Kind == TOperationOutcome::TKind::Succeeded,
           what + ": " + outcome.Operation + " " + outcome.Message);
}

void Scan(TRecorder& recorder) {
    recorder.Refresh();
    ExpectSucceeded(recorder, "scan");
}

void WriteWave(const std::string& path, const TPcm& pcm, std::uint32_t rate) {
    TWaveFile wave;
    TWaveFormat format;
    SetPcmFormat(&format, 1, rate, 16);
    wave.SetFormat(format);
    wave.SetFileName(path);
    Expect(wave.Create(), "cannot create " + path);
    std::vector<std::uint8_t> bytes(pcm.size() * 2);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        PutI16(&bytes[2 * i], pcm[i]);
    Expect(wave.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())) ==
               static_cast<std::int32_t>(bytes.size()),
           "cannot write " + path);
    Expect(wave.Close(), "cannot finish " + path);
}

std::uint16_t NextRecordNumber(TRecorder& recorder) {
    std::uint16_t highest = 0;
    const TSoundFileList& list = *recorder.GetSoundFileList();
    for (int i = 0; i < list.Count(); ++i)
        highest = std::max(highest, list.Get(i)->Number);
    return static_cast<std::uint16_t>(highest + 1);
}

void UploadRecording(TRecorder& recorder, TDemoUi& ui, const TRecordingPlan& plan,
                     const fs::path& work) {
    const std::string path = (work / "upload.wav").string();
    WriteWave(path, plan.Make(plan.Rate), plan.Rate);
    TWaveFile wave;
    wave.SetFileName(path);
    Expect(wave.Open(), "cannot open " + path);
    ui.Choice = plan.Format;
    Expect(recorder.ChooseUploadFormat() == 0, "no upload format");
    const std::uint16_t number = NextRecordNumber(recorder);
    recorder.WriteSoundFile(number, wave, plan.Time);
    ExpectSucceeded(recorder, plan.Title);
    wave.Close();
    Scan(recorder);
    if (plan.Status != StatusUploaded)
        recorder.ChangeSoundFileStatus(number, plan.Status);
    std::printf("recording %u: %s\n", number, plan.Title);
}

void UploadDriveFile(TRecorder& recorder, const TDriveFilePlan& plan, const fs::path& work) {
    const std::string path = (work / "upload.bin").string();
    TPosixFile file;
    Expect(file.Open(path, TPosixFile::TMode::CreateTruncate) &&
               file.WriteExact(0, plan.Content.data(), plan.Content.size()),
           "cannot write " + path);
    recorder.WriteDriveFile(plan.Name, &file, plan.Time);
    ExpectSucceeded(recorder, plan.Name);
    Scan(recorder);
    std::printf("drive file: %s\n", plan.Name.c_str());
}

void MakeImage(const std::string& image, const fs::path& work) {
    RemoveFile(image);
    SetImageFile(image, true);
    Expect(FileExists(image), "cannot create " + image);

    TDemoUi ui;
    SetRecorderUi(&ui);
    TCustomRecorder* created = CreateRecorder(ConnImageFile);
    auto* recorder = dynamic_cast<TRecorder*>(created);
    try {
        Expect(recorder != nullptr, "no recorder object");
        recorder->SetImageFileName(image);
        Expect(recorder->IsConnected(), "the new image does not open");
        recorder->Settings() = DemoSettings();
        recorder->StoreSettings();
        Expect(recorder->Settings() == DemoSettings(), "the settings do not read back");
        Scan(*recorder);
        for (const TRecordingPlan& plan : Recordings())
            UploadRecording(*recorder, ui, plan, work);
        for (const TDriveFilePlan& plan : DriveFiles())
            UploadDriveFile(*recorder, plan, work);
        Scan(*recorder);
        Expect(RebuildBlockTable(), "cannot write the block table");
    } catch (...) {
        DestroyRecorder(created);
        SetRecorderUi(nullptr);
        throw;
    }
    DestroyRecorder(created);
    SetRecorderUi(nullptr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output image>\n", argv[0]);
        return 2;
    }
    const std::string target = argv[1];
    const std::string image = target + ".tmp";
    const fs::path work = target + ".work";
    try {
        fs::create_directories(work);
        // The copies of blocks that the status changes keep stay in the work folder.
        SetRecorderDataFolder(work.string());
        MakeImage(image, work);
        fs::remove_all(work);
        Expect(RenameFile(image, target), "cannot rename " + image + " to " + target);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "MakeDemoImage: %s\n", error.what());
        std::error_code ignored;
        fs::remove_all(work, ignored);
        RemoveFile(image);
        return 1;
    }
    return 0;
}
