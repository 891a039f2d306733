// The upload's page encoder: geometry, codec and rate from the input, then its samples
// encoded page by page. A block's first page keeps its header area.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/RecClassesGeometry.h"
#include "engine/RecClassesWrite.h"

namespace {

constexpr std::uint32_t RatesHz[] = {40000, 20000, 13333, 8000, 4000, 16000};
constexpr std::size_t HeaderArea = 64;

std::uint16_t Word(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t Setup = 8;
    if (size < Setup)
        return 0;
    // Page sizes up to 8 KiB keep one input's work small.
    const TFlashGeometry geometry = TFlashGeometry::FromFlashParams(
        1, Word(data), 16, static_cast<std::uint16_t>(Word(data + 2) % 8192), 1, 1);
    if (!geometry.IsValid())
        return 0;
    const std::uint8_t type = data[4] % 4;
    const std::uint8_t param = data[5] % 8;
    const std::uint32_t rate = RatesHz[data[6] % 6];
    const bool firstPages = data[7] & 1;
    try {
        const TUploadPageEncoder encoder(geometry, type, param, rate);
        std::vector<std::int16_t> samples((size - Setup) / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(Word(data + Setup + 2 * i));
        std::vector<std::uint8_t> page(geometry.PageSize);
        std::span<const std::int16_t> left(samples);
        for (int pages = 0; pages < 64; ++pages) {
            const bool first = firstPages || pages % geometry.PagesPerBlock == 0;
            const std::size_t take = std::min(left.size(), encoder.SamplesOfPage(first));
            std::fill(page.begin(), page.end(), 0xFF);
            const bool ends = take == left.size();
            encoder.EncodePage(left.first(take), first, ends, page.data());
            if (first && !std::all_of(page.begin(), page.begin() + HeaderArea,
                                      [](std::uint8_t b) { return b == 0xFF; }))
                std::abort(); // the block header was overwritten
            left = left.subspan(take);
            if (ends)
                break;
        }
        encoder.BlocksFor(samples.size());
    } catch (const EUploadRefused&) {
        // a codec the recorder cannot store is refused, as it must be
    }
    return 0;
}
