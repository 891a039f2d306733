#include "audio/SpikeFilter.h"

#include <cstdlib>

#include "platform/ByteOrder.h"

namespace {

void FilterChannel(unsigned char* first, std::size_t count, std::size_t strideBytes) {
    if (count < 5)
        return;
    auto at = [&](std::size_t i) { return first + i * strideBytes; };
    // A window over x[i-2] .. x[i+2]; a changed x[i] is what x[i-1] is at the next step.
    int xm2 = GetI16(at(0)), xm1 = GetI16(at(1)), x0 = GetI16(at(2)), xp1 = GetI16(at(3));
    for (std::size_t i = 2; i + 2 < count; ++i) {
        const int xp2 = GetI16(at(i + 2));
        if (std::abs(x0 - xp1) > 2 * std::abs(xp1 - xp2) &&
            std::abs(x0 - xm1) > 2 * std::abs(xm1 - xm2)) {
            x0 = (xm1 + xp1) / 2; // truncates toward zero
            PutI16(at(i), static_cast<std::int16_t>(x0));
        }
        xm2 = xm1;
        xm1 = x0;
        x0 = xp1;
        xp1 = xp2;
    }
}

} // namespace

void FilterSpikes(unsigned char* samples16, std::size_t sampleCount, unsigned channels) {
    if (samples16 == nullptr || channels == 0)
        return;
    for (unsigned c = 0; c < channels && c < sampleCount; ++c) {
        const std::size_t count = (sampleCount - c + channels - 1) / channels;
        FilterChannel(samples16 + 2 * c, count, 2u * channels);
    }
}
