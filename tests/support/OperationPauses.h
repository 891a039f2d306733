#pragma once

// Counts the pauses the recorder-operation wait takes between its polls (it still sleeps
// each one), and the most state reads seen between two of them: a wait that sleeps between
// polls reads the state a few times per pause, one that spins reads it without end. Counts
// in polls, never in time, so the machine's speed does not matter. One at a time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/RecOperationWait.h"

namespace testsupport {

class TOperationPauses {
public:
    // reads: how many times the recorder's state has been read so far.
    explicit TOperationPauses(std::function<long()> reads) {
        Reads = std::move(reads);
        Restart();
        SetOperationPause(&Take);
    }
    ~TOperationPauses() {
        SetOperationPause(nullptr);
        Reads = nullptr;
    }
    TOperationPauses(const TOperationPauses&) = delete;
    TOperationPauses& operator=(const TOperationPauses&) = delete;

    // Counts afresh from here.
    void Restart() {
        Pauses = 0;
        Shortest = std::chrono::milliseconds::max().count();
        ReadsAtLastPause = Reads();
        MostReadsBetween = 0;
    }
    long Count() const { return Pauses.load(); }
    std::chrono::milliseconds ShortestPause() const {
        return std::chrono::milliseconds(Shortest.load());
    }
    // The most state reads between two pauses, counting those since the last one.
    long MostReadsBetweenPauses() const {
        return std::max(MostReadsBetween.load(), Reads() - ReadsAtLastPause.load());
    }

private:
    static void Take(std::chrono::milliseconds pause) {
        ++Pauses;
        Shortest = std::min<long long>(Shortest.load(), pause.count());
        const long reads = Reads();
        MostReadsBetween = std::max(MostReadsBetween.load(), reads - ReadsAtLastPause.load());
        ReadsAtLastPause = reads;
        std::this_thread::sleep_for(pause);
    }

    static inline std::function<long()> Reads;
    static inline std::atomic<long> Pauses{0};
    static inline std::atomic<long long> Shortest{0};
    static inline std::atomic<long> ReadsAtLastPause{0};
    static inline std::atomic<long> MostReadsBetween{0};
};

} // namespace testsupport
