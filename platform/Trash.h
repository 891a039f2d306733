#pragma once

#include <string>

// The user's trash laid out as freedesktop.org desktops share it: the home trash
// "$XDG_DATA_HOME/Trash" (or "~/.local/share/Trash"), created with mode 0700 when missing,
// for files on its own file system; "$topdir/.Trash/$uid" or "$topdir/.Trash-$uid" for files
// on another one. Each trashed file has an "info/NAME.trashinfo" beside "files/NAME", so file
// managers can list and restore it.

// The home trash folder, empty when neither XDG_DATA_HOME, HOME nor the password entry
// gives one.
std::string HomeTrashFolder();

// Moves path (a file or a folder) into the trash; false, with the system's error number in
// error, when no trash can take it. Nothing is ever copied: the file is renamed.
bool MoveToTrash(const std::string& path, int* error = nullptr);
