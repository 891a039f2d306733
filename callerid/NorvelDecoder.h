#pragma once

// The per-sample work behind the exports: sample ring, millisecond clock, and the dispatch
// to the tone analysis, the FSK demodulator and the pulse decoder.

#include <cstddef>
#include <cstdint>

#include "callerid/private/NorvelState.h"

namespace norvel {

// Clears everything and configures for `sampleRate`. A rate outside 4000..40000 gives 1 and
// leaves the decoder cleared and unconfigured, so that it ignores samples.
int16_t ResetDecoder(TNorvelState& state, int32_t sampleRate);

void ProcessSamples(TNorvelState& state, const int16_t* samples, size_t count);

} // namespace norvel
