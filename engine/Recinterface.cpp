#include "engine/Recinterface.h"

#include <new>

#include "engine/RecClasses.h"
#include "link/DebugLog.h"

extern "C" {

TCustomRecorder* CreateRecorder(std::uint32_t kind) {
    try {
        return new (std::nothrow) TRecorder(kind, InstalledRecorderUi());
    } catch (...) {
        WriteDebugLog("Creating recorder instance failed");
        return nullptr;
    }
}

void DestroyRecorder(TCustomRecorder* recorder) {
    // The recorder's destructor stops and waits for its worker and lets nothing escape.
    delete recorder;
}

} // extern "C"
