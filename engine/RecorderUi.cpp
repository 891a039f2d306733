#include "engine/RecorderUi.h"

#include <atomic>

std::string TRecorderUi::CompressionCaption(std::uint8_t sourceCompression) {
    switch (sourceCompression) {
    case 0:
        return "No compress";
    case 1:
        return "ADPCM 4 bit";
    case 2:
        return "uLaw";
    case 3:
        return "ADPCM 2 bit";
    default:
        return "Unknown";
    }
}

namespace {
TRecorderUi SilentUi;
std::atomic<TRecorderUi*> Installed{nullptr};
} // namespace

void SetRecorderUi(TRecorderUi* ui) {
    Installed.store(ui);
}

TRecorderUi& InstalledRecorderUi() {
    TRecorderUi* ui = Installed.load();
    return ui != nullptr ? *ui : SilentUi;
}
