#pragma once

#include <cstddef>

// Smooths single-sample spikes in interleaved 16-bit little-endian samples, each channel on
// its own: a sample that stands out from both neighbours by more than twice their own step
// becomes their mean. The first two and last two samples of each channel stay as they are.
void FilterSpikes(unsigned char* samples16, std::size_t sampleCount, unsigned channels);
