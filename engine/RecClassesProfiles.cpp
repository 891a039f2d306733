#include "engine/RecClassesProfiles.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

#include "engine/RecorderUi.h"
#include "i18n/VexaLang.h"
#include "link/DebugLog.h"
#include "platform/IniFile.h"
#include "platform/PosixFile.h"

namespace {

constexpr const char* BuiltInRecFilePrefix = "OMVela";
constexpr const char* ModelSection = "Recorder model";
constexpr const char* ModelKey = "Model";
constexpr const char* NameKey = "Name";

// How a key's text becomes the field's byte(s).
enum class TKeyKind {
    Number, // integer as the INI file reads it; the field keeps its low byte (or 16 bits)
    Switch, // boolean 0/1; any non-zero integer reads as on
};

struct TProfileKey {
    const char* Key;
    TKeyKind Kind;
    int (*Get)(const TRecProfile&);
    void (*Set)(TRecProfile&, int);
};

template <auto Member> int GetField(const TRecProfile& profile) {
    return static_cast<int>(profile.*Member);
}

template <auto Member> void SetField(TRecProfile& profile, int value) {
    using TField = std::remove_cvref_t<decltype(profile.*Member)>;
    profile.*Member = static_cast<TField>(value);
}

template <auto Member> constexpr TProfileKey Number(const char* key) {
    return {key, TKeyKind::Number, GetField<Member>, SetField<Member>};
}

template <auto Member> constexpr TProfileKey Switch(const char* key) {
    return {key, TKeyKind::Switch, GetField<Member>, SetField<Member>};
}

// The keys after "Name", in the order they are written. Values are taken as they are: a
// file may carry any number, and the settings dialog limits what it shows and stores.
constexpr TProfileKey ProfileKeys[] = {
    Number<&TRecProfile::SampleRate>("Sample Rate"),
    Number<&TRecProfile::Compress>("Compress"),
    Number<&TRecProfile::CompressParam>("CompressParam"),
    Switch<&TRecProfile::CyclicRecord>("CyclicRecord"),
    Number<&TRecProfile::CycleBufSize>("CycleBufSize"),
    Number<&TRecProfile::TimerType>("TimerType"),
    Number<&TRecProfile::TimerStartHour>("TimerStartHour"),
    Number<&TRecProfile::TimerStartMin>("TimerStartMin"),
    Number<&TRecProfile::TimerStartDay>("TimerStartDay"),
    Number<&TRecProfile::TimerStartMonth>("TimerStartMonth"),
    Number<&TRecProfile::TimerStartYear>("TimerStartYear"),
    Number<&TRecProfile::TimerStopHour>("TimerStopHour"),
    Number<&TRecProfile::TimerStopMin>("TimerStopMin"),
    Number<&TRecProfile::TimerStopDay>("TimerStopDay"),
    Number<&TRecProfile::TimerStopMonth>("TimerStopMonth"),
    Number<&TRecProfile::TimerStopYear>("TimerStopYear"),
    Switch<&TRecProfile::Vas>("VAS"),
    Number<&TRecProfile::VasLevel>("VasLevel"),
    Number<&TRecProfile::VasTime>("VasTime"),
    Number<&TRecProfile::PgacGain>("PGAC_Gain"),
    Number<&TRecProfile::PgacMode>("PGAC_Mode"),
    Number<&TRecProfile::PgacFastAttack>("PGAC_FastAttack"),
    Number<&TRecProfile::PgacFastRelease>("PGAC_FastRelease"),
    Number<&TRecProfile::PgacSlowAttack>("PGAC_SlowAttack"),
    Number<&TRecProfile::PgacSlowRelease>("PGAC_SlowRelease"),
};

std::string ProfileSection(std::size_t index) {
    return "Profile " + std::to_string(index + 1);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

bool IsReadableFile(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return false;
    TPosixFile file;
    return file.Open(fileName, TPosixFile::TMode::ReadOnly);
}

// The part of the file name after its last "/" starts at the returned position.
std::size_t FileNameStart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

std::string WithoutExtension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < FileNameStart(path))
        return path;
    return path.substr(0, dot);
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// The 8 name bytes of a profile from the text of a file: in the ANSI code page, cut to 8
// bytes, zero-padded (not terminated when 8 long). A zero byte ends the name, as it does for
// the recorder and for the file written back.
std::array<std::uint8_t, TRecProfile::NameSize> NameFieldFromText(const std::string& text,
                                                                  unsigned codePage) {
    const std::string ansi = Utf8ToAnsi(text, codePage);
    std::array<std::uint8_t, TRecProfile::NameSize> field{};
    for (std::size_t i = 0; i < field.size() && i < ansi.size() && ansi[i] != '\0'; ++i)
        field[i] = static_cast<std::uint8_t>(ansi[i]);
    return field;
}

std::string NameTextFromField(const std::array<std::uint8_t, TRecProfile::NameSize>& field,
                              unsigned codePage) {
    std::string ansi;
    for (std::uint8_t byte : field) {
        if (byte == 0)
            break;
        ansi.push_back(static_cast<char>(byte));
    }
    return AnsiToUtf8(ansi, codePage);
}

TProfileFileResult Refusal(TProfileFileError error, std::string section, std::string key,
                           std::string value) {
    return TProfileFileResult{error, std::move(section), std::move(key), std::move(value)};
}

// A switch read from the file: a file that agrees with the field (on or off) leaves its byte,
// so that a recorder's own "on" byte (0xFF for cyclic recording) survives a save and a load;
// a file that turns it on stores 1, off stores 0.
int SwitchValue(bool fileSaysOn, int current) {
    if (fileSaysOn == (current != 0))
        return current;
    return fileSaysOn ? 1 : 0;
}

// Reads one profile section over profile. A missing section or "Name" empties the name; a
// missing key, or one that is no number, leaves its field as it was.
void ReadProfileSection(const TIniFile& ini, const std::string& section, TRecProfile& profile,
                        unsigned codePage) {
    profile.Name = NameFieldFromText(ini.ReadString(section, NameKey, ""), codePage);
    for (const TProfileKey& key : ProfileKeys) {
        const int current = key.Get(profile);
        if (key.Kind == TKeyKind::Switch)
            key.Set(profile, SwitchValue(ini.ReadBool(section, key.Key, current != 0), current));
        else
            key.Set(profile, ini.ReadInteger(section, key.Key, current));
    }
}

void LogRefusal(const std::string& fileName, const TProfileFileResult& result) {
    switch (result.Error) {
    case TProfileFileError::None:
        return;
    case TProfileFileError::CannotRead:
        WriteDebugLog("Profile file " + fileName + " cannot be read");
        return;
    case TProfileFileError::WrongModel:
        WriteDebugLog("Profile file " + fileName + " is not for this model: Model=" + result.Value);
        return;
    }
}

void WriteProfiles(TIniFile& ini, const TRecSettings& settings, std::uint8_t model,
                   unsigned codePage) {
    ini.WriteInteger(ModelSection, ModelKey, model);
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        const TRecProfile& profile = settings.Profiles[i];
        const std::string section = ProfileSection(i);
        ini.WriteString(section, NameKey, NameTextFromField(profile.Name, codePage));
        for (const TProfileKey& key : ProfileKeys) {
            if (key.Kind == TKeyKind::Switch)
                ini.WriteBool(section, key.Key, key.Get(profile) != 0);
            else
                ini.WriteInteger(section, key.Key, key.Get(profile));
        }
    }
}

// The file a path names, through a symbolic link, so that saving replaces the file the
// link points at and keeps the link.
std::filesystem::path ResolvedTarget(const std::string& fileName) {
    std::error_code error;
    std::filesystem::path target = fileName;
    if (std::filesystem::is_symlink(target, error)) {
        std::filesystem::path resolved = std::filesystem::canonical(target, error);
        if (!error)
            return resolved;
    }
    return target;
}

void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path())
        return ".";
    return exe.parent_path().string();
}

std::string RecFilePrefixPath(const std::string& programFolder) {
    return RecFilePrefixPath(programFolder, GetLangConstant("RecFilePrefixStr"));
}

std::string RecFilePrefixPath(const std::string& programFolder, const std::string& prefixText) {
    std::string prefix = prefixText;
    if (!IsPlainFileName(prefix))
        prefix = BuiltInRecFilePrefix;
    std::string folder = programFolder;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder + prefix;
}

std::string DefaultProfileFileName(const std::string& prefixPath) {
    return WithoutExtension(prefixPath) + ".def";
}

std::string QualityPresetFileName(const std::string& prefixPath) {
    return WithoutExtension(prefixPath) + "_req.ini";
}

std::string VasPresetFileName(const std::string& prefixPath) {
    return WithoutExtension(prefixPath) + "_vas.ini";
}

std::string AmpPresetFileName(const std::string& prefixPath) {
    return WithoutExtension(prefixPath) + "_amp.ini";
}

bool ModelListNames(std::string_view modelList, int model) {
    while (!modelList.empty()) {
        const std::size_t comma = modelList.find(',');
        const std::string_view item = TrimBlanks(modelList.substr(0, comma));
        modelList =
            comma == std::string_view::npos ? std::string_view{} : modelList.substr(comma + 1);
        if (StrToIntDef(item, -1) == model)
            return true;
    }
    return false;
}

TProfileFileResult ReadProfileFile(const std::string& fileName, TRecSettings& settings,
                                   std::uint8_t model, unsigned codePage) {
    if (!IsReadableFile(fileName))
        return Refusal(TProfileFileError::CannotRead, "", "", "");
    const TIniFile ini(fileName, codePage);
    const std::string models = ini.ReadString(ModelSection, ModelKey, "");
    if (!ModelListNames(models, model))
        return Refusal(TProfileFileError::WrongModel, ModelSection, ModelKey, models);

    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i)
        ReadProfileSection(ini, ProfileSection(i), settings.Profiles[i], codePage);
    return {};
}

bool LoadProfileFile(const std::string& fileName, TRecSettings& settings, std::uint8_t model,
                     TRecorderUi& ui, unsigned codePage) {
    const TProfileFileResult result = ReadProfileFile(fileName, settings, model, codePage);
    if (result.Ok())
        return true;
    LogRefusal(fileName, result);
    ui.ShowMessage(GetLangConstant(result.Error == TProfileFileError::CannotRead
                                       ? "ErrorLoadProfileStr"
                                       : "InvalidProfileFmtStr"));
    return false;
}

bool LoadDefaultProfile(const std::string& prefixPath, TRecSettings& settings, std::uint8_t model,
                        TRecorderUi& ui, unsigned codePage) {
    const std::string fileName = DefaultProfileFileName(prefixPath);
    if (!FileExists(fileName))
        return false;
    return LoadProfileFile(fileName, settings, model, ui, codePage);
}

bool SaveProfileFile(const std::string& fileName, const TRecSettings& settings, std::uint8_t model,
                     unsigned codePage) {
    const std::filesystem::path target = ResolvedTarget(fileName);
    const std::filesystem::path folder = target.parent_path();
    std::string temp = (folder / ("." + target.filename().string() + ".new-XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        TIniFile ini(temp, codePage);
        WriteProfiles(ini, settings, model, codePage);
        ok = ini.UpdateFile();
    }
    // rename refuses a folder in the way, so the temporary file never replaces one.
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        WriteDebugLog("Profile file " + fileName + " could not be written");
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool SaveProfileFile(const std::string& fileName, const TRecSettings& settings, std::uint8_t model,
                     TRecorderUi& ui, unsigned codePage) {
    if (SaveProfileFile(fileName, settings, model, codePage))
        return true;
    ui.ShowMessage(GetLangConstant("ErrorSaveProfileStr"));
    return false;
}
