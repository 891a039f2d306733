#pragma once

// A recorder over an image file whose operations take seconds, as a real adapter's do: each
// exchange a worker thread makes waits StepMs first, and the first one of each operation
// HoldMs, so the state keeps reading "running" meanwhile. The UI thread's own exchanges are
// not slowed, and a cancel cuts every wait short so the worker sees its flag at once.
#include <atomic>
#include <chrono>
#include <thread>

#include "engine/RecClasses.h"
#include "link/ImageFile.h"
#include "link/RecXchange.h"

struct TSlowLink {
    static inline std::atomic<int> StepMs{0};
    static inline std::atomic<int> HoldMs{0};
    // Worker exchanges left before one fails as a time-out; below 0 none fails.
    static inline std::atomic<int> FailAfter{-1};
    static inline std::atomic<bool> HoldPending{false};
    static inline std::atomic<bool> Interrupted{false};
    static inline std::atomic<int> WorkerExchanges{0};
    // With Lockstep each worker exchange first waits until the UI thread has read the state
    // twice more, so a whole poll sees the progress the exchange before left, however the
    // two threads are scheduled: a test that acts at a given percentage always gets there.
    static inline std::atomic<bool> Lockstep{false};
    static inline std::atomic<long> StateReads{0};
    static inline std::thread::id UiThread;

    static void Reset() {
        StepMs = 0;
        HoldMs = 0;
        FailAfter = -1;
        HoldPending = false;
        Interrupted = false;
        WorkerExchanges = 0;
        Lockstep = false;
    }

    // Bounded, so that a phase in which the UI does not poll is slowed, never stuck.
    static void AwaitPoll() {
        const long due = StateReads.load() + 2;
        const auto bound = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
        while (!Interrupted.load() && StateReads.load() < due &&
               std::chrono::steady_clock::now() < bound)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }

    static void Exchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                         std::uint32_t inSize, std::uint32_t timeoutMs) {
        if (std::this_thread::get_id() != UiThread) {
            ++WorkerExchanges;
            if (Lockstep.load())
                AwaitPoll();
            int wait = StepMs.load();
            if (HoldPending.exchange(false))
                wait += HoldMs.load();
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
            while (!Interrupted.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (FailAfter.load() >= 0 && FailAfter.fetch_sub(1) == 0)
                throw TERecXchange(RecErrorMessage(RecErrTimeout), command, RecErrTimeout);
        }
        ImageExchangeCmd(command, out, outSize, in, inSize, timeoutMs);
    }
};

class TSlowRecorder : public TRecorder {
public:
    TSlowRecorder(std::uint32_t kind, TRecorderUi& ui)
        : TRecorder(kind, ui, TTransport{&TSlowLink::Exchange, &OpenImageFile}) {
        TSlowLink::UiThread = std::this_thread::get_id();
    }

    void Refresh() override {
        Arm();
        TRecorder::Refresh();
    }
    void ReadSoundFile(std::uint16_t number, std::uint32_t start, std::uint32_t duration) override {
        Arm();
        TRecorder::ReadSoundFile(number, start, duration);
    }
    void ReadSubRecord(std::uint16_t number, std::uint16_t part, std::uint32_t unused) override {
        Arm();
        TRecorder::ReadSubRecord(number, part, unused);
    }
    void ReadDriveFile(int index, TPosixFile* target) override {
        Arm();
        TRecorder::ReadDriveFile(index, target);
    }
    void WriteSoundFile(std::uint16_t number, TWaveFile& source, TSystemTime time) override {
        Arm();
        TRecorder::WriteSoundFile(number, source, time);
    }
    void WriteDriveFile(const std::string& name, TPosixFile* source, TSystemTime time) override {
        Arm();
        TRecorder::WriteDriveFile(name, source, time);
    }
    void EraseSoundFile(std::uint16_t number) override {
        Arm();
        ++Erases;
        TRecorder::EraseSoundFile(number);
    }
    void EraseDriveFile(int index) override {
        Arm();
        TRecorder::EraseDriveFile(index);
    }
    void FormatMemory() override {
        Arm();
        TRecorder::FormatMemory();
    }
    std::uint32_t GetState() override {
        ++StatePolls;
        ++TSlowLink::StateReads;
        return TRecorder::GetState();
    }
    void Cancel() override {
        ++Cancels;
        TSlowLink::Interrupted = true;
        TRecorder::Cancel();
    }

    std::atomic<int> Cancels{0};
    std::atomic<int> Erases{0};
    std::atomic<long> StatePolls{0};

private:
    static void Arm() {
        TSlowLink::Interrupted = false;
        TSlowLink::HoldPending = true;
    }
};
