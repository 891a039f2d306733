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

void TRecorder::ReadSoundFile(std::uint16_t, std::uint32_t, std::uint32_t) {
    NotAvailable(*this, "ReadSFThread");
}

void TRecorder::ReadSubRecord(std::uint16_t, std::uint16_t, std::uint32_t) {
    NotAvailable(*this, "ReadSFThread");
}

void TRecorder::ReadDriveFile(int, TPosixFile*) {
    NotAvailable(*this, "ReadDFThread");
}
