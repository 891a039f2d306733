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
    Number, // decimal (or "$"/"0x" hexadecimal) integer
    Flag,   // integer, non-zero is on; stored as the field's own "on" byte
};

struct TProfileKey {
    const char* Key;
    TKeyKind Kind;
    int (*Get)(const TRecProfile&);
    void (*Set)(TRecProfile&, int);
    bool (*Accepts)(int);
    std::uint8_t OnValue; // Flag only
};

template <auto Member> int GetField(const TRecProfile& profile) {
    return static_cast<int>(profile.*Member);
}

template <auto Member> void SetField(TRecProfile& profile, int value) {
    using TField = std::remove_cvref_t<decltype(profile.*Member)>;
    profile.*Member = static_cast<TField>(value);
}

template <int Low, int High> bool InRange(int value) {
    return value >= Low && value <= High;
}

bool AnyValue(int) {
    return true;
}

bool IsTimerType(int value) {
    return value == 0xFF || value == 1 || value == 2; // off, daily, once
}

bool IsAgcMode(int value) {
    return value == 0 || value == 0xFF; // on, off
}

// Ranges from the settings dialog's controls: the gain byte is its up-down position
// (40..80) plus 2; the timer's year is one the recorder's clock can reach.
constexpr TProfileKey ProfileKeys[] = {
    {"Sample Rate", TKeyKind::Number, GetField<&TRecProfile::SampleRate>,
     SetField<&TRecProfile::SampleRate>, InRange<0, 5>, 0},
    {"Compress", TKeyKind::Number, GetField<&TRecProfile::Compress>,
     SetField<&TRecProfile::Compress>, InRange<0, 2>, 0},
    {"CompressParam", TKeyKind::Number, GetField<&TRecProfile::CompressParam>,
     SetField<&TRecProfile::CompressParam>, InRange<0, 4>, 0},
    {"CyclicRecord", TKeyKind::Flag, GetField<&TRecProfile::CyclicRecord>,
     SetField<&TRecProfile::CyclicRecord>, AnyValue, 0xFF},
    {"CycleBufSize", TKeyKind::Number, GetField<&TRecProfile::CycleBufSize>,
     SetField<&TRecProfile::CycleBufSize>, InRange<1, 100>, 0},
    {"TimerType", TKeyKind::Number, GetField<&TRecProfile::TimerType>,
     SetField<&TRecProfile::TimerType>, IsTimerType, 0},
    {"TimerStartHour", TKeyKind::Number, GetField<&TRecProfile::TimerStartHour>,
     SetField<&TRecProfile::TimerStartHour>, InRange<0, 23>, 0},
    {"TimerStartMin", TKeyKind::Number, GetField<&TRecProfile::TimerStartMin>,
     SetField<&TRecProfile::TimerStartMin>, InRange<0, 59>, 0},
    {"TimerStartDay", TKeyKind::Number, GetField<&TRecProfile::TimerStartDay>,
     SetField<&TRecProfile::TimerStartDay>, InRange<1, 31>, 0},
    {"TimerStartMonth", TKeyKind::Number, GetField<&TRecProfile::TimerStartMonth>,
     SetField<&TRecProfile::TimerStartMonth>, InRange<1, 12>, 0},
    {"TimerStartYear", TKeyKind::Number, GetField<&TRecProfile::TimerStartYear>,
     SetField<&TRecProfile::TimerStartYear>, InRange<1970, 2106>, 0},
    {"TimerStopHour", TKeyKind::Number, GetField<&TRecProfile::TimerStopHour>,
     SetField<&TRecProfile::TimerStopHour>, InRange<0, 23>, 0},
    {"TimerStopMin", TKeyKind::Number, GetField<&TRecProfile::TimerStopMin>,
     SetField<&TRecProfile::TimerStopMin>, InRange<0, 59>, 0},
    {"TimerStopDay", TKeyKind::Number, GetField<&TRecProfile::TimerStopDay>,
     SetField<&TRecProfile::TimerStopDay>, InRange<1, 31>, 0},
    {"TimerStopMonth", TKeyKind::Number, GetField<&TRecProfile::TimerStopMonth>,
     SetField<&TRecProfile::TimerStopMonth>, InRange<1, 12>, 0},
    {"TimerStopYear", TKeyKind::Number, GetField<&TRecProfile::TimerStopYear>,
     SetField<&TRecProfile::TimerStopYear>, InRange<1970, 2106>, 0},
    {"VAS", TKeyKind::Flag, GetField<&TRecProfile::Vas>, SetField<&TRecProfile::Vas>, AnyValue, 1},
    {"VasLevel", TKeyKind::Number, GetField<&TRecProfile::VasLevel>,
     SetField<&TRecProfile::VasLevel>, InRange<-55, 0>, 0},
    {"VasTime", TKeyKind::Number, GetField<&TRecProfile::VasTime>, SetField<&TRecProfile::VasTime>,
     InRange<1, 15>, 0},
    {"PGAC_Gain", TKeyKind::Number, GetField<&TRecProfile::PgacGain>,
     SetField<&TRecProfile::PgacGain>, InRange<42, 82>, 0},
    {"PGAC_Mode", TKeyKind::Number, GetField<&TRecProfile::PgacMode>,
     SetField<&TRecProfile::PgacMode>, IsAgcMode, 0},
    {"PGAC_FastAttack", TKeyKind::Number, GetField<&TRecProfile::PgacFastAttack>,
     SetField<&TRecProfile::PgacFastAttack>, InRange<0, 15>, 0},
    {"PGAC_FastRelease", TKeyKind::Number, GetField<&TRecProfile::PgacFastRelease>,
     SetField<&TRecProfile::PgacFastRelease>, InRange<0, 15>, 0},
    {"PGAC_SlowAttack", TKeyKind::Number, GetField<&TRecProfile::PgacSlowAttack>,
     SetField<&TRecProfile::PgacSlowAttack>, InRange<0, 15>, 0},
    {"PGAC_SlowRelease", TKeyKind::Number, GetField<&TRecProfile::PgacSlowRelease>,
     SetField<&TRecProfile::PgacSlowRelease>, InRange<0, 15>, 0},
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

// StrToIntDef without a default: nothing when the text is no integer.
std::optional<int> ParseInteger(std::string_view text) {
    const std::int32_t a = StrToIntDef(text, 0);
    const std::int32_t b = StrToIntDef(text, 1);
    if (a != b)
        return std::nullopt;
    return a;
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
// bytes, zero-padded (not terminated when 8 long).
std::array<std::uint8_t, TRecProfile::NameSize> NameFieldFromText(const std::string& text,
                                                                  unsigned codePage) {
    const std::string ansi = Utf8ToAnsi(text, codePage);
    std::array<std::uint8_t, TRecProfile::NameSize> field{};
    for (std::size_t i = 0; i < field.size() && i < ansi.size(); ++i)
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

// Rate, compression and parameter are only valid together (IsValidRecordingFormat).
bool IsFormatKey(std::string_view key) {
    return key == "Sample Rate" || key == "Compress" || key == "CompressParam";
}

// Reads one profile section over profile; the first invalid value ends the reading.
TProfileFileResult ReadProfileSection(const TIniFile& ini, const std::string& section,
                                      TRecProfile& profile, unsigned codePage) {
    if (ini.ValueExists(section, NameKey))
        profile.Name = NameFieldFromText(ini.ReadString(section, NameKey, ""), codePage);

    bool formatGiven = false;
    for (const TProfileKey& key : ProfileKeys) {
        if (!ini.ValueExists(section, key.Key))
            continue;
        const std::string text = ini.ReadString(section, key.Key, "");
        if (text.empty())
            continue; // read as the framework does: the field keeps its value
        const std::optional<int> value = ParseInteger(text);
        if (!value || !key.Accepts(*value))
            return Refusal(TProfileFileError::InvalidValue, section, key.Key, text);
        if (key.Kind == TKeyKind::Flag)
            key.Set(profile, *value != 0 ? key.OnValue : 0);
        else
            key.Set(profile, *value);
        formatGiven = formatGiven || IsFormatKey(key.Key);
    }
    if (formatGiven &&
        !IsValidRecordingFormat(profile.SampleRate, profile.Compress, profile.CompressParam)) {
        const std::string value = std::to_string(profile.SampleRate) + ", " +
                                  std::to_string(profile.Compress) + ", " +
                                  std::to_string(profile.CompressParam);
        return Refusal(TProfileFileError::InvalidValue, section, "Sample Rate, Compress", value);
    }
    return {};
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
    case TProfileFileError::InvalidValue:
        WriteDebugLog("Profile file " + fileName + " refused: [" + result.Section + "] " +
                      result.Key + "=" + result.Value);
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
            if (key.Kind == TKeyKind::Flag)
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

bool IsValidRecordingFormat(int rateCode, int compression, int compressParam) {
    if (rateCode < 0 || rateCode > 5)
        return false;
    switch (compression) {
    case 0:
        return compressParam == 0;
    case 1:
        return compressParam >= 0 && compressParam <= 4;
    case 2:
        return (compressParam == 1 || compressParam == 2) && (rateCode == 3 || rateCode == 4);
    default:
        return false;
    }
}

TProfileFileResult ReadProfileFile(const std::string& fileName, TRecSettings& settings,
                                   std::uint8_t model, unsigned codePage) {
    if (!IsReadableFile(fileName))
        return Refusal(TProfileFileError::CannotRead, "", "", "");
    const TIniFile ini(fileName, codePage);
    const std::string models = ini.ReadString(ModelSection, ModelKey, "");
    if (!ModelListNames(models, model))
        return Refusal(TProfileFileError::WrongModel, ModelSection, ModelKey, models);

    TRecSettings loaded = settings;
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TProfileFileResult result =
            ReadProfileSection(ini, ProfileSection(i), loaded.Profiles[i], codePage);
        if (!result.Ok())
            return result;
    }
    settings = loaded;
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
