#pragma once

// The status record handed to the program: the digit group (DTMF or pulse) and the message
// group (FSK caller-ID data or the multi-frequency number).

#include "callerid/Norvel.h"
#include "callerid/private/NorvelState.h"

namespace norvel {

// Fills all 128 words; nothing is written past them, long groups are clipped to fit.
void FillCallerIdStatus(const TNorvelState& state, TCallerIdStatus& record);

} // namespace norvel
