#pragma once

#include <cstdint>

// Virtual time for a simulated adapter: transfers and sleeps advance it, nothing waits.
class SimClock {
public:
    std::uint64_t NowMs() const { return Micros / 1000; }
    std::uint64_t NowUs() const { return Micros; }
    void AdvanceUs(std::uint64_t us) { Micros += us; }
    void SleepMs(std::uint32_t ms) {
        Micros += std::uint64_t{ms} * 1000;
        SleptMs += ms;
    }
    // Everything slept so far, in milliseconds.
    std::uint64_t TotalSleptMs() const { return SleptMs; }

private:
    std::uint64_t Micros = 0;
    std::uint64_t SleptMs = 0;
};
