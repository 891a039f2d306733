#pragma once

#include <cstdint>
#include <optional>
#include <string>

class TRecorder;

// The compression the user picked for an upload.
struct TUploadFormatChoice {
    enum class TCompression { None, Adpcm2, Adpcm4, ULaw };
    TCompression Compression = TCompression::None;
    std::uint8_t ULawScaleIndex = 0; // 0..4 for scale 1, 2, 4, 8, 16
};

// The only way from the recorder engine to the user interface. The UI installs its own
// implementation (SetRecorderUi) before it creates a recorder; without one every call does
// nothing and the upload-format question answers Cancel. All calls come from the UI thread
// except ShowMessage, which a worker thread may call.
class TRecorderUi {
public:
    virtual ~TRecorderUi() = default;

    // The settings dialog keeps the recorder from its construction to its destruction.
    virtual void AttachRecorder(TRecorder* recorder) {}
    virtual void DetachRecorder(TRecorder* recorder) {}
    // The settings dialog reloads its controls from the recorder's settings record.
    virtual void RestoreSettings() {}
    // Shows or hides the settings dialog's hidden tab.
    virtual void SetHiddenTabVisible(bool visible) {}
    // The upload compression, or nothing when the user cancels.
    virtual std::optional<TUploadFormatChoice> ChooseUploadFormat() { return std::nullopt; }
    // A message for the user; may come from a worker thread, so the UI shows it on its own.
    virtual void ShowMessage(const std::string& text) {}
    // The caption of a compression choice in the current language, by source-compression
    // code (0 none, 1 ADPCM 4 bit, 2 uLaw, 3 ADPCM 2 bit).
    virtual std::string CompressionCaption(std::uint8_t sourceCompression);
};

// Installs the UI the next recorder objects use; null restores the silent default.
void SetRecorderUi(TRecorderUi* ui);
TRecorderUi& InstalledRecorderUi();
