#pragma once

// Per-frame symbols: the tables that name a frame's tones as a symbol, and the histories. A new
// entry may still replace the one before it (a one-frame outlier takes its predecessor's
// value), so only entries older than the newest are settled.

#include <cstdint>
#include <span>

#include "callerid/private/NorvelState.h"

namespace norvel {

// One row of a symbol table: the mask of the row's tones and the code the symbol stands for.
// A row's symbol is its index + 1, so that 0 stays "no symbol".
struct TMaskCode {
    uint8_t Mask;
    uint8_t Code;
};
// The symbol of the row whose tones are `mask`, or 0.
uint8_t SymbolOfMask(std::span<const TMaskCode> table, uint8_t mask);

void PushHistory(TSymbolHistory& history, const THistoryEntry& entry);
bool TakeSettledEntry(TSymbolHistory& history, THistoryEntry& entry);
// Consecutive newest entries carrying `symbol`.
int CountTrailing(const TSymbolHistory& history, uint8_t symbol);

} // namespace norvel
