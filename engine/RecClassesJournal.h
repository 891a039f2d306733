#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/RecClassesBlocks.h"

// The copy of a first physical block that a status change keeps on disk while the block is
// erased and written again: written and flushed before the erase, removed once the block
// verifies. A copy still there at the next connection means the rewrite was cut off (the
// adapter unplugged, the program killed); the block is then written back from it.

// The program's data folder, where the copies live. The UI sets the folder of its platform at
// start; before that it is $XDG_DATA_HOME/Quorvex (or ~/.local/share/Quorvex).
void SetRecorderDataFolder(const std::string& folder);
std::string RecorderDataFolder();

struct TBlockJournal {
    // Whose block: the recorder's serial number, and for the image kinds the image file too,
    // as every image answers with the same serial number.
    std::string RecorderKey;
    std::uint32_t Block = 0; // the recording's first block
    std::uint32_t PhysicalBlock = 0;
    std::uint32_t FirstPage = 0;
    std::uint32_t Pages = 0;
    std::uint32_t PageSize = 0;
    TBlockHeader OldHeader;
    TBlockHeader NewHeader;
    std::vector<std::uint8_t> Bytes; // Pages x PageSize, as read before the change
};

// Where the copy of the block of the recorder goes.
std::string BlockJournalPath(const std::string& recorderKey, std::uint32_t block);
// Writes the copy under a temporary name, flushes it and renames it into place; false (with
// the system's reason) when it is not safely on disk.
bool WriteBlockJournal(const TBlockJournal& journal, std::string& whyNot);
// The copy in the file, or nothing for a file that is not a whole copy.
std::optional<TBlockJournal> ReadBlockJournal(const std::string& path);
bool RemoveBlockJournal(const std::string& path);
// The copies kept for the recorder, oldest block first. Temporaries that a run cut off before
// the rename left behind are removed.
std::vector<std::string> BlockJournalsOf(const std::string& recorderKey);
