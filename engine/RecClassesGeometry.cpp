#include "engine/RecClassesGeometry.h"

#include <algorithm>

#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesSettings.h"

TFlashGeometry TFlashGeometry::FromFlashParams(std::uint8_t flashCount, std::uint16_t pagesPerBlock,
                                               std::uint16_t blocksPerFlash, std::uint16_t pageSize,
                                               std::uint16_t firstRecBlock, std::uint16_t divisor) {
    TFlashGeometry g;
    g.FlashCount = flashCount;
    g.PagesPerBlock = pagesPerBlock;
    g.BlocksPerFlash = blocksPerFlash;
    g.PageSize = pageSize;
    g.FirstRecBlock = firstRecBlock;
    if (divisor != 0 && pagesPerBlock % divisor == 0)
        g.PagesPerTransfer = static_cast<std::uint16_t>(pagesPerBlock / divisor);
    return g;
}

bool TFlashGeometry::IsValid(std::string* why) const {
    auto fail = [why](const std::string& text) {
        if (why != nullptr && why->empty())
            *why = text;
        return false;
    };
    if (FlashCount == 0 || BlocksPerFlash == 0)
        return fail("no blocks (flash count " + std::to_string(FlashCount) + ", blocks per flash " +
                    std::to_string(BlocksPerFlash) + ")");
    if (PageSize < MinPageSize || PageSize > MaxPageSize)
        return fail("page size " + std::to_string(PageSize) + " out of range");
    if (PagesPerBlock < MinPagesPerBlock || PagesPerBlock > MaxPagesPerBlock)
        return fail("pages per block " + std::to_string(PagesPerBlock) + " out of range");
    if (BlockSize() > MaxBlockSize)
        return fail("block size " + std::to_string(BlockSize()) + " too large");
    if (PagesPerTransfer == 0 || PagesPerTransfer > PagesPerBlock ||
        PagesPerBlock % PagesPerTransfer != 0)
        return fail("pages per transfer " + std::to_string(PagesPerTransfer) + " unusable");
    if (TotalBlocks() > MaxTotalBlocks)
        return fail("block count " + std::to_string(TotalBlocks()) + " too large");
    if (std::uint64_t{TotalBlocks()} * PagesPerBlock > 0xFFFFFFFFull)
        return fail("page addresses overflow");
    if (FirstRecBlock >= TotalBlocks())
        return fail("first recording block " + std::to_string(FirstRecBlock) +
                    " past the last block");
    return true;
}

std::int64_t SoundDataPerBlock(const TFlashGeometry& g, std::uint8_t type, std::uint8_t param) {
    const std::int64_t blockSize = g.BlockSize();
    const std::int64_t pages = g.PagesPerBlock;
    std::int64_t bytes = 0;
    switch (type) {
    case CompressNone:
        bytes = blockSize - 64 - 2 * pages;
        break;
    case CompressULaw:
        bytes = (blockSize - 64 - 2 * pages) * 2;
        break;
    case CompressAdpcm:
        bytes = (blockSize - 64 - 4 * pages + 2) * (param == AdpcmParam2Bit ? 8 : 4);
        break;
    default:
        return 0;
    }
    return std::max<std::int64_t>(bytes, 0);
}

long double CalcSecondsPerBlock(const TFlashGeometry& g, std::uint16_t channels,
                                std::uint8_t rateCode, std::uint8_t param, std::uint8_t type) {
    const long double bytesPerSecond =
        static_cast<long double>(RateCodeToHz(rateCode)) * 2 * std::max<std::uint16_t>(channels, 1);
    return static_cast<long double>(SoundDataPerBlock(g, type, param)) / bytesPerSecond;
}
