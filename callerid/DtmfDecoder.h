#pragma once

// DTMF: the frame classifier over the tone readings and the extraction of digits from the
// frame history (runs of one key between gaps, with a steady level).

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// A DTMF tone counts into a key only when the window's mean magnitude is below this many
// times its amplitude.
constexpr double kDtmfUsableRatio = 5.5;
// A DTMF tone is present when its amplitude exceeds this share of each neighbour's 3% away.
// A tone 1.5% off, or one whose window the tone fills only in part (the frames at a digit's
// edges, which noise would otherwise drop), stays above it; one 3.5% off falls below.
constexpr double kDtmfNeighbourShare = 0.6;

// Symbol 0 when the frame carries no key; otherwise the code table's row + 1, the row tone's
// level and whether the tone pair carries most of the frame's power.
THistoryEntry ClassifyDtmfFrame(const TNorvelState& state);

// One frame into the history and on to the extraction; digits go to the tone-digit list.
void PushDtmfFrame(TNorvelState& state, const THistoryEntry& entry);

// Digit code of a symbol (1..16): 0-9, 10-13 the keys A-D, 14 "*", 15 "#".
uint8_t DtmfSymbolCode(uint8_t symbol);

} // namespace norvel
