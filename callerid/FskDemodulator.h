#pragma once

// 1200 baud FSK (mark 1200 Hz, space 2200 Hz): zero-crossing period classification into a
// per-sample ring, then asynchronous byte framing of the caller-ID message.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// Period limits from b = R / 2200 and c = R / 1200 samples per period, as real numbers.
void SetUpFskThresholds(TFskDemodulator& fsk, int32_t sampleRate);

// Clears the reception data and arms the 500 ms limit; called when the carrier is recognised.
void StartFskReception(TNorvelState& state);

// State 3: the first zero crossing starts the reception (state 19).
void WaitFskCrossing(TNorvelState& state);
// State 19, once per sample.
void DemodulateFskSample(TNorvelState& state, int16_t sample);
// Once per millisecond: an unfinished reception ends at its deadline.
void CheckFskDeadline(TNorvelState& state);

// Class of a period in samples: 0 mark, 1 space, 2 neither.
uint8_t ClassifyFskPeriod(const TFskDemodulator& fsk, double period);

} // namespace norvel
