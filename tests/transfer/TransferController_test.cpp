// The batches of the main window without the window: a recorder over a real image file whose
// operations take their time, real folders, and a script for every question and box.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "engine/RecClasses.h"
#include "i18n/VexaLang.h"
#include "link/RecXchange.h"
#include "platform/PosixFile.h"
#include "transfer/TransferController.h"
#include "transfer/TransferUi.h"
#include "tests/support/SlowRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WindowImages.h"
#include "tests/support/FileBytes.h"
#include "transfer/MessageCodes.h"

// --- What reaches the disk, and when ------------------------------------------------------
// The program's flushes pass through here, so a test can see that a file and its folder were
// on the disk before a recording was marked or erased.
namespace {

std::mutex DiskLogLock;
bool DiskLogOn = false;
std::vector<std::string> DiskLog;

void NoteDiskEvent(const std::string& event) {
    std::lock_guard lock(DiskLogLock);
    if (DiskLogOn)
        DiskLog.push_back(event);
}

void NoteFlush(const char* what, int fd) {
    char path[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    NoteDiskEvent(std::string(what) + " " + (n > 0 ? std::string(path, std::size_t(n)) : ""));
}

} // namespace

extern "C" int fdatasync(int fd) {
    NoteFlush("data", fd);
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

extern "C" int fsync(int fd) {
    NoteFlush("sync", fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

// Every question and box of a batch, answered from a script; what the batch showed is kept.
class TScriptedUi : public TTransferUi, public TRecorderUi {
public:
    // TTransferUi
    void ShowProgress(const std::string& text, bool) override { Progress.push_back(text); }
    void SetProgressText(const std::string& text) override { Labels.push_back(text); }
    void SetProgress(int percent) override {
        if (CancelAtPercent >= 0 && percent >= CancelAtPercent && percent < 100)
            Cancel = true;
    }
    void ProcessEvents() override {
        ++Pumps;
        if (OnPump)
            OnPump();
    }
    bool CancelRequested() override { return Cancel; }
    void ClearCancel() override { Cancel = false; }
    int AskOverwrite(std::string& fileName, bool renameAllowed) override {
        Asked.push_back(std::filesystem::path(fileName).filename().string());
        RenameAllowed.push_back(renameAllowed);
        if (OverwriteAnswers.empty()) {
            ++Unexpected;
            return mrCancelBatch;
        }
        const int answer = OverwriteAnswers.front();
        OverwriteAnswers.pop_front();
        // The rename button: a new bare name in the folder asked about, as the dialog gives.
        if (answer == mrOverwrite && !RenameTo.empty()) {
            if (!RenameTo.front().empty())
                fileName =
                    std::filesystem::path(fileName).parent_path().string() + "/" + RenameTo.front();
            RenameTo.pop_front();
        }
        return answer;
    }
    bool SelectRecordPart(std::uint32_t&, std::uint32_t&, std::uint64_t) override {
        ++Unexpected;
        return false;
    }
    int ShowMessage(const std::string& text, unsigned flags) override {
        Messages.push_back(text);
        if (!BoxAnswers.empty()) {
            const int answer = BoxAnswers.front();
            BoxAnswers.pop_front();
            return answer;
        }
        // A question nobody scripted is an error of the test; a notice is acknowledged.
        if ((flags & 0xF) != MB_OK) {
            ++Unexpected;
            return IDNO;
        }
        return IDOK;
    }
    void ShowExchangeError(const TERecXchange& error) override {
        Messages.push_back("exchange error " + std::to_string(error.Command()));
    }
    void ListsChanging() override { ++Rereads; }
    void ListsChanged() override {}

    // TRecorderUi: uploads go uncompressed.
    std::optional<TUploadFormatChoice> ChooseUploadFormat() override {
        return TUploadFormatChoice{};
    }

    std::vector<std::string> Progress;
    std::vector<std::string> Labels;
    std::vector<std::string> Messages;
    std::vector<std::string> Asked;
    std::vector<bool> RenameAllowed;
    std::deque<int> OverwriteAnswers;
    std::deque<std::string> RenameTo; // per overwrite answer: the name renamed to, or ""
    std::deque<int> BoxAnswers;
    std::function<void()> OnPump;
    int CancelAtPercent = -1;
    bool Cancel = false;
    int Pumps = 0;
    int Rereads = 0;
    int Unexpected = 0;
};

// The recorder of the tests, which also notes when it marks and erases, keeps the times its
// clock was set to, and can fail its next clock set, status change or write, or report no
// unused memory.
class TNotingRecorder : public TSlowRecorder {
public:
    using TSlowRecorder::TSlowRecorder;
    void ChangeSoundFileStatus(std::uint16_t number, std::uint8_t status) override {
        NoteDiskEvent("mark " + std::to_string(number));
        ThrowFailure();
        TSlowRecorder::ChangeSoundFileStatus(number, status);
    }
    int SetRecorderTime(TSystemTime time) override {
        ClockSets.push_back(time);
        ThrowFailure();
        return TSlowRecorder::SetRecorderTime(time);
    }
    std::int64_t GetUnusedMemory() override {
        return UnusedMemory ? *UnusedMemory : TSlowRecorder::GetUnusedMemory();
    }
    void EraseSoundFile(std::uint16_t number) override {
        NoteDiskEvent("erase " + std::to_string(number));
        TSlowRecorder::EraseSoundFile(number);
    }
    void WriteSoundFile(std::uint16_t number, TWaveFile& source, TSystemTime time) override {
        ThrowFailure();
        TSlowRecorder::WriteSoundFile(number, source, time);
    }
    void WriteDriveFile(const std::string& name, TPosixFile* source, TSystemTime time) override {
        ThrowFailure();
        TSlowRecorder::WriteDriveFile(name, source, time);
    }

    std::vector<TSystemTime> ClockSets;
    std::exception_ptr Failure; // thrown once, by the next clock set, status change or write
    std::optional<std::int64_t> UnusedMemory;

private:
    void ThrowFailure() {
        if (Failure)
            std::rethrow_exception(std::exchange(Failure, nullptr));
    }
};

using TNames = std::vector<std::string>;

bool Contains(const TNames& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(file.is_open());
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
}

bool IsWave(const std::string& path) {
    return IsWaveFile(path);
}

// The folder and its parents; true when it is there afterwards, also when it already was.
bool MakeFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return std::filesystem::is_directory(path, error);
}

// A fresh, empty folder at path.
void EmptyFolder(const std::string& path) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
}

// The names of a folder's entries, files and folders, in byte order.
TNames FolderEntries(const std::string& path) {
    TNames names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TransferController : public ::testing::Test {
public:
    void SetUp() override {
        TSlowLink::Reset();
        ASSERT_TRUE(MakeFolder(Out()));
        Options.FileNameMask = "rec_[rn].wav";
    }
    void TearDown() override {
        {
            std::lock_guard lock(DiskLogLock);
            DiskLogOn = false;
            DiskLog.clear();
        }
        Recorder.reset();
        TSlowLink::Reset();
    }
    void Open(const std::vector<double>& seconds, const std::vector<std::uint8_t>& statuses = {}) {
        MakeImage(ImagePath(), seconds, statuses);
        Recorder = std::make_unique<TNotingRecorder>(ConnImageFile, Ui);
        Recorder->SetImageFileName(ImagePath());
        ASSERT_TRUE(Recorder->IsConnected());
        Reread();
    }
    void Reread() {
        Recorder->Refresh();
        Recorder->WaitForOperation();
    }
    TTransferController Controller() { return TTransferController(*Recorder, Ui, Options); }
    // The recordings in number order, as the batches take them.
    std::vector<TCustomSoundFileInfo*> Records() {
        std::vector<TCustomSoundFileInfo*> records;
        TSoundFileList* list = Recorder->GetSoundFileList();
        for (int i = 0; i < list->Count(); ++i)
            records.push_back(list->Get(i));
        std::sort(records.begin(), records.end(),
                  [](auto* a, auto* b) { return a->Number < b->Number; });
        return records;
    }
    // Number and status of every recording as a fresh scan finds them.
    std::vector<std::pair<int, int>> OnRecorder() {
        Reread();
        std::vector<std::pair<int, int>> found;
        for (const TCustomSoundFileInfo* record : Records())
            found.emplace_back(record->Number, record->Status);
        return found;
    }
    // A file of the given size on the recorder's drive, and the lists read again.
    void PutDriveFile(const std::string& name, std::size_t size) {
        const std::string source = Dir.File(name);
        WriteTextFile(source, std::string(size, 'b'));
        TPosixFile file;
        ASSERT_TRUE(file.Open(source, TPosixFile::TMode::ReadOnly));
        Recorder->WriteDriveFile(name, &file, TSystemTime{2024, 5, 3, 6, 7, 8, 9, 0});
        Recorder->WaitForOperation();
        ASSERT_EQ(Recorder->GetOutcome().Kind, TOperationOutcome::TKind::Succeeded);
        Reread();
    }
    TNames OutFiles() const { return FolderEntries(Out()); }
    std::string ImagePath() const { return Dir.File("memory.ovk"); }
    std::string Out() const { return Dir.File("out"); }
    std::string OutFile(const std::string& name) const { return Out() + "/" + name; }

    testsupport::TTempDir Dir;
    TScriptedUi Ui;
    TTransferOptions Options;
    std::unique_ptr<TNotingRecorder> Recorder;
};

constexpr int NotDownloaded = StatusNotDownloaded;
constexpr int Downloaded = StatusDownloaded;

std::string CantCreate(const char* name, int error) {
    return GetLangConstant("CantCreateStr") + " " + name + "\n" + std::strerror(error);
}

// --- Moves and the automatic delete ---------------------------------------------------------

TEST_F(TransferController, AMoveErasesOnlyTheRecordingsWhoseFilesAreOnThePc) {
    struct TCase {
        const char* Name;
        std::function<void(TransferController&)> Prepare;
        std::deque<int> Overwrite;
        std::vector<std::string> Messages;
        std::vector<std::pair<int, int>> Left; // number and status on the recorder afterwards
        TNames Files;
    };
    const std::string question = GetLangConstant("ReallyEraseSelRecStr");
    const TCase cases[] = {
        // A folder in the way of one file: that recording stays, the others move.
        {"folderInTheWay",
         [](TransferController& t) { ASSERT_TRUE(MakeFolder(t.OutFile("rec_2.wav"))); },
         {},
         {CantCreate("rec_2.wav", EISDIR), question},
         {{2, NotDownloaded}},
         {"rec_1.wav", "rec_2.wav", "rec_3.wav"}},
        // Cancel at the overwrite question: what was downloaded is marked, nothing is erased.
        {"cancelAtTheQuestion",
         [](TransferController& t) { WriteTextFile(t.OutFile("rec_2.wav"), "old"); },
         {mrCancelBatch},
         {},
         {{1, Downloaded}, {2, NotDownloaded}, {3, NotDownloaded}},
         {"rec_1.wav", "rec_2.wav"}},
        // Skipping one file keeps its recording on the recorder.
        {"skipped",
         [](TransferController& t) { WriteTextFile(t.OutFile("rec_2.wav"), "old"); },
         {mrSkip},
         {question},
         {{2, NotDownloaded}},
         {"rec_1.wav", "rec_2.wav", "rec_3.wav"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({1.0, 1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded, StatusNotDownloaded});
        c.Prepare(*this);
        Ui = TScriptedUi{};
        Ui.OverwriteAnswers = c.Overwrite;
        Ui.BoxAnswers = {IDOK, IDYES};
        if (c.Messages.empty() || c.Messages.front() == question)
            Ui.BoxAnswers = {IDYES};
        Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
        EXPECT_EQ(Ui.Messages, c.Messages);
        EXPECT_EQ(Ui.Unexpected, 0);
        EXPECT_EQ(OnRecorder(), c.Left);
        EXPECT_EQ(OutFiles(), c.Files);
        Recorder.reset();
        std::remove(ImagePath().c_str());
        EmptyFolder(Out());
    }
}

TEST_F(TransferController, ARenamedTargetThatExistsIsAskedAboutAgain) {
    struct TCase {
        const char* Name;
        std::deque<int> Answers;
        std::deque<std::string> RenameTo;
        std::vector<std::string> Asked;
        TNames Waves; // the files that hold the download afterwards
    };
    const TCase cases[] = {
        {"renamedThenCancelled",
         {mrOverwrite, mrCancelBatch},
         {"keep.wav"},
         {"rec_1.wav", "keep.wav"},
         {}},
        {"renamedThenSkipped", {mrOverwrite, mrSkip}, {"keep.wav"}, {"rec_1.wav", "keep.wav"}, {}},
        {"renamedThenOverwritten",
         {mrOverwrite, mrOverwrite},
         {"keep.wav", ""},
         {"rec_1.wav", "keep.wav"},
         {"keep.wav"}},
        {"renamedTwice",
         {mrOverwrite, mrOverwrite},
         {"keep.wav", "new.wav"},
         {"rec_1.wav", "keep.wav"},
         {"new.wav"}},
        {"renamedToAFreeName", {mrOverwrite}, {"new.wav"}, {"rec_1.wav"}, {"new.wav"}},
        {"renamedToAFolder", {mrOverwrite, mrSkip}, {"folder"}, {"rec_1.wav", "rec_1.wav"}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({1.0}, {StatusNotDownloaded});
        WriteTextFile(OutFile("rec_1.wav"), "old");
        WriteTextFile(OutFile("keep.wav"), "the user's data");
        ASSERT_TRUE(MakeFolder(OutFile("folder")));
        Ui = TScriptedUi{};
        Ui.OverwriteAnswers = c.Answers;
        Ui.RenameTo = c.RenameTo;
        Ui.BoxAnswers = {IDOK};
        Controller().DownloadRecords(Records(), Out(), TDownloadKind::Copy);
        EXPECT_EQ(Ui.Asked, c.Asked);
        EXPECT_EQ(Ui.Unexpected, 0);
        EXPECT_EQ(IsWave(OutFile("keep.wav")), Contains(c.Waves, "keep.wav"));
        EXPECT_EQ(IsWave(OutFile("new.wav")), Contains(c.Waves, "new.wav"));
        EXPECT_EQ(std::filesystem::exists(OutFile("new.wav")), Contains(c.Waves, "new.wav"));
        if (!Contains(c.Waves, "keep.wav")) {
            EXPECT_EQ(testsupport::ReadFileBytes(OutFile("keep.wav")), "the user's data");
        }
        EXPECT_EQ(testsupport::ReadFileBytes(OutFile("rec_1.wav")), "old");
        Recorder.reset();
        std::remove(ImagePath().c_str());
        EmptyFolder(Out());
    }
}

// "Skip all" answers every later existing target of the batch, also after a free name between
// them; the free name arrives.
TEST_F(TransferController, SkipAllHoldsForTheWholeDownloadAndUpload) {
    Open({1.0, 1.0, 1.0}, {StatusNotDownloaded, StatusNotDownloaded, StatusNotDownloaded});
    WriteTextFile(OutFile("rec_1.wav"), "old 1");
    WriteTextFile(OutFile("rec_3.wav"), "old 3");
    Ui.OverwriteAnswers = {mrSkipAll};
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Copy);
    EXPECT_EQ(Ui.Asked, std::vector<std::string>{"rec_1.wav"});
    EXPECT_EQ(Ui.Unexpected, 0);
    EXPECT_EQ(testsupport::ReadFileBytes(OutFile("rec_1.wav")), "old 1");
    EXPECT_TRUE(IsWave(OutFile("rec_2.wav")));
    EXPECT_EQ(testsupport::ReadFileBytes(OutFile("rec_3.wav")), "old 3");
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{
                                {1, NotDownloaded}, {2, Downloaded}, {3, NotDownloaded}}));

    // The same for drive files going up: a.txt and c.txt are on the drive already.
    const std::string up = Dir.File("up");
    ASSERT_TRUE(MakeFolder(up));
    for (const char* name : {"a.txt", "c.txt"})
        WriteTextFile(up + "/" + name, "old");
    Ui = TScriptedUi{};
    Controller().UploadDriveFiles({up + "/a.txt", up + "/c.txt"}, "\\");
    EXPECT_TRUE(Ui.Asked.empty());
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        WriteTextFile(up + "/" + name, "new and longer");
    Ui = TScriptedUi{};
    Ui.OverwriteAnswers = {mrSkipAll};
    Controller().UploadDriveFiles({up + "/a.txt", up + "/b.txt", up + "/c.txt"}, "\\");
    EXPECT_EQ(Ui.Asked, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(Ui.Unexpected, 0);
    Reread();
    std::vector<std::pair<std::string, std::int64_t>> drive;
    TDriveFileList* files = Recorder->GetDriveFileList();
    for (int i = 0; i < files->Count(); ++i)
        drive.emplace_back(files->Get(i)->Name, files->Get(i)->Size);
    std::sort(drive.begin(), drive.end());
    EXPECT_EQ(drive, (std::vector<std::pair<std::string, std::int64_t>>{
                         {"a.txt", 3}, {"b.txt", 14}, {"c.txt", 3}}));
}

// On an image file that may not be written the downloads arrive, nothing is marked, and one
// note says so for the batch.
TEST_F(TransferController, AReadOnlyMemoryGetsItsFilesButNoMarks) {
    Options.ReadOnlyMemory = true;
    Open({1.0, 1.0, 1.0}, {StatusNotDownloaded, StatusDownloaded, StatusNotDownloaded});
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Copy);
    EXPECT_EQ(Ui.Messages, std::vector<std::string>{GetLangConstant("ImageReadOnlyMarkStr")});
    EXPECT_EQ(Ui.Unexpected, 0);
    EXPECT_EQ(OutFiles(), (TNames{"rec_1.wav", "rec_2.wav", "rec_3.wav"}));
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{
                                {1, NotDownloaded}, {2, Downloaded}, {3, NotDownloaded}}));

    // Nothing to mark, nothing to say.
    EmptyFolder(Out());
    Ui = TScriptedUi{};
    Controller().DownloadRecords({Records()[1]}, Out(), TDownloadKind::Copy);
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(TransferController, TwoRecordingsOfOneNameNeverBothLeaveTheRecorder) {
    Options.FileNameMask = "same.wav";
    Open({1.0, 2.0}, {StatusNotDownloaded, StatusNotDownloaded});
    // The second file of the name is asked about and replaces the first.
    Ui.OverwriteAnswers = {mrOverwrite};
    Ui.BoxAnswers = {IDYES};
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
    EXPECT_EQ(Ui.Asked, std::vector<std::string>{"same.wav"});
    EXPECT_EQ(Ui.Messages, std::vector<std::string>{GetLangConstant("ReallyEraseSelRecStr")});
    // Recording 1 exists nowhere but on the recorder: it stays, and not marked.
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, NotDownloaded}}));
    TWaveFile wave;
    wave.SetFileName(OutFile("same.wav"));
    ASSERT_TRUE(wave.Open());
    EXPECT_GT(wave.GetDataSize(), 16000u * 2 - 1000); // the two-second recording
}

// --- Split downloads -------------------------------------------------------------------------

class SplitDownload : public TransferController {
protected:
    void SetUp() override {
        TransferController::SetUp();
        Options.MaxOutputSize = 1; // megabyte parts: 140 s at 8 kHz make three
        Open({140.0}, {StatusNotDownloaded});
        for (const char* name : {"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"})
            WriteTextFile(OutFile(name), std::string("old ") + name);
    }
    void ExpectOldFilesOnly() {
        EXPECT_EQ(OutFiles(), (TNames{"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"}));
        for (const char* name : {"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"})
            EXPECT_EQ(testsupport::ReadFileBytes(OutFile(name)), std::string("old ") + name);
        EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, NotDownloaded}}));
    }
};

TEST_F(SplitDownload, ACancelOrAFailureLeavesTheUsersPartsAsTheyWere) {
    TSlowLink::StepMs = 2;
    TSlowLink::Lockstep = true;
    Ui.OverwriteAnswers = {mrOverwrite};
    Ui.CancelAtPercent = 70; // two parts are written by then
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
    EXPECT_EQ(Recorder->Cancels, 1);
    EXPECT_TRUE(Ui.Messages.empty());
    ExpectOldFilesOnly();

    // The same with the read failing late, once two parts are written: a whole read counted
    // first, into a folder of its own.
    const std::string aside = Dir.File("aside");
    ASSERT_TRUE(MakeFolder(aside));
    Ui = TScriptedUi{};
    TSlowLink::StepMs = 0;
    TSlowLink::Lockstep = false;
    TSlowLink::WorkerExchanges = 0;
    Controller().DownloadRecords(Records(), aside, TDownloadKind::Copy);
    ASSERT_EQ(FolderEntries(aside).size(), 3u);
    Recorder->ChangeSoundFileStatus(1, StatusNotDownloaded);
    const int wholeRead = TSlowLink::WorkerExchanges.load();
    ASSERT_GT(wholeRead, 8);
    Ui = TScriptedUi{};
    Ui.OverwriteAnswers = {mrOverwriteAll};
    TSlowLink::FailAfter = wholeRead * 3 / 4;
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
    EXPECT_EQ(Ui.Messages,
              std::vector<std::string>{"exchange error " + std::to_string(CmdFlashRead)});
    ExpectOldFilesOnly();
}

TEST_F(SplitDownload, TheOverwriteQuestionCoversEveryPart) {
    // Keeping the old second part keeps every old file, and the recording unmarked.
    Ui.OverwriteAnswers = {mrOverwrite, mrSkip};
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Copy);
    EXPECT_EQ(Ui.Asked, (std::vector<std::string>{"rec_1.wav", "rec_1_0001.wav"}));
    EXPECT_EQ(Ui.RenameAllowed, (std::vector<bool>{true, false}));
    ExpectOldFilesOnly();

    Ui = TScriptedUi{};
    Ui.OverwriteAnswers = {mrOverwrite, mrOverwrite, mrOverwrite};
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Copy);
    EXPECT_EQ(Ui.Asked,
              (std::vector<std::string>{"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"}));
    EXPECT_EQ(OutFiles(), (TNames{"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"}));
    for (const char* name : {"rec_1.wav", "rec_1_0001.wav", "rec_1_0002.wav"})
        EXPECT_TRUE(IsWave(OutFile(name))) << name;
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, Downloaded}}));
}

// --- On the disk before the recorder hears of it ---------------------------------------------

TEST_F(TransferController, AFileIsOnTheDiskBeforeItsRecordingIsMarkedOrErased) {
    Open({1.0}, {StatusNotDownloaded});
    {
        std::lock_guard lock(DiskLogLock);
        DiskLogOn = true;
    }
    Ui.BoxAnswers = {IDYES};
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
    std::vector<std::string> log;
    {
        std::lock_guard lock(DiskLogLock);
        DiskLogOn = false;
        log = DiskLog;
    }
    const std::string target = OutFile("rec_1.wav");
    const auto at = [&](const std::function<bool(const std::string&)>& what) {
        return std::find_if(log.begin(), log.end(), what) - log.begin();
    };
    // The wave is flushed while it is a temporary: named "<target>.tmp~..." or, where the file
    // system has unnamed files, shown as "#inode (deleted)" in the target's folder.
    const auto dataOfTheWave = at([&](const std::string& e) {
        return e.rfind("data " + target + ".tmp~", 0) == 0 ||
               e.rfind("data " + Out() + "/#", 0) == 0;
    });
    const auto folder = at([&](const std::string& e) { return e == "sync " + Out(); });
    const auto mark = at([](const std::string& e) { return e == "mark 1"; });
    const auto erase = at([](const std::string& e) { return e == "erase 1"; });
    const auto end = static_cast<std::ptrdiff_t>(log.size());
    ASSERT_LT(dataOfTheWave, end);
    ASSERT_LT(folder, end);
    ASSERT_LT(mark, end);
    ASSERT_LT(erase, end);
    EXPECT_LT(dataOfTheWave, folder);
    EXPECT_LT(folder, mark);
    EXPECT_LT(mark, erase);
    EXPECT_TRUE(IsWave(OutFile("rec_1.wav")));
}

// --- Full disks ------------------------------------------------------------------------------

TEST_F(TransferController, AFullDiskNamesTheFileAndTheReason) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a small file system of its own needs root to mount";
    const std::string small = Dir.File("small");
    ASSERT_TRUE(MakeFolder(small));
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    struct TUnmount {
        std::string Path;
        ~TUnmount() { ::umount2(Path.c_str(), MNT_DETACH); }
    } unmount{small};

    Open({10.0}, {StatusNotDownloaded}); // 160 KB of sound
    struct TCase {
        const char* Name;
        bool Raw;
        const char* File;
    };
    for (const TCase c : {TCase{"wave", false, "rec_1.wav"}, TCase{"raw", true, "rec_1.raw"}}) {
        SCOPED_TRACE(c.Name);
        Ui = TScriptedUi{};
        Options.SorvaneFormat = c.Raw;
        Controller().DownloadRecords(Records(), small, TDownloadKind::Copy);
        EXPECT_EQ(Ui.Messages, std::vector<std::string>{GetLangConstant("CantWriteStr") + " " +
                                                        c.File + "\n" + std::strerror(ENOSPC)});
        EXPECT_TRUE(std::filesystem::is_empty(small));
        EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, NotDownloaded}}));
    }

    // A drive file the same way.
    PutDriveFile("big.bin", 200 * 1024);
    ASSERT_EQ(Recorder->GetDriveFileList()->Count(), 1);
    TFileListItem entry;
    entry.Name = "big.bin";
    entry.FolderPath = "\\";
    entry.Size = 200 * 1024;
    entry.DataLink = 1;
    Ui = TScriptedUi{};
    Controller().DownloadDriveFiles({entry}, "\\", small, false);
    EXPECT_EQ(Ui.Messages, std::vector<std::string>{GetLangConstant("CantWriteStr") + " big.bin\n" +
                                                    std::strerror(ENOSPC)});
    EXPECT_TRUE(std::filesystem::is_empty(small));
}

TEST_F(TransferController, BothDownloadsForgetTheLastCancelAndNeedTheirFolder) {
    Open({1.0}, {StatusNotDownloaded});
    PutDriveFile("d.bin", 100);
    TFileListItem entry;
    entry.Name = "d.bin";
    entry.FolderPath = "\\";
    entry.Size = 100;
    entry.DataLink = 1;
    struct TCase {
        const char* Name;
        bool Drive;
        bool FolderThere;
    };
    for (const TCase c : {TCase{"records", false, true}, TCase{"recordsNoFolder", false, false},
                          TCase{"drive", true, true}, TCase{"driveNoFolder", true, false}}) {
        SCOPED_TRACE(c.Name);
        EmptyFolder(Out());
        const std::string folder = c.FolderThere ? Out() : Dir.File("nowhere");
        Ui = TScriptedUi{};
        Ui.Cancel = true; // left over from the batch before
        if (c.Drive)
            Controller().DownloadDriveFiles({entry}, "\\", folder, false);
        else
            Controller().DownloadRecords(Records(), folder, TDownloadKind::Copy);
        EXPECT_FALSE(Ui.Cancel);
        if (c.FolderThere) {
            EXPECT_TRUE(Ui.Messages.empty());
            EXPECT_EQ(OutFiles(), TNames{c.Drive ? "d.bin" : "rec_1.wav"});
        } else {
            EXPECT_EQ(Ui.Messages,
                      std::vector<std::string>{GetLangConstant("PathNotFoundStr") + " " + folder});
            EXPECT_TRUE(OutFiles().empty());
            EXPECT_FALSE(std::filesystem::exists(folder));
        }
    }
}

TEST_F(TransferController, AnUploadsExchangeFaultIsShownAndTheNextFileGoes) {
    const auto exchangeFailure = [](int command) {
        return std::make_exception_ptr(
            TERecXchange(RecErrorMessage(RecErrTimeout), command, RecErrTimeout));
    };
    for (const bool drive : {false, true}) {
        SCOPED_TRACE(drive ? "drive" : "records");
        Open({});
        const std::string first = Dir.File(drive ? "a.txt" : "a.wav");
        const std::string second = Dir.File(drive ? "b.txt" : "b.wav");
        for (const std::string& path : {first, second})
            if (drive)
                WriteTextFile(path, "drive file");
            else
                WriteTone(path, 1.0);
        Ui = TScriptedUi{};
        Recorder->Failure = exchangeFailure(CmdFlashWrite);
        if (drive)
            Controller().UploadDriveFiles({first, second}, "\\");
        else
            Controller().UploadRecords({first, second});
        EXPECT_EQ(Ui.Messages,
                  std::vector<std::string>{"exchange error " + std::to_string(CmdFlashWrite)});
        EXPECT_EQ(Ui.Unexpected, 0);
        if (drive) {
            Reread();
            TDriveFileList* files = Recorder->GetDriveFileList();
            ASSERT_EQ(files->Count(), 1);
            EXPECT_EQ(files->Get(0)->Name, "b.txt");
        } else {
            EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, StatusUploaded}}));
        }
        Recorder.reset();
        std::remove(ImagePath().c_str());
    }
}

// --- Cancel ----------------------------------------------------------------------------------

TEST_F(TransferController, ACancelledDownloadLeavesNothingMarksNothingAndStopsTheBatch) {
    Open({20.0, 20.0}, {StatusNotDownloaded, StatusNotDownloaded});
    TSlowLink::StepMs = 5;
    TSlowLink::Lockstep = true;
    Ui.CancelAtPercent = 30;
    Controller().DownloadRecords(Records(), Out(), TDownloadKind::Move);
    EXPECT_EQ(Recorder->Cancels, 1);
    EXPECT_EQ(Ui.Progress.size(), 1u); // the second recording never started
    EXPECT_TRUE(Ui.Messages.empty());  // no erase question: a cancelled move erases nothing
    EXPECT_EQ(Recorder->Erases, 0);
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_EQ(OnRecorder(),
              (std::vector<std::pair<int, int>>{{1, NotDownloaded}, {2, NotDownloaded}}));
}

TEST_F(TransferController, ACancelledUploadLeavesNothingOnTheRecorder) {
    Open({1.0});
    const std::string wave = Dir.File("long.wav");
    WriteTone(wave, 30.0);
    TSlowLink::StepMs = 5;
    TSlowLink::Lockstep = true;
    Ui.CancelAtPercent = 30;
    Controller().UploadRecords({wave});
    EXPECT_EQ(Recorder->Cancels, 1);
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, StatusUploaded}}));
}

TEST_F(TransferController, AnUploadsRateLabelKeepsTheFormAsItIs) {
    Open({});
    const std::string wave = Dir.File("tone.wav");
    WriteTone(wave, 20.0);
    TSlowLink::StepMs = 3;
    Controller().UploadRecords({wave});
    // The form is shown once; the rate only changes its label.
    EXPECT_EQ(Ui.Progress, std::vector<std::string>{GetLangConstant("StatusPreparingStr")});
    ASSERT_FALSE(Ui.Labels.empty());
    for (const std::string& label : Ui.Labels)
        EXPECT_EQ(label.rfind(GetLangConstant("StatusUploadingRecordStr"), 0), 0u) << label;
    EXPECT_EQ(OnRecorder(), (std::vector<std::pair<int, int>>{{1, StatusUploaded}}));
}

TEST_F(TransferController, AnEraseStopsOnlyBetweenRecordings) {
    Open({1.0, 1.0, 1.0});
    TSlowLink::HoldMs = 300;
    Ui.BoxAnswers = {IDYES};
    // Cancel is pressed while the first recording is being erased.
    Ui.OnPump = [this] { Ui.Cancel = true; };
    Controller().EraseRecords(Records());
    EXPECT_EQ(Recorder->Cancels, 0); // never passed to the recorder
    EXPECT_EQ(Recorder->Erases, 1);
    EXPECT_EQ(OnRecorder(),
              (std::vector<std::pair<int, int>>{{2, StatusUploaded}, {3, StatusUploaded}}));
}

// --- The refresh of a new connection ---------------------------------------------------------

// The window's records view: copies of the recorder's entries, newest number first, and what
// the refresh did to it.
struct TShownView {
    std::vector<TCustomSoundFileInfo> Copies;
    std::vector<std::string> Events;

    TRecordsView View(TransferController& test) {
        TRecordsView view;
        view.FirstReadShown = [this, &test] {
            // After the read, before anything else.
            EXPECT_EQ(test.Ui.Rereads, 1);
            EXPECT_TRUE(test.Recorder->ClockSets.empty());
            Events.push_back("first");
        };
        view.Entries = [this, &test] {
            Copies.clear();
            std::vector<TCustomSoundFileInfo*> records = test.Records();
            std::reverse(records.begin(), records.end());
            for (const TCustomSoundFileInfo* record : records)
                Copies.push_back(*record);
            std::vector<TCustomSoundFileInfo*> entries;
            for (TCustomSoundFileInfo& copy : Copies)
                entries.push_back(&copy);
            return entries;
        };
        view.SelectRows = [this, &test](const std::vector<int>& rows) {
            EXPECT_TRUE(test.OutFiles().empty()) << "selected before the download";
            std::string event = "select";
            for (int row : rows)
                event += " " + std::to_string(row);
            Events.push_back(event);
        };
        view.Repaint = [this] { Events.push_back("repaint"); };
        return view;
    }
    // Number and status of each shown entry, in the order shown.
    std::vector<std::pair<int, int>> Statuses() const {
        std::vector<std::pair<int, int>> found;
        for (const TCustomSoundFileInfo& copy : Copies)
            found.emplace_back(copy.Number, copy.Status);
        return found;
    }
};

// Seconds of a local wall-clock time on the scale of LocalUnixSecondsNow.
std::int64_t WallSeconds(const TSystemTime& t) {
    return DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
}

TEST_F(TransferController, TheFirstRefreshDoesWhatTheOptionsAskAndLaterOnesOnlyRead) {
    enum : unsigned { Sync = 1, Auto = 2, NonDown = 4, Delete = 8 };
    struct TCase {
        const char* Name;
        bool First;
        unsigned Options; // the program options on, of those above
        std::vector<std::string> Events;
        std::size_t ClockSets;
        TNames Files;
        std::vector<std::pair<int, int>> Left; // number and status on the recorder afterwards
        // The shown entries afterwards; none when the refresh never asked for them.
        std::vector<std::pair<int, int>> Shown;
        std::vector<std::string> Messages = {};
    };
    const std::string question = GetLangConstant("ReallyEraseSelRecStr");
    // Recording 1 is not downloaded yet, 2 is, 3 was uploaded; shown as 3, 2, 1.
    const std::vector<std::pair<int, int>> before = {
        {1, NotDownloaded}, {2, Downloaded}, {3, StatusUploaded}};
    const std::vector<std::pair<int, int>> marked = {
        {1, Downloaded}, {2, Downloaded}, {3, StatusUploaded}};
    const std::vector<std::pair<int, int>> shownMarked = {
        {3, StatusUploaded}, {2, Downloaded}, {1, Downloaded}};
    const TNames all = {"rec_1.wav", "rec_2.wav", "rec_3.wav"};
    const TCase cases[] = {
        {"laterRefresh", false, Sync | Auto | Delete, {}, 0, {}, before, {}},
        {"nothingAsked", true, 0, {"first"}, 0, {}, before, {}},
        {"clock", true, Sync, {"first"}, 1, {}, before, {}},
        {"copy", true, Auto, {"first", "select 0 1 2", "repaint"}, 0, all, marked, shownMarked},
        {"copyNotDownloaded",
         true,
         Auto | NonDown,
         {"first", "select 2", "repaint"},
         0,
         {"rec_1.wav"},
         marked,
         shownMarked},
        {"move",
         true,
         Sync | Auto | Delete,
         {"first", "select 0 1 2", "repaint"},
         1,
         all,
         {},
         shownMarked,
         {question}},
        {"moveNotDownloaded",
         true,
         Auto | NonDown | Delete,
         {"first", "select 2", "repaint"},
         0,
         {"rec_1.wav"},
         {{2, Downloaded}, {3, StatusUploaded}},
         shownMarked,
         {question}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({1.0, 1.0, 1.0}, {StatusNotDownloaded, StatusDownloaded});
        Ui = TScriptedUi{};
        Ui.BoxAnswers = {IDYES};
        if (c.Messages.empty())
            Ui.BoxAnswers.clear();
        TShownView shown;
        TFirstRefreshOptions options;
        options.SyncTime = (c.Options & Sync) != 0;
        options.AutoDownload = (c.Options & Auto) != 0;
        options.NonDownOnly = (c.Options & NonDown) != 0;
        options.AutoDelete = (c.Options & Delete) != 0;
        options.DownloadFolder = Out();
        const std::int64_t earliest = LocalUnixSecondsNow();
        Controller().RefreshContent(c.First, options, shown.View(*this));
        const std::int64_t latest = LocalUnixSecondsNow();
        EXPECT_EQ(Ui.Rereads, 1);
        EXPECT_EQ(shown.Events, c.Events);
        ASSERT_EQ(Recorder->ClockSets.size(), c.ClockSets);
        // The PC's local time then, give or take a change of the clock (an hour) meanwhile.
        for (const TSystemTime& set : Recorder->ClockSets) {
            EXPECT_GE(WallSeconds(set), earliest - 3600);
            EXPECT_LE(WallSeconds(set), latest + 3600);
        }
        EXPECT_EQ(Ui.Messages, c.Messages);
        EXPECT_EQ(Ui.Unexpected, 0);
        EXPECT_EQ(OutFiles(), c.Files);
        EXPECT_EQ(shown.Statuses(), c.Shown);
        EXPECT_EQ(OnRecorder(), c.Left);
        Recorder.reset();
        std::remove(ImagePath().c_str());
        EmptyFolder(Out());
    }
}

TEST_F(TransferController, TheFirstRefreshNotesAMemoryThatWasNeverFormatted) {
    struct TCase {
        const char* Name;
        bool First;
        std::vector<double> Recordings;
        bool DriveFile;
        std::int64_t Unused;
        bool Note;
    };
    const TCase cases[] = {
        {"emptyWithoutUnusedMemory", true, {}, false, 0, true},
        {"emptyWithUnusedMemory", true, {}, false, 4096, false},
        {"aRecording", true, {1.0}, false, 0, false},
        {"aDriveFile", true, {}, true, 0, false},
        {"laterRefresh", false, {}, false, 0, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open(c.Recordings);
        if (c.DriveFile)
            PutDriveFile("a.txt", 10);
        Recorder->UnusedMemory = c.Unused;
        Ui = TScriptedUi{};
        Controller().RefreshContent(c.First, TFirstRefreshOptions{}, TRecordsView{});
        EXPECT_EQ(Ui.Messages,
                  c.Note ? std::vector<std::string>{GetLangConstant("RecMemNotFormatedStr")}
                         : std::vector<std::string>{});
        EXPECT_EQ(Ui.Unexpected, 0);
        Recorder.reset();
        std::remove(ImagePath().c_str());
    }
}

// --- The window's single exchanges -----------------------------------------------------------

// The clock set and Ctrl+S's "not downloaded": a failed exchange is shown as one, any other
// failure in an error box; either leaves the shown entries as they were.
TEST_F(TransferController, TheClockSetAndTheNotDownloadedMarkShowTheirFailures) {
    struct TCase {
        const char* Name;
        bool Clock; // the clock set, else the mark of the shown entry at Chosen
        int Chosen;
        std::exception_ptr Failure;
        bool Done;
        std::vector<std::string> Messages;
        std::vector<std::pair<int, int>> Shown; // number and status of the shown entries after
        std::vector<std::pair<int, int>> Left;  // on the recorder after
    };
    const auto exchangeFailure = [](int command) {
        return std::make_exception_ptr(
            TERecXchange(RecErrorMessage(RecErrTimeout), command, RecErrTimeout));
    };
    const std::vector<std::pair<int, int>> shownBefore = {
        {1, Downloaded}, {1, Downloaded}, {2, Downloaded}, {9, Downloaded}};
    const std::vector<std::pair<int, int>> before = {{1, Downloaded}, {2, Downloaded}};
    const TCase cases[] = {
        {"clock", true, 0, nullptr, true, {}, shownBefore, before},
        {"clockExchangeFails",
         true,
         0,
         exchangeFailure(CmdRtc),
         false,
         {"exchange error " + std::to_string(CmdRtc)},
         shownBefore,
         before},
        {"clockFailsOtherwise",
         true,
         0,
         std::make_exception_ptr(std::runtime_error("no clock")),
         false,
         {"no clock"},
         shownBefore,
         before},
        // A recording: it and its own entry, not its voice part's.
        {"markRecording",
         false,
         0,
         nullptr,
         true,
         {},
         {{1, NotDownloaded}, {1, Downloaded}, {2, Downloaded}, {9, Downloaded}},
         {{1, NotDownloaded}, {2, Downloaded}}},
        // A voice part stands for its recording.
        {"markVoicePart",
         false,
         1,
         nullptr,
         true,
         {},
         {{1, NotDownloaded}, {1, Downloaded}, {2, Downloaded}, {9, Downloaded}},
         {{1, NotDownloaded}, {2, Downloaded}}},
        {"markExchangeFails",
         false,
         2,
         exchangeFailure(CmdEraseBlockPhy),
         false,
         {"exchange error " + std::to_string(CmdEraseBlockPhy)},
         shownBefore,
         before},
        // An entry the recorder no longer holds: the engine's own refusal is shown.
        {"markGoneRecording",
         false,
         3,
         nullptr,
         false,
         {FormatLangConstant("RecordingNotFoundStr", 9)},
         shownBefore,
         before},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Open({1.0, 1.0}, {StatusDownloaded, StatusDownloaded});
        // As the window shows them: recording 1, its first voice part, recording 2, and a
        // recording 9 gone from the recorder meanwhile.
        const std::vector<TCustomSoundFileInfo*> records = Records();
        std::vector<TCustomSoundFileInfo> copies = {*records[0], *records[0], *records[1],
                                                    *records[1]};
        copies[1].Parent = Recorder->GetSoundFileList()->Get(0);
        copies[3].Number = 9;
        std::vector<TCustomSoundFileInfo*> shown;
        for (TCustomSoundFileInfo& copy : copies)
            shown.push_back(&copy);
        Recorder->Failure = c.Failure;
        Ui = TScriptedUi{};
        if (c.Clock) {
            Controller().SyncRecorderClock();
            EXPECT_EQ(Recorder->ClockSets.size(), 1u);
        } else {
            EXPECT_EQ(Controller().MarkNotDownloaded(*shown[c.Chosen], shown), c.Done);
        }
        EXPECT_EQ(Ui.Messages, c.Messages);
        EXPECT_EQ(Ui.Unexpected, 0);
        std::vector<std::pair<int, int>> statuses;
        for (const TCustomSoundFileInfo& copy : copies)
            statuses.emplace_back(copy.Number, copy.Status);
        EXPECT_EQ(statuses, c.Shown);
        EXPECT_EQ(OnRecorder(), c.Left);
        Recorder.reset();
        std::remove(ImagePath().c_str());
    }
}

} // namespace
