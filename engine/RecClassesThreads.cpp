#include <system_error>

#include "engine/RecClasses.h"
#include "link/DebugLog.h"

bool TRecorder::StartOperation(std::uint32_t runningState, const std::string& threadName,
                               std::function<void()> body, bool setModified) {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    // The previous worker has set the state to 1 as its last action; it only has to return.
    WaitForOperation();
    SetOutcome({TOperationOutcome::TKind::None, threadName, 0, 0, ""});
    CancelRequested.store(false);
    Progress.store(0);
    SetState(runningState);
    if (setModified)
        Modified.store(true);
    try {
        Worker = std::thread(
            [this, threadName, body = std::move(body)] { RunUnderThreadFrame(threadName, body); });
    } catch (const std::system_error& error) {
        FailPendingOperation(threadName);
        WriteDebugLog("Cannot start " + threadName + ": " + error.what());
        return false;
    }
    return true;
}

void TRecorder::FailPendingOperation(const std::string& threadName) {
    SetOutcome({TOperationOutcome::TKind::Failed, threadName, 0, 0, "the thread could not start"});
    SetState(StateIdle);
}

void TRecorder::RunUnderThreadFrame(const std::string& threadName,
                                    const std::function<void()>& body) {
    TOperationOutcome outcome;
    outcome.Operation = threadName;
    try {
        body();
        outcome.Kind = CancelRequested.load() ? TOperationOutcome::TKind::Cancelled
                                              : TOperationOutcome::TKind::Succeeded;
    } catch (const EOperationDamaged& damage) {
        WriteDebugLog(threadName + ": " + damage.what());
        outcome.Kind = TOperationOutcome::TKind::Damaged;
        outcome.Message = damage.what();
    } catch (const TERecXchange& error) {
        outcome.Kind = TOperationOutcome::TKind::ExchangeFailed;
        outcome.Command = error.Command();
        outcome.ErrorCode = error.ErrorCode();
        outcome.Message = error.MessageUtf8();
    } catch (const std::exception& error) {
        WriteDebugLog("************   Unexpected " + threadName +
                      " error occured: " + error.what() + "   *************");
        outcome.Kind = TOperationOutcome::TKind::Failed;
        outcome.Message = error.what();
    } catch (...) {
        WriteDebugLog("************   Unexpected " + threadName + " error occured   *************");
        outcome.Kind = TOperationOutcome::TKind::Failed;
    }
    SetOutcome(outcome);
    // The last action: a reader that sees 1 also sees the outcome, the lists and the totals.
    SetState(StateIdle);
}

void TRecorder::WaitForOperation() {
    if (Worker.joinable() && Worker.get_id() != std::this_thread::get_id())
        Worker.join();
}

void TRecorder::SetOutcome(const TOperationOutcome& outcome) {
    std::lock_guard lock(OutcomeLock);
    LastOutcome = outcome;
}

TOperationOutcome TRecorder::GetOutcome() {
    std::lock_guard lock(OutcomeLock);
    return LastOutcome;
}

void TRecorder::SetProgress(std::uint64_t done, std::uint64_t total) {
    if (total == 0) {
        SetProgress(std::uint8_t{0});
        return;
    }
    const unsigned __int128 percent = static_cast<unsigned __int128>(done) * 100 / total;
    SetProgress(static_cast<std::uint8_t>(percent > 100 ? 100 : percent));
}
