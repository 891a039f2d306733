#pragma once

// 1200 baud FSK (mark 1200 Hz, space 2200 Hz): each sample classed by correlating the last
// bit's worth of audio with both tones (a matched, band-limiting filter), the classes kept
// in a per-sample ring, then asynchronous byte framing of the caller-ID message.

#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// Period limits from b = R / 2200 and c = R / 1200 samples per period, as real numbers.
void SetUpFskThresholds(TFskDemodulator& fsk, int32_t sampleRate);

// Clears the reception data and arms the 500 ms limit; called when the carrier is recognised.
// In the background the decoder stays in state 0 until the first byte of a message arrives.
void StartFskReception(TNorvelState& state, bool background);
void StopFskReception(TFskDemodulator& fsk);

// Once per sample while listening: the first zero crossing (state 3 to 19), the sample's
// class and byte framing.
void RunFskSample(TNorvelState& state, int16_t sample);
// Once per millisecond: an unfinished reception ends at its deadline.
void CheckFskDeadline(TNorvelState& state);

// Class of a zero-crossing period in samples: 0 mark, 1 space, 2 neither.
uint8_t ClassifyFskPeriod(const TFskDemodulator& fsk, double period);

} // namespace norvel
