#include "engine/RecOperationWait.h"

#include <atomic>
#include <thread>

#include "engine/Recinterface.h"

namespace {

void Sleep(std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
}

std::atomic<TOperationPause> Pause{&Sleep};

} // namespace

void SetOperationPause(TOperationPause pause) {
    Pause = pause != nullptr ? pause : &Sleep;
}

bool PollRecorderOperation(TCustomRecorder& recorder, const TOperationPoll& poll,
                           bool forwardCancel) {
    bool cancelAsked = false;
    bool cancelSent = false;
    Pause.load()(OperationPollInterval);
    while (recorder.GetState() != StateIdle) {
        if (poll && poll(recorder.GetProgress(), recorder.GetState()))
            cancelAsked = true;
        if (cancelAsked && forwardCancel && !cancelSent) {
            recorder.Cancel();
            cancelSent = true;
        }
        Pause.load()(OperationPollInterval);
    }
    return cancelAsked;
}
