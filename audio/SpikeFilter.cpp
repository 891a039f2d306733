#include "audio/SpikeFilter.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ByteOrder.h"
#include "platform/TargetClones.h"

namespace {

inline bool IsSpike(int xm2, int xm1, int x0, int xp1, int xp2) {
    return std::abs(x0 - xp1) > 2 * std::abs(xp1 - xp2) &&
           std::abs(x0 - xm1) > 2 * std::abs(xm1 - xm2);
}

// The test of every sample against its neighbours as they were, with no dependence between
// samples, so it runs in vector registers (AVX2 where the machine has it).
QUORVEX_CLONE_FOR_AVX2 void FindCandidates(const std::int16_t* x, std::size_t count,
                                           std::uint8_t* candidate) {
    for (std::size_t i = 2; i + 2 < count; ++i) {
        const int xm2 = x[i - 2], xm1 = x[i - 1], x0 = x[i], xp1 = x[i + 1], xp2 = x[i + 2];
        candidate[i] = static_cast<std::uint8_t>((std::abs(x0 - xp1) > 2 * std::abs(xp1 - xp2)) &
                                                 (std::abs(x0 - xm1) > 2 * std::abs(xm1 - xm2)));
    }
}

// Samples are smoothed in order, and a smoothed sample is what its right neighbours see. Only
// the two samples after a smoothed one can come out differently from the first test.
// Changed samples are also stored at once into the caller's interleaved buffer.
void SmoothInOrder(std::int16_t* x, std::size_t count, const std::uint8_t* candidate,
                   unsigned char* out, std::size_t strideBytes) {
    auto smooth = [&](std::size_t i) {
        x[i] = static_cast<std::int16_t>((x[i - 1] + x[i + 1]) / 2); // truncates toward 0
        PutI16(out + i * strideBytes, x[i]);
    };
    int recheck = 0;
    std::size_t i = 2;
    while (i + 2 < count) {
        if (recheck == 0) {
            // Clean audio has few candidates: skip eight at a time.
            std::uint64_t eight;
            if (i + 10 <= count) {
                std::memcpy(&eight, candidate + i, sizeof eight);
                if (eight == 0) {
                    i += 8;
                    continue;
                }
            }
            if (!candidate[i]) {
                ++i;
                continue;
            }
            smooth(i);
            recheck = 2;
        } else {
            --recheck;
            if (IsSpike(x[i - 2], x[i - 1], x[i], x[i + 1], x[i + 2])) {
                smooth(i);
                recheck = 2;
            }
        }
        ++i;
    }
}

void FilterChannel(unsigned char* first, std::size_t count, std::size_t strideBytes) {
    if (count < 5)
        return;
    thread_local std::vector<std::int16_t> samples;
    thread_local std::vector<std::uint8_t> candidates;
    samples.resize(count);
    candidates.assign(count, 0);
    // Plain pointers: the byte stores below could otherwise stand for the vectors' own.
    std::int16_t* x = samples.data();
    std::uint8_t* flags = candidates.data();
    if (std::endian::native == std::endian::little && strideBytes == 2)
        std::memcpy(x, first, 2 * count);
    else
        for (std::size_t i = 0; i < count; ++i)
            x[i] = GetI16(first + i * strideBytes);
    FindCandidates(x, count, flags);
    SmoothInOrder(x, count, flags, first, strideBytes);
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
