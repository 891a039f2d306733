// The one wait for a running recorder operation, over a recorder whose state the test sets.
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <utility>
#include <vector>

#include "engine/RecOperationWait.h"
#include "engine/Recinterface.h"
#include "tests/support/BoundedWait.h"
#include "tests/support/OperationPauses.h"

namespace {

// A recorder that is nothing but its operation's state, progress and cancel flag. The state
// is set by the test (from its poll, or from a worker thread); every other operation is inert.
class TFakeRecorder : public TCustomRecorder {
public:
    std::atomic<std::uint32_t> State{StateIdle};
    std::atomic<std::uint8_t> Progress{0};
    std::atomic<int> Cancels{0};
    std::atomic<int> StateReads{0};
    // When above 0: the state reads idle from this read on, as a worker that finishes.
    int IdleFromRead = 0;

    std::uint8_t GetProgress() override { return Progress.load(); }
    std::uint32_t GetState() override {
        const int read = ++StateReads;
        if (IdleFromRead > 0 && read >= IdleFromRead)
            State = StateIdle;
        return State.load();
    }
    void Cancel() override { ++Cancels; }

    std::uint16_t GetPowerVoltage() override { return 0; }
    std::uint16_t GetFirmwareVersion() override { return 0; }
    std::uint8_t GetBatteryLevel() override { return 0; }
    void GetRecorderTime(TSystemTime&) override {}
    int SetRecorderTime(TSystemTime) override { return 0; }
    std::string GetSerialNumber() override { return {}; }
    void Reserved6(int) override {}
    std::string GetModelName() override { return {}; }
    std::uint32_t GetModelClass() override { return 0; }
    TSoundFileList* GetSoundFileList() override { return nullptr; }
    TDriveFileList* GetDriveFileList() override { return nullptr; }
    std::int64_t GetTotalMemory() override { return 0; }
    std::int64_t GetFreeMemory() override { return 0; }
    std::int64_t GetFreeDriveMemory() override { return 0; }
    std::int64_t GetUnusedMemory() override { return 0; }
    bool IsConnected() override { return true; }
    bool IsModified() override { return false; }
    bool IsFlashDriveDisabled() override { return false; }
    std::uint64_t GetMinRecordTime() override { return 0; }
    void SetSkipSilence(bool) override {}
    bool GetSkipSilence() override { return false; }
    void GetImageFileName(std::string&) override {}
    void SetImageFileName(const std::string&) override {}
    void SetActive(bool) override {}
    bool GetActive() override { return true; }
    void Refresh() override {}
    void ReadSoundFile(std::uint16_t, std::uint32_t, std::uint32_t) override {}
    void ReadSubRecord(std::uint16_t, std::uint16_t, std::uint32_t) override {}
    void ReadDriveFile(int, TPosixFile*) override {}
    void WriteSoundFile(std::uint16_t, TWaveFile&, TSystemTime) override {}
    void WriteDriveFile(const std::string&, TPosixFile*, TSystemTime) override {}
    void ChangeSoundFileStatus(std::uint16_t, std::uint8_t) override {}
    void EraseSoundFile(std::uint16_t) override {}
    void EraseDriveFile(int) override {}
    void FormatMemory() override {}
    std::int64_t GetUploadSize(TWaveFile&) override { return 0; }
    std::int32_t ChooseUploadFormat() override { return 0; }
    std::int32_t Reserved40() override { return 0; }
    void SetHiddenTabVisible(bool) override {}
    void SetLogLevel(std::uint8_t) override {}
    int SetDefaultAndErase() override { return 0; }
    int SetDefault() override { return 0; }
    bool CheckPassword(const std::string&) override { return true; }
    TOperationOutcome GetOutcome() override { return {}; }
};

struct TPolled {
    std::uint8_t Percent;
    std::uint32_t State;
    bool operator==(const TPolled&) const = default;
};

// An operation seen through its polls: the state and progress it moves through, one step per
// poll, and the polls that ask for a cancel (from the first one asking on, every poll asks,
// as a pressed Cancel button stays pressed).
struct TCase {
    const char* Name;
    std::vector<TPolled> Steps; // the state and progress at each poll; idle after the last
    int CancelFromPoll;         // -1: never
    bool ForwardCancel;
    std::vector<TPolled> Seen; // what the poll is called with
    bool Cancelled;            // what the wait returns
    int Cancels;               // cancels the recorder receives
};

class PollRecorderOperationCases : public ::testing::TestWithParam<TCase> {};

TEST_P(PollRecorderOperationCases, PollsUntilIdleAndForwardsOneCancel) {
    const TCase& c = GetParam();
    TFakeRecorder recorder;
    std::size_t step = 0;
    auto enter = [&] {
        if (step < c.Steps.size()) {
            recorder.State = c.Steps[step].State;
            recorder.Progress = c.Steps[step].Percent;
        } else {
            recorder.State = StateIdle;
        }
    };
    enter();
    std::vector<TPolled> seen;
    const bool cancelled = PollRecorderOperation(
        recorder,
        [&](std::uint8_t percent, std::uint32_t state) {
            seen.push_back({percent, state});
            const bool cancel = c.CancelFromPoll >= 0 && static_cast<int>(step) >= c.CancelFromPoll;
            ++step;
            enter();
            return cancel;
        },
        c.ForwardCancel);
    EXPECT_EQ(seen, c.Seen);
    EXPECT_EQ(cancelled, c.Cancelled);
    EXPECT_EQ(recorder.Cancels.load(), c.Cancels);
    EXPECT_EQ(recorder.State.load(), StateIdle);
}

const std::vector<TPolled> Upload = {
    {0, StateRunning}, {10, StateRunning}, {40, StateWriting}, {90, StateWriting}};

INSTANTIATE_TEST_SUITE_P(
    Table, PollRecorderOperationCases,
    ::testing::Values(TCase{"FinishedBeforeTheFirstPoll", {}, -1, true, {}, false, 0},
                      TCase{"RunsToItsEnd", Upload, -1, true, Upload, false, 0},
                      TCase{"ACancelGoesToTheRecorderOnce", Upload, 1, true, Upload, true, 1},
                      TCase{"ACancelAtTheLastPoll", Upload, 3, true, Upload, true, 1},
                      TCase{"ACancelKeptByTheCaller", Upload, 1, false, Upload, true, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PollRecorderOperation, WithoutAPollItWaitsForTheStateAlone) {
    TFakeRecorder recorder;
    recorder.State = StateErasing;
    recorder.IdleFromRead = 5;
    EXPECT_FALSE(PollRecorderOperation(recorder, nullptr));
    EXPECT_EQ(recorder.StateReads.load(), 5);
    EXPECT_EQ(recorder.Cancels.load(), 0);
}

// The wait pauses before every read of the state and between polls, never spins.
TEST(PollRecorderOperation, PausesBeforeEachLookAtTheState) {
    for (const bool withPoll : {false, true}) {
        SCOPED_TRACE(withPoll);
        TFakeRecorder recorder;
        recorder.State = StateRunning;
        recorder.IdleFromRead = 9;
        testsupport::TOperationPauses pauses([&] { return long{recorder.StateReads.load()}; });
        int polls = 0;
        const TOperationPoll poll = [&](std::uint8_t, std::uint32_t) {
            ++polls;
            return false;
        };
        PollRecorderOperation(recorder, withPoll ? poll : nullptr);
        // Without a poll one read per pause; with one, the read that decides and the one
        // handed to the poll.
        EXPECT_EQ(pauses.MostReadsBetweenPauses(), withPoll ? 2 : 1);
        EXPECT_EQ(pauses.Count(), withPoll ? 5 : 9);
        EXPECT_EQ(pauses.ShortestPause(), OperationPollInterval);
        EXPECT_EQ(polls, withPoll ? 4 : 0);
    }
}

TEST(PollRecorderOperation, ReturnsOnlyOnceTheWorkerHasFinishedAfterItsCancel) {
    // A worker that goes on until it sees the cancel, then finishes.
    TFakeRecorder recorder;
    recorder.State = StateRunning;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        testsupport::WaitUntil([&] { return recorder.Cancels.load() > 0; });
        finished = true;
        recorder.State.store(StateIdle);
    });
    int polls = 0;
    const bool cancelled = PollRecorderOperation(recorder, [&](std::uint8_t, std::uint32_t) {
        ++polls;
        return polls >= 3;
    });
    const bool finishedWhenReturned = finished.load();
    worker.join();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(finishedWhenReturned);
    EXPECT_EQ(recorder.Cancels.load(), 1);
    EXPECT_GE(polls, 3);
}

} // namespace
