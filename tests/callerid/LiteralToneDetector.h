#pragma once

// The tone correlator read literally: every 10 ms walk back 16 periods sample by sample.
// The reference the library's restructured correlator must agree with, and the baseline of
// its benchmark.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "callerid/private/NorvelState.h"

namespace norvel_test {

// `history` ends with the newest sample; samples before its start count as 0. With a
// `centreSpan`, each window ends (centreSpan - its length) / 2 samples before the newest.
norvel::TToneReading LiteralDetectTone(const std::vector<int16_t>& history, size_t newest,
                                       uint32_t frequency, int32_t sampleRate,
                                       int64_t centreSpan = 0);

} // namespace norvel_test
