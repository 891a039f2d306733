#include <algorithm>
#include <span>

#include "audio/Codecsfunc.h"
#include "engine/RecClasses.h"
#include "platform/ByteOrder.h"

namespace {

void AppendSamples(std::vector<std::uint8_t>& out, std::span<const std::int16_t> samples) {
    const std::size_t at = out.size();
    out.resize(at + 2 * samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        PutI16(&out[at + 2 * i], samples[i]);
}

// Zeroes the run's trailing 0xFFFF words, at most one page's worth: the unwritten end of a
// recording reads as all ones and must not decode into noise.
void TrimTrailingOnes(std::uint8_t* pages, std::size_t bytes, std::size_t pageSize) {
    std::size_t words = bytes / 2;
    for (std::size_t n = 0; n < pageSize / 2 && words > 0; ++n, --words) {
        std::uint8_t* word = pages + 2 * (words - 1);
        if (word[0] != 0xFF || word[1] != 0xFF)
            break;
        word[0] = word[1] = 0;
    }
}

} // namespace

std::vector<std::uint8_t> TRecorder::DecodePages(const TBlockHeader& header,
                                                 [[maybe_unused]] bool atBlockStart,
                                                 std::uint32_t pageCount, std::uint8_t* pages,
                                                 std::uint32_t firstOffset, bool trim) const {
    std::vector<std::uint8_t> out;
    if (pageCount == 0 || pages == nullptr || !GeometryValid)
        return out;
    const std::size_t pageSize = FlashGeometry.PageSize;
    const std::size_t soundEnd = pageSize - PageInfoSize; // the page-information word is no sound
    if (trim)
        TrimTrailingOnes(pages, pageCount * pageSize, pageSize);
    // Where each page's sound starts: the given offset on the run's first page (whatever the
    // codec), the fixed start of later pages otherwise.
    auto soundOf = [&](std::uint32_t page, std::size_t laterStart) {
        const std::size_t start =
            std::min<std::size_t>(page == 0 ? firstOffset : laterStart, soundEnd);
        return std::span<const std::uint8_t>(pages + page * pageSize + start, soundEnd - start);
    };
    std::vector<std::int16_t> samples;
    switch (header.CompressionType()) {
    case CompressNone:
        for (std::uint32_t p = 0; p < pageCount; ++p) {
            const auto bytes = soundOf(p, 0);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
        break;
    case CompressULaw: {
        const std::uint16_t perBlock = CompandSamplesPerBlock(RateCodeToHz(header.RateCode()));
        for (std::uint32_t p = 0; p < pageCount; ++p) {
            const auto bytes = soundOf(p, 0);
            samples.resize(bytes.size());
            const TCodecRun run = CompandDecodePage(bytes, perBlock, samples);
            AppendSamples(out, std::span(samples.data(), run.Produced));
        }
        break;
    }
    case CompressAdpcm: {
        const bool twoBit = header.CompressionParam() == AdpcmParam2Bit;
        for (std::uint32_t p = 0; p < pageCount; ++p) {
            // Bytes 0-1 of a page's sound hold its first sample in plain form, not codes.
            const auto codes = soundOf(p, 2);
            samples.resize(codes.size() * (twoBit ? 4 : 2));
            TAdpcmState state; // every page decodes by itself
            const std::size_t n = twoBit ? Adpcm2DecodeRun(codes, state, samples)
                                         : ImaAdpcmDecode4Run(codes, state, samples);
            AppendSamples(out, std::span(samples.data(), n));
        }
        break;
    }
    default:
        break;
    }
    return out;
}
