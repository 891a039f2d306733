#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/SystemTime.h"

// One file or folder of a flat folder tree. Folder paths use "\" and are relative to the
// list's root, beginning and ending with "\" ("\" for the root itself).
struct TFileListItem {
    std::string Name;
    // Bytes for a file; for a folder the scan entered, the entries found directly inside.
    std::int64_t Size = 0;
    TSystemTime Time; // last write, local time
    std::uint8_t IsFolder = 0;
    std::string FolderPath;
    std::uint32_t DataLink = 0; // 0 for PC entries; the recorder-side file for drive entries
};

// Fills the target with the folder tree below root (the root folder itself first, then each
// folder's entries in the order the file system gives them) and returns the total size of all
// files in it. No target: nothing happens and the result is 0.
std::int64_t ScanFolderTree(const std::string& root, std::vector<TFileListItem>* target);

// Every leading and trailing "\" removed; those inside stay.
std::string TrimBackslashes(const std::string& text);
// "\" appended unless the text ends with one; the empty text becomes "\".
std::string AddBackslash(const std::string& text);
