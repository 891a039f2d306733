#pragma once

#include <chrono>
#include <thread>

namespace testsupport {

// Long enough for a loaded machine under the sanitizers, short enough that a missed event
// fails the test well inside ctest's time-out instead of hanging it.
inline constexpr std::chrono::seconds WaitLimit{30};

// Polls until the condition holds or the limit passes; says which.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds limit = WaitLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport
