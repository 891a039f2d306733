#pragma once

// Per-frame symbol histories. A new entry may still replace the one before it (a one-frame
// outlier takes its predecessor's value), so only entries older than the newest are settled.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

void PushHistory(TSymbolHistory& history, const THistoryEntry& entry);
bool TakeSettledEntry(TSymbolHistory& history, THistoryEntry& entry);
// Consecutive newest entries carrying `symbol`.
int CountTrailing(const TSymbolHistory& history, uint8_t symbol);

} // namespace norvel
