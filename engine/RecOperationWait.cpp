#include "engine/RecOperationWait.h"

#include <thread>

#include "engine/Recinterface.h"

bool PollRecorderOperation(TCustomRecorder& recorder, const TOperationPoll& poll,
                           bool forwardCancel) {
    bool cancelAsked = false;
    bool cancelSent = false;
    std::this_thread::sleep_for(OperationPollInterval);
    while (recorder.GetState() != StateIdle) {
        if (poll && poll(recorder.GetProgress(), recorder.GetState()))
            cancelAsked = true;
        if (cancelAsked && forwardCancel && !cancelSent) {
            recorder.Cancel();
            cancelSent = true;
        }
        std::this_thread::sleep_for(OperationPollInterval);
    }
    return cancelAsked;
}
