#include "callerid/SymbolHistory.h"

#include <cstddef>

namespace norvel {

uint8_t SymbolOfMask(std::span<const TMaskCode> table, uint8_t mask) {
    for (size_t row = 0; row < table.size(); ++row) {
        if (table[row].Mask == mask) {
            return static_cast<uint8_t>(row + 1);
        }
    }
    return 0;
}

void PushHistory(TSymbolHistory& history, const THistoryEntry& entry) {
    const uint8_t newest = history.Write & kHistoryMask;
    history.Entries[newest] = entry;
    history.Write = static_cast<uint8_t>((history.Write + 1) & kHistoryMask);
    THistoryEntry& previous = history.Entries[(newest - 1) & kHistoryMask];
    const THistoryEntry& before = history.Entries[(newest - 2) & kHistoryMask];
    // A copy is no source for the next one: in noise, frames that alternate between nothing
    // and stray symbols would otherwise carry a digit on across the gap after it.
    if (before.Symbol != previous.Symbol && previous.Symbol != entry.Symbol && !before.Smoothed) {
        const int64_t end = previous.End;
        previous = before;
        previous.Smoothed = true;
        previous.End = end;
    }
}

bool TakeSettledEntry(TSymbolHistory& history, THistoryEntry& entry) {
    const uint8_t newest = (history.Write - 1) & kHistoryMask;
    if (history.Read == newest) {
        return false;
    }
    entry = history.Entries[history.Read];
    history.Read = static_cast<uint8_t>((history.Read + 1) & kHistoryMask);
    return true;
}

int CountTrailing(const TSymbolHistory& history, uint8_t symbol) {
    int count = 0;
    uint8_t index = history.Write;
    while (count < kHistorySize) {
        index = (index - 1) & kHistoryMask;
        if (history.Entries[index].Symbol != symbol) {
            break;
        }
        ++count;
    }
    return count;
}

} // namespace norvel
