#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/RecClassesSettings.h"
#include "platform/CodePage.h"

class TRecorderUi;

// Recording-profile files (".rpr", and the factory-default ".def"): the eight profiles of a
// settings record as an INI file, with the recorder models the file is meant for.
//
//   [Recorder model]
//   Model=9, 12
//   [Profile 1]
//   Name=Phone
//   Sample Rate=3
//   ...
//
// The files are often written by hand, so reading follows the Windows profile functions
// (keys in any case, blanks around "=", quoted values). A key that is missing, or holds no
// number, keeps its field; a number is stored truncated to the field's width, unchecked, so
// that whatever a recorder holds comes back from its file byte for byte. The settings
// dialog limits the values at its own controls.

// The program's own folder (that of the running executable), without a trailing "/".
std::string ProgramFolder();

// The folder, a "/" when it does not end in one, and the current text of "RecFilePrefixStr".
// A text that is no plain file name ("", ".", "..", or holding "/") is replaced by the
// built-in "OMVela", so a language file cannot point the program elsewhere.
std::string RecFilePrefixPath(const std::string& programFolder);
// The same with the prefix text given.
std::string RecFilePrefixPath(const std::string& programFolder, const std::string& prefixText);

// The file names derived from a prefix path: the factory-default profile has its extension
// replaced by ".def"; the preset files have any extension removed and an ending added.
std::string DefaultProfileFileName(const std::string& prefixPath);
std::string QualityPresetFileName(const std::string& prefixPath); // "_req.ini"
std::string VasPresetFileName(const std::string& prefixPath);     // "_vas.ini"
std::string AmpPresetFileName(const std::string& prefixPath);     // "_amp.ini"

// Whether a "Model" value names the model: items separated by ",", each trimmed and read
// as an integer; an item that is no number names no model.
bool ModelListNames(std::string_view modelList, int model);

enum class TProfileFileError {
    None,
    CannotRead, // missing, not a regular file, or unreadable
    WrongModel, // "Model" is missing, empty, or does not name the recorder's model
};

// What reading a profile file found; Section, Key and Value name the refused entry.
struct TProfileFileResult {
    TProfileFileError Error = TProfileFileError::None;
    std::string Section;
    std::string Key;
    std::string Value;

    bool Ok() const { return Error == TProfileFileError::None; }
};

// Reads the profiles of the file into settings; on an error settings is left unchanged.
// Names are converted to the given ANSI code page and cut to 8 bytes; a profile without its
// section or "Name" gets an empty name.
TProfileFileResult ReadProfileFile(const std::string& fileName, TRecSettings& settings,
                                   std::uint8_t model, unsigned codePage = SystemCodePage);

// ReadProfileFile, telling the user when the file is refused: "ErrorLoadProfileStr" when it
// cannot be read, "InvalidProfileFmtStr" when it is not for this model.
bool LoadProfileFile(const std::string& fileName, TRecSettings& settings, std::uint8_t model,
                     TRecorderUi& ui, unsigned codePage = SystemCodePage);

// Loads the factory-default profile beside the program when it exists; false when it does
// not (nothing is shown then) or when it was refused.
bool LoadDefaultProfile(const std::string& prefixPath, TRecSettings& settings, std::uint8_t model,
                        TRecorderUi& ui, unsigned codePage = SystemCodePage);

// Writes the model and the eight profiles into a new file that replaces an existing one
// only once it is complete; false, with the old file untouched, when anything fails.
bool SaveProfileFile(const std::string& fileName, const TRecSettings& settings, std::uint8_t model,
                     unsigned codePage = SystemCodePage);

// SaveProfileFile, telling the user with "ErrorSaveProfileStr" when it fails.
bool SaveProfileFile(const std::string& fileName, const TRecSettings& settings, std::uint8_t model,
                     TRecorderUi& ui, unsigned codePage = SystemCodePage);
