#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

class TIniFile;

// The program's own options (the recorder's settings travel in its settings record instead).
// One program-wide instance; at program start every field is zero, false or empty, and the
// values that matter come from the settings file and the deferred initialisation.
struct TProgramOptions {
    QString DefFolder;
    QString FileNameMask;
    bool Split = false;
    std::int64_t MaxOutputSize = 0; // megabytes of one download part; 0: no splitting
    bool SyncTime = false;
    bool AutoDownload = false;
    bool NonDownOnly = false;
    bool AutoDelete = false;
    bool SkipSilence = false;
    bool ShowVoiceParts = false;
    bool HideEditor = false;
    bool DisableEditor = false;
    bool HideFlashDrive = false;
    bool DisableFlashDrive = false;
    bool SimpleQualitySetup = false;
    bool SimpleVasSetup = false;
    bool SimpleAmpSetup = false;
    bool HideMaskEdit = false;
    bool HideSplitting = false;
    bool NonSavedEraseDisable = false;
    bool HideExpert = false;
    bool HideAdvExpert = false;
    bool AonOnly = false;
    bool SorvaneFormat = false;
    bool HideSorvaneFormat = false;
    bool HideAmpSettings = false;
    std::int32_t ConnectType = 0; // connection kind 0 to 5
    QString ImageFileName;
    std::uint8_t RecentCount = 0;
    QStringList RecentFiles; // most recent first
};

extern TProgramOptions ProgramOptions;
// The language of the user interface, kept beside the options; 1033 until the file says else.
extern std::uint16_t LangID;

constexpr std::uint16_t BaseLanguageId = 1033;
constexpr std::uint8_t DefaultRecentCount = 3;

// The main window's placement as the settings file stores it: 44 bytes, little-endian, the
// length field first, written as two upper-case hex digits per byte.
struct TWindowPlacement {
    static constexpr std::size_t Size = 44;
    static constexpr std::uint32_t ShowNormal = 1;
    static constexpr std::uint32_t ShowMinimized = 2;
    static constexpr std::uint32_t ShowMaximized = 3;

    std::uint32_t Length = Size;
    std::uint32_t Flags = 0;
    std::uint32_t ShowCmd = ShowNormal;
    std::int32_t MinPositionX = 0, MinPositionY = 0;
    std::int32_t MaxPositionX = 0, MaxPositionY = 0;
    std::int32_t NormalLeft = 0, NormalTop = 0, NormalRight = 0, NormalBottom = 0;

    std::array<std::uint8_t, Size> ToBytes() const;
    static TWindowPlacement FromBytes(const std::uint8_t* bytes);
    QString ToHex() const;
    // Nothing unless the text decodes to exactly 44 bytes.
    static std::optional<TWindowPlacement> FromHex(const QString& text);

    bool operator==(const TWindowPlacement&) const = default;
};

// The values the settings file keeps of the main window's controls.
struct TMainLayout {
    int ExpWidth = 0;       // explorer pane
    bool ExpWindow = true;  // explorer pane shown
    int FoldersWidth = 0;   // folder tree
    bool FolderTree = true; // folder tree shown
    int ViewStyle = 3;      // explorer list: 0 large icons, 1 small icons, 2 list, 3 report
    std::vector<int> RecColumnWidths;
    std::vector<int> DrvColumnWidths;
    std::vector<int> ShellColumnWidths;
};

// The settings file's place: beside the program (its path with ".set") when that folder is
// writable, else the same name in the user's configuration folder.
QString SettingsFilePath(const QString& programPath, bool programFolderWritable,
                         const QString& configFolder);
// When settingsFile is missing, a file of its name in sourceFolder is copied there; an
// existing file is never overwritten. True when a file was copied.
bool CopyMissingSettingsFile(const QString& settingsFile, const QString& sourceFolder);

// Reads and writes of the settings file. Every read passes the value in memory as its default,
// so a missing key or a number that does not parse leaves the option as it was; the two
// exceptions are RecentCount (default 3) and Split (always true after loading).
std::uint16_t LoadLanguageId(const TIniFile& ini, std::uint16_t current);
std::optional<TWindowPlacement> LoadPlacement(const TIniFile& ini);
void LoadSettings(const TIniFile& ini, TProgramOptions& options, TMainLayout& layout);
// Collects every key into ini; the caller writes the file once (UpdateFile).
void SaveSettings(TIniFile& ini, const TProgramOptions& options, const TMainLayout& layout,
                  const TWindowPlacement& placement, std::uint16_t langId);
