#pragma once

// The two-of-six multi-frequency code: the frame classifier and the extraction of symbols
// (table rows) into the message buffer.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// Symbol 0 when the frame carries none; otherwise the code table's row + 1.
uint8_t ClassifyMfFrame(const TNorvelState& state);

// One frame into the history and on to the extraction. Three empty frames after the first
// symbol end the sequence: state 18 for a usable cycle, back to state 0 otherwise.
void PushMfFrame(TNorvelState& state, uint8_t symbol);

// Index of the start symbol within the first nine of a repeated nine-symbol cycle, or -1
// when the symbols taken form no such cycle.
int FindMfCycleStart(const TMessageBuffer& message);

// Code of a row (0..11): digits 1-9 and 0, 11 the start symbol, 10 the repeat.
uint8_t MfRowCode(uint16_t row);

} // namespace norvel
