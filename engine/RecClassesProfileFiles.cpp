#include "engine/RecClasses.h"
#include "engine/RecClassesProfiles.h"
#include "engine/RecClassesUtils.h"
#include "i18n/VexaLang.h"

// The recorder's side of the profile and preset files: the files are read and written by
// the functions of RecClassesProfiles and RecClassesPresets; the recorder supplies its model,
// the program's folder, the current language and its UI for the messages.

namespace {

std::uint8_t ModelNumber(std::uint16_t firmwareVersion) {
    return static_cast<std::uint8_t>(firmwareVersion >> 8);
}

std::uint16_t CurrentLanguageId() {
    try {
        return LangManager()->GetCurrentLanguageID();
    } catch (...) {
        LogCaughtException("Current language (the initial one is taken)");
        return TVexaLanguageManager::InitialLanguageId;
    }
}

} // namespace

bool TRecorder::SaveProfileFile(const std::string& fileName, const TRecSettings& settings) {
    return ::SaveProfileFile(fileName, settings, ModelNumber(FirmwareVersion), UiLink);
}

bool TRecorder::LoadProfileFile(const std::string& fileName, TRecSettings& settings) {
    return ::LoadProfileFile(fileName, settings, ModelNumber(FirmwareVersion), UiLink);
}

bool TRecorder::LoadDefaultProfile(TRecSettings& settings) {
    return ::LoadDefaultProfile(GetRecFilePrefixPath(), settings, ModelNumber(FirmwareVersion),
                                UiLink);
}

void TRecorder::LoadQualityPresets() {
    ::LoadQualityPresets(QualityPresetFileName(GetRecFilePrefixPath()), CurrentLanguageId(),
                         QualityPresets);
}

void TRecorder::LoadVasPresets() {
    ::LoadVasPresets(VasPresetFileName(GetRecFilePrefixPath()), CurrentLanguageId(), VasPresets);
}

void TRecorder::LoadAmpPresets() {
    ::LoadAmpPresets(AmpPresetFileName(GetRecFilePrefixPath()), CurrentLanguageId(), AmpPresets);
}

int TRecorder::FindQualityPreset(const TRecProfile& profile) const {
    return ::FindQualityPreset(QualityPresets, profile);
}

int TRecorder::FindVasPreset(const TRecProfile& profile) const {
    return ::FindVasPreset(VasPresets, profile);
}

int TRecorder::FindAmpPreset(const TRecProfile& profile) const {
    return ::FindAmpPreset(AmpPresets, profile);
}
