#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/Utcrc.h"
#include "audio/Wavefunc.h"
#include "platform/SystemTime.h"

// random(n): a number from 0 to n - 1, 0 for n = 0.
using TMarkRandom = std::function<std::uint32_t(std::uint32_t n)>;

// A source seeded from the current time, as each part's mark stream gets.
TMarkRandom MakeTimeSeededMarkRandom();

// The mark configuration of one part of a download:
//   identity = the recorder's serial number (8-bit text, cut to 20), flags 3,
//   record time = the add-info's recording time as seconds since 1970 (0 without add-info),
//   rate, channels and bits from the format, byte A = source compression, B = uploaded flag,
//   tone 1: 5.00 to 14.00 Hz, amplitude 80; with h = rate / 2: tone 2 from h - 450 to
//   h - 250 Hz and tone 3 from h - 245 to h - 50 Hz, amplitude 6, in steps of 0.01 Hz.
TMarkConfig MakeWatermarkConfig(const TWaveFile& wave, std::uint8_t sourceCompression,
                                std::uint8_t uploaded, const std::string& serialNumber,
                                const TMarkRandom& random);

// Starts the mark stream of a new part with that configuration.
void SetupWatermark(const TWaveFile& wave, std::uint8_t sourceCompression, std::uint8_t uploaded,
                    const std::string& serialNumber, const TMarkRandom& random);

// Seconds since 1970-01-01 00:00 of the same wall clock; 0 before 1970 or for a time that is
// not a calendar time, the largest value past 2106.
std::uint32_t SystemTimeToMarkSeconds(const TSystemTime& time);
