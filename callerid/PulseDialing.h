#pragma once

// Pulse dialling: loop interruptions show as sharp clicks; the 40 ms make and 60 ms break
// rhythm between them gives the pulses, and the pulses of a train give a digit.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// State 0, once per sample: opens, follows and closes clicks.
void DetectClick(TNorvelState& state, int16_t sample);
// Once per millisecond: commits a click that stayed alone through the lockout; in pulse mode,
// a train ends when no click came for a break interval.
void CheckPulseTimeout(TNorvelState& state);

// Stores a closed click and runs the train search or the pulse counting on it.
void CommitClick(TNorvelState& state, const TClick& click);

TClickReference SetClickReference(const TClick& click);
bool MatchClick(const TClickReference& reference, const TClick& click);

} // namespace norvel
