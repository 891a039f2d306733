#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

class TCustomRecorder;

// Called between polls with the operation's progress (0 to 100) and state; true asks for a
// cancel.
using TOperationPoll = std::function<bool(std::uint8_t percent, std::uint32_t state)>;

// The pause between two polls: short beside any operation, and it leaves the core to the
// worker instead of spinning.
constexpr std::chrono::milliseconds OperationPollInterval{1};

// How the wait takes that pause: sleep_for, unless a test puts a counting pause here to see
// that the wait never spins (nullptr puts sleep_for back).
using TOperationPause = void (*)(std::chrono::milliseconds);
void SetOperationPause(TOperationPause pause);

// The one wait for a running recorder operation: until the state reads 1 it calls poll and
// sleeps between polls. A cancel the poll asks for goes to the recorder once when
// forwardCancel is set; without it the caller stops between operations instead (an erase is
// never cut in the middle of a recording). True when the poll asked for a cancel.
bool PollRecorderOperation(TCustomRecorder& recorder, const TOperationPoll& poll,
                           bool forwardCancel = true);
