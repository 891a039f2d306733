#include "engine/RecClassesPresets.h"

#include <optional>

#include "engine/RecClassesProfiles.h"
#include "link/DebugLog.h"
#include "platform/IniFile.h"
#include "platform/PosixFile.h"

namespace {

// One section of a preset file: its display name and its byte keys.
class TPresetSection {
public:
    TPresetSection(const TIniFile& ini, std::string section, std::uint16_t langId)
        : Ini(ini), Section(std::move(section)), LangKey(std::to_string(langId)) {}

    // The translation for the language; an empty or missing one gives the section name.
    std::string DisplayName() const {
        const std::string name = Ini.ReadString(Section, LangKey, "");
        return name.empty() ? Section : name;
    }

    // The key as an integer, 0 when missing or empty; a text that is no number marks the
    // section invalid.
    int Integer(const char* key) {
        const std::string text = Ini.ReadString(Section, key, "");
        if (text.empty())
            return 0;
        const std::int32_t a = StrToIntDef(text, 0);
        if (a != StrToIntDef(text, 1)) {
            Invalid = true;
            return 0;
        }
        return a;
    }

    // Reads the key into a byte and checks the value before truncation.
    template <typename TByte> TByte Byte(const char* key, int low, int high) {
        const int value = Integer(key);
        if (value < low || value > high)
            Invalid = true;
        return static_cast<TByte>(value);
    }

    bool IsValid() const { return !Invalid; }
    const std::string& Name() const { return Section; }

private:
    const TIniFile& Ini;
    std::string Section;
    std::string LangKey;
    bool Invalid = false;
};

// Reads every section of an existing file with readRecord; a record that comes back empty
// is left out.
template <typename TList, typename TRead>
void LoadPresetFile(const std::string& fileName, std::uint16_t langId, TList& list,
                    TRead readRecord) {
    list.Clear();
    if (!FileExists(fileName))
        return;
    const TIniFile ini(fileName);
    for (const std::string& name : ini.ReadSections()) {
        TPresetSection section(ini, name, langId);
        auto record = readRecord(section);
        if (record && section.IsValid())
            list.Add(std::move(*record));
        else
            WriteDebugLog("Preset [" + name + "] of " + fileName + " left out: invalid value");
    }
}

} // namespace

void LoadQualityPresets(const std::string& fileName, std::uint16_t langId,
                        TQualityPresetList& list) {
    LoadPresetFile(
        fileName, langId, list, [](TPresetSection& section) -> std::optional<TQualityPreset> {
            TQualityPreset preset;
            preset.Name = section.DisplayName();
            preset.Compression = section.Byte<std::uint8_t>("Compression", 0, 2);
            preset.CompressParam = section.Byte<std::uint8_t>("CompressParam", 0, 4);
            preset.BitRate = section.Byte<std::uint8_t>("BitRate", 0, 5);
            if (!IsValidRecordingFormat(preset.BitRate, preset.Compression, preset.CompressParam))
                return std::nullopt;
            return preset;
        });
}

void LoadVasPresets(const std::string& fileName, std::uint16_t langId, TVasPresetList& list) {
    LoadPresetFile(fileName, langId, list,
                   [](TPresetSection& section) -> std::optional<TVasPreset> {
                       TVasPreset preset;
                       preset.Name = section.DisplayName();
                       preset.Level = section.Byte<std::int8_t>("Level", -55, 0);
                       preset.Time = section.Byte<std::uint8_t>("Time", 1, 15);
                       return preset;
                   });
}

void LoadAmpPresets(const std::string& fileName, std::uint16_t langId, TAmpPresetList& list) {
    LoadPresetFile(fileName, langId, list,
                   [](TPresetSection& section) -> std::optional<TAmpPreset> {
                       TAmpPreset preset;
                       preset.Name = section.DisplayName();
                       preset.Mode = section.Byte<std::uint8_t>("Mode", 0, 0xFF);
                       preset.FastAttack = section.Byte<std::uint8_t>("FastAttack", 0, 15);
                       preset.FastRelease = section.Byte<std::uint8_t>("FastRelease", 0, 15);
                       preset.SlowAttack = section.Byte<std::uint8_t>("SlowAttack", 0, 15);
                       preset.SlowRelease = section.Byte<std::uint8_t>("SlowRelease", 0, 15);
                       if (preset.Mode != 0 && preset.Mode != 0xFF)
                           return std::nullopt;
                       return preset;
                   });
}

int FindQualityPreset(const TQualityPresetList& list, const TRecProfile& profile) {
    for (int i = 0; i < list.Count(); ++i) {
        const TQualityPreset& p = list[i];
        if (p.BitRate == profile.SampleRate && p.Compression == profile.Compress &&
            p.CompressParam == profile.CompressParam)
            return i;
    }
    return -1;
}

int FindVasPreset(const TVasPresetList& list, const TRecProfile& profile) {
    for (int i = 0; i < list.Count(); ++i) {
        const TVasPreset& p = list[i];
        if (p.Level == profile.VasLevel && p.Time == profile.VasTime)
            return i;
    }
    return -1;
}

int FindAmpPreset(const TAmpPresetList& list, const TRecProfile& profile) {
    for (int i = 0; i < list.Count(); ++i) {
        const TAmpPreset& p = list[i];
        if (p.Mode == profile.PgacMode && p.FastAttack == profile.PgacFastAttack &&
            p.FastRelease == profile.PgacFastRelease && p.SlowAttack == profile.PgacSlowAttack &&
            p.SlowRelease == profile.PgacSlowRelease)
            return i;
    }
    return -1;
}

void ApplyQualityPreset(const TQualityPreset& preset, TRecProfile& profile) {
    profile.SampleRate = preset.BitRate;
    profile.Compress = preset.Compression;
    profile.CompressParam = preset.CompressParam;
}

void ApplyVasPreset(const TVasPreset& preset, TRecProfile& profile) {
    profile.VasLevel = preset.Level;
    profile.VasTime = preset.Time;
}

void ApplyAmpPreset(const TAmpPreset& preset, TRecProfile& profile) {
    profile.PgacMode = preset.Mode;
    profile.PgacFastAttack = preset.FastAttack;
    profile.PgacFastRelease = preset.FastRelease;
    profile.PgacSlowAttack = preset.SlowAttack;
    profile.PgacSlowRelease = preset.SlowRelease;
}
