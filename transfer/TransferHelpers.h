#pragma once

#include <string>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangReasons.h"
#include "transfer/FileTree.h"

// Small text and path helpers the transfer batches share.
namespace transfer {

inline std::string Text(const char* constantName) {
    return GetLangConstant(constantName);
}

// The file's name without its folder.
inline std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The reason for an error number in the current language ("No space left on device").
inline std::string SystemErrorText(int error) {
    return SystemReasonText(error);
}

// "<constant> <file name>", a line break and the system's reason: the form of every message
// about a PC file that could not be created or written.
inline std::string FileProblemText(const char* constantName, const std::string& path, int error) {
    return Text(constantName) + " " + BaseName(path) + "\n" + SystemErrorText(error);
}

// The recorder's name of an entry below the shown drive folder: "docs\inner\b.txt".
inline std::string DriveNameBelow(const std::string& shownFolder, const std::string& relative) {
    std::string folder = TrimBackslashes(shownFolder);
    if (!folder.empty())
        folder += '\\';
    return folder + relative;
}

// A drive-list entry's path below the shown folder: "inner\b.txt".
inline std::string RelativeDriveName(const TFileListItem& entry) {
    std::string relative = TrimBackslashes(entry.FolderPath);
    if (!relative.empty())
        relative += '\\';
    return relative + entry.Name;
}

} // namespace transfer
