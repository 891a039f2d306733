#pragma once

// The analysis every 10 ms: in state 0 the request-tone and carrier flags and the DTMF frame,
// in state 2 the multi-frequency frame; and the state changes they bring.

#include "callerid/private/NorvelState.h"

namespace norvel {

void RunToneAnalysis(TNorvelState& state);

// Back to state 0 with the histories and the message buffer cleared; digits are kept.
void ReturnToIdle(TNorvelState& state);

// A reception that listened behind state 0 has taken the first byte of a message: state 19.
void CommitFskReception(TNorvelState& state);

} // namespace norvel
