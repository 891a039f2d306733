#include <stdexcept>

#include "engine/RecClasses.h"

// Until these operations are built, each ends at once with a failed outcome (or an exception
// for the one that runs on the caller's thread), so no caller mistakes it for done.

namespace {

void NotAvailable(TRecorder& recorder, const char* threadName) {
    recorder.StartOperation(StateRunning, threadName, [threadName] {
        throw std::runtime_error(std::string(threadName) + " is not available in this build");
    });
}

} // namespace

void TRecorder::WriteSoundFile(std::uint16_t, TWaveFile&, TSystemTime) {
    NotAvailable(*this, "WriteSFThread");
}

void TRecorder::WriteDriveFile(const std::string&, TPosixFile*, TSystemTime) {
    NotAvailable(*this, "WriteDFThread");
}
