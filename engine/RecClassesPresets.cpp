#include "engine/RecClassesPresets.h"

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

    // The key read as an integer (0 when it is missing or no number) and truncated to the
    // byte it fills.
    template <typename TByte> TByte Byte(const char* key) const {
        return static_cast<TByte>(Ini.ReadInteger(Section, key, 0));
    }

private:
    const TIniFile& Ini;
    std::string Section;
    std::string LangKey;
};

// Reads every section of an existing file with readRecord, one preset each, in file order.
template <typename TList, typename TRead>
void LoadPresetFile(const std::string& fileName, std::uint16_t langId, TList& list,
                    TRead readRecord) {
    list.Clear();
    if (!FileExists(fileName))
        return;
    const TIniFile ini(fileName);
    for (const std::string& name : ini.ReadSections())
        list.Add(readRecord(TPresetSection(ini, name, langId)));
}

} // namespace

void LoadQualityPresets(const std::string& fileName, std::uint16_t langId,
                        TQualityPresetList& list) {
    LoadPresetFile(fileName, langId, list, [](const TPresetSection& section) {
        TQualityPreset preset;
        preset.Name = section.DisplayName();
        preset.Compression = section.Byte<std::uint8_t>("Compression");
        preset.CompressParam = section.Byte<std::uint8_t>("CompressParam");
        preset.BitRate = section.Byte<std::uint8_t>("BitRate");
        return preset;
    });
}

void LoadVasPresets(const std::string& fileName, std::uint16_t langId, TVasPresetList& list) {
    LoadPresetFile(fileName, langId, list, [](const TPresetSection& section) {
        TVasPreset preset;
        preset.Name = section.DisplayName();
        preset.Level = section.Byte<std::int8_t>("Level");
        preset.Time = section.Byte<std::uint8_t>("Time");
        return preset;
    });
}

void LoadAmpPresets(const std::string& fileName, std::uint16_t langId, TAmpPresetList& list) {
    LoadPresetFile(fileName, langId, list, [](const TPresetSection& section) {
        TAmpPreset preset;
        preset.Name = section.DisplayName();
        preset.Mode = section.Byte<std::uint8_t>("Mode");
        preset.FastAttack = section.Byte<std::uint8_t>("FastAttack");
        preset.FastRelease = section.Byte<std::uint8_t>("FastRelease");
        preset.SlowAttack = section.Byte<std::uint8_t>("SlowAttack");
        preset.SlowRelease = section.Byte<std::uint8_t>("SlowRelease");
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
