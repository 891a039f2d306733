#include "widgets/ProgramOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/ByteOrder.h"
#include "platform/IniFile.h"
#include "platform/PosixFile.h"

TProgramOptions ProgramOptions;
std::uint16_t LangID = BaseLanguageId;

namespace {

constexpr const char* Settings = "Settings";
constexpr const char* OtherSettings = "OtherSettings";
constexpr const char* RecentFileKey = "RecentFile";

// Placement layout: offset of each field.
constexpr std::size_t OffLength = 0, OffFlags = 4, OffShowCmd = 8;
constexpr std::size_t OffMinX = 12, OffMinY = 16, OffMaxX = 20, OffMaxY = 24;
constexpr std::size_t OffLeft = 28, OffTop = 32, OffRight = 36, OffBottom = 40;
static_assert(OffBottom + 4 == TWindowPlacement::Size);

QString ReadText(const TIniFile& ini, const char* section, const std::string& key,
                 const QString& current) {
    return QString::fromStdString(ini.ReadString(section, key, current.toStdString()));
}

void ReadFlag(const TIniFile& ini, const char* key, bool& value) {
    value = ini.ReadBool(Settings, key, value);
}

void ReadColumnWidths(const TIniFile& ini, const char* list, std::vector<int>& widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const std::string key = std::string(list) + "Column" + std::to_string(i) + "Width";
        widths[i] = ini.ReadInteger(OtherSettings, key, widths[i]);
    }
}

void WriteColumnWidths(TIniFile& ini, const char* list, const std::vector<int>& widths) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const std::string key = std::string(list) + "Column" + std::to_string(i) + "Width";
        ini.WriteInteger(OtherSettings, key, widths[i]);
    }
}

// The switches in the order the file has always listed them.
struct TFlagKey {
    const char* Key;
    bool TProgramOptions::*Field;
};
constexpr TFlagKey EditorAndViewFlags[] = {
    {"SkipSilence", &TProgramOptions::SkipSilence},
    {"ShowVoiceParts", &TProgramOptions::ShowVoiceParts},
    {"HideEditor", &TProgramOptions::HideEditor},
    {"DisableEditor", &TProgramOptions::DisableEditor},
    {"HideFlashDrive", &TProgramOptions::HideFlashDrive},
    {"DisableFlashDrive", &TProgramOptions::DisableFlashDrive},
    {"SimpleQualitySetup", &TProgramOptions::SimpleQualitySetup},
    {"SimpleVasSetup", &TProgramOptions::SimpleVasSetup},
    {"SimpleAmpSetup", &TProgramOptions::SimpleAmpSetup},
    {"HideMaskEdit", &TProgramOptions::HideMaskEdit},
    {"HideSplitting", &TProgramOptions::HideSplitting},
    {"NonSavedEraseDisable", &TProgramOptions::NonSavedEraseDisable},
};
constexpr TFlagKey ExpertFlags[] = {
    {"HideExpert", &TProgramOptions::HideExpert},
    {"HideAdvExpert", &TProgramOptions::HideAdvExpert},
    {"AonOnly", &TProgramOptions::AonOnly},
    {"SorvaneFormat", &TProgramOptions::SorvaneFormat},
    {"HideSorvaneFormat", &TProgramOptions::HideSorvaneFormat},
    {"HideAmpSettings", &TProgramOptions::HideAmpSettings},
};

} // namespace

std::array<std::uint8_t, TWindowPlacement::Size> TWindowPlacement::ToBytes() const {
    std::array<std::uint8_t, Size> bytes{};
    PutU32(bytes.data() + OffLength, Length);
    PutU32(bytes.data() + OffFlags, Flags);
    PutU32(bytes.data() + OffShowCmd, ShowCmd);
    PutI32(bytes.data() + OffMinX, MinPositionX);
    PutI32(bytes.data() + OffMinY, MinPositionY);
    PutI32(bytes.data() + OffMaxX, MaxPositionX);
    PutI32(bytes.data() + OffMaxY, MaxPositionY);
    PutI32(bytes.data() + OffLeft, NormalLeft);
    PutI32(bytes.data() + OffTop, NormalTop);
    PutI32(bytes.data() + OffRight, NormalRight);
    PutI32(bytes.data() + OffBottom, NormalBottom);
    return bytes;
}

TWindowPlacement TWindowPlacement::FromBytes(const std::uint8_t* bytes) {
    TWindowPlacement placement;
    placement.Length = GetU32(bytes + OffLength);
    placement.Flags = GetU32(bytes + OffFlags);
    placement.ShowCmd = GetU32(bytes + OffShowCmd);
    placement.MinPositionX = GetI32(bytes + OffMinX);
    placement.MinPositionY = GetI32(bytes + OffMinY);
    placement.MaxPositionX = GetI32(bytes + OffMaxX);
    placement.MaxPositionY = GetI32(bytes + OffMaxY);
    placement.NormalLeft = GetI32(bytes + OffLeft);
    placement.NormalTop = GetI32(bytes + OffTop);
    placement.NormalRight = GetI32(bytes + OffRight);
    placement.NormalBottom = GetI32(bytes + OffBottom);
    return placement;
}

QString TWindowPlacement::ToHex() const {
    const auto bytes = ToBytes();
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), Size).toHex().toUpper());
}

std::optional<TWindowPlacement> TWindowPlacement::FromHex(const QString& text) {
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]*$"));
    if (text.size() != static_cast<qsizetype>(2 * Size) || !hexDigits.match(text).hasMatch())
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    if (bytes.size() != static_cast<qsizetype>(Size))
        return std::nullopt;
    return FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()));
}

QString SettingsFilePath(const QString& programPath, bool programFolderWritable,
                         const QString& configFolder) {
    const QFileInfo program(programPath);
    const QString name = program.completeBaseName() + QStringLiteral(".set");
    if (programFolderWritable || configFolder.isEmpty())
        return QDir(program.absolutePath()).filePath(name);
    return QDir(configFolder).filePath(name);
}

bool CopyMissingSettingsFile(const QString& settingsFile, const QString& sourceFolder) {
    const QFileInfo target(settingsFile);
    if (target.exists())
        return false;
    const QFileInfo source(QDir(sourceFolder).filePath(target.fileName()));
    if (!source.isFile() || source.absoluteFilePath() == target.absoluteFilePath())
        return false;
    QDir().mkpath(target.absolutePath());
    QFile in(source.absoluteFilePath());
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    // Written beside the target and put in place only while the name is free, so a start
    // killed half-way leaves no settings file cut short and never overwrites one.
    const std::string name = QFile::encodeName(target.absoluteFilePath()).toStdString();
    const std::string temporary = MakeTemporaryName(name);
    TPosixFile file;
    if (!file.Open(temporary, TPosixFile::TMode::CreateTemporary))
        return false;
    const bool written =
        file.WriteExact(0, bytes.constData(), static_cast<std::size_t>(bytes.size())) &&
        file.Sync() && file.Publish();
    file.Close();
    if (!written || !PlaceNewFile(temporary, name)) {
        RemoveFile(temporary);
        return false;
    }
    SyncFolderOf(name);
    return true;
}

std::uint16_t LoadLanguageId(const TIniFile& ini, std::uint16_t current) {
    return static_cast<std::uint16_t>(ini.ReadInteger(Settings, "LangID", current));
}

std::optional<TWindowPlacement> LoadPlacement(const TIniFile& ini) {
    const std::string text = ini.ReadString(OtherSettings, "Placement", "");
    return TWindowPlacement::FromHex(QString::fromStdString(text));
}

void LoadSettings(const TIniFile& ini, TProgramOptions& options, TMainLayout& layout) {
    layout.ExpWindow = true;
    options.ConnectType = ini.ReadInteger(Settings, "ConnectType", options.ConnectType);
    options.DefFolder = ReadText(ini, OtherSettings, "DefFolder", options.DefFolder);
    options.FileNameMask = ReadText(ini, OtherSettings, "FileNameMask", options.FileNameMask);

    layout.ExpWidth = ini.ReadInteger(Settings, "ExpWidth", layout.ExpWidth);
    layout.ExpWindow = ini.ReadBool(Settings, "ExpWindow", layout.ExpWindow);
    layout.FoldersWidth = ini.ReadInteger(Settings, "FoldersWidth", layout.FoldersWidth);
    layout.FolderTree = ini.ReadBool(Settings, "FolderTree", layout.FolderTree);
    layout.ViewStyle = ini.ReadInteger(Settings, "ViewStyle", layout.ViewStyle);

    ReadFlag(ini, "SyncTime", options.SyncTime);
    ReadFlag(ini, "AutoDownload", options.AutoDownload);
    ReadFlag(ini, "AutoDelete", options.AutoDelete);
    ReadFlag(ini, "NonDownOnly", options.NonDownOnly);
    options.Split = true;
    options.MaxOutputSize = ini.ReadInteger(Settings, "MaxOutputSize",
                                            static_cast<std::int32_t>(options.MaxOutputSize));
    for (const TFlagKey& flag : EditorAndViewFlags)
        ReadFlag(ini, flag.Key, options.*flag.Field);
    options.RecentCount =
        static_cast<std::uint8_t>(ini.ReadInteger(Settings, "RecentCount", DefaultRecentCount));
    options.ImageFileName = ReadText(ini, OtherSettings, "ImageFileName", options.ImageFileName);
    for (const TFlagKey& flag : ExpertFlags)
        ReadFlag(ini, flag.Key, options.*flag.Field);

    options.RecentFiles.clear();
    for (int i = 0; i < options.RecentCount; ++i) {
        const QString path =
            ReadText(ini, OtherSettings, RecentFileKey + std::to_string(i), QString());
        if (!path.isEmpty())
            options.RecentFiles.append(path);
    }

    ReadColumnWidths(ini, "lvRecContent", layout.RecColumnWidths);
    ReadColumnWidths(ini, "lvDrvContent", layout.DrvColumnWidths);
    ReadColumnWidths(ini, "lvShellContent", layout.ShellColumnWidths);
}

void SaveSettings(TIniFile& ini, const TProgramOptions& options, const TMainLayout& layout,
                  const TWindowPlacement& placement, std::uint16_t langId) {
    TWindowPlacement stored = placement;
    stored.Length = TWindowPlacement::Size;
    ini.WriteString(OtherSettings, "Placement", stored.ToHex().toStdString());
    ini.WriteString(OtherSettings, "DefFolder", options.DefFolder.toStdString());
    ini.WriteString(OtherSettings, "FileNameMask", options.FileNameMask.toStdString());

    ini.WriteInteger(Settings, "ExpWidth", layout.ExpWidth);
    ini.WriteBool(Settings, "ExpWindow", layout.ExpWindow);
    ini.WriteInteger(Settings, "FoldersWidth", layout.FoldersWidth);
    ini.WriteBool(Settings, "FolderTree", layout.FolderTree);
    ini.WriteBool(Settings, "SyncTime", options.SyncTime);
    ini.WriteBool(Settings, "AutoDownload", options.AutoDownload);
    ini.WriteBool(Settings, "NonDownOnly", options.NonDownOnly);
    ini.WriteBool(Settings, "AutoDelete", options.AutoDelete);
    ini.WriteInteger(Settings, "ViewStyle", layout.ViewStyle);
    ini.WriteBool(Settings, "Split", options.Split);
    ini.WriteInteger(Settings, "MaxOutputSize", static_cast<std::int32_t>(options.MaxOutputSize));
    ini.WriteBool(Settings, "SkipSilence", options.SkipSilence);
    ini.WriteInteger(Settings, "LangID", langId);
    ini.WriteInteger(Settings, "ConnectType", options.ConnectType);
    for (const TFlagKey& flag : EditorAndViewFlags) {
        if (flag.Field != &TProgramOptions::SkipSilence)
            ini.WriteBool(Settings, flag.Key, options.*flag.Field);
    }
    for (const TFlagKey& flag : ExpertFlags)
        ini.WriteBool(Settings, flag.Key, options.*flag.Field);

    ini.WriteString(OtherSettings, "ImageFileName", options.ImageFileName.toStdString());
    ini.WriteInteger(Settings, "RecentCount", options.RecentCount);
    for (qsizetype i = 0; i < options.RecentFiles.size(); ++i)
        ini.WriteString(OtherSettings, RecentFileKey + std::to_string(i),
                        options.RecentFiles.at(i).toStdString());
    // Entries beyond the list would come back at the next start with a larger count.
    static const QRegularExpression recentKey(QStringLiteral("^RecentFile(\\d+)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (const std::string& key : ini.ReadSection(OtherSettings)) {
        const QRegularExpressionMatch match = recentKey.match(QString::fromStdString(key));
        bool isNumber = false;
        const qlonglong index = match.hasMatch() ? match.captured(1).toLongLong(&isNumber) : 0;
        if (match.hasMatch() && (!isNumber || index >= options.RecentFiles.size()))
            ini.DeleteKey(OtherSettings, key);
    }

    WriteColumnWidths(ini, "lvRecContent", layout.RecColumnWidths);
    WriteColumnWidths(ini, "lvDrvContent", layout.DrvColumnWidths);
    WriteColumnWidths(ini, "lvShellContent", layout.ShellColumnWidths);
}
