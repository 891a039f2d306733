#include <stdexcept>

#include "engine/RecClasses.h"
#include "engine/RecClassesUtils.h"
#include "platform/ByteOrder.h"

namespace {

[[noreturn]] void NoGeometry(std::uint8_t command) {
    throw TERecXchange(LangText("FlashGeometryBadStr"), command, RecErrInSize);
}

} // namespace

void TRecorder::FlashRead(std::uint8_t* host, std::uint32_t firstPage, std::uint32_t units,
                          std::uint32_t pageStep, std::uint16_t unitSize, std::uint16_t offset) {
    if (!GeometryValid)
        NoGeometry(CmdFlashRead);
    if (units == 0)
        return;
    const TFlashGeometry& g = FlashGeometry;
    const std::uint64_t lastPage = firstPage + std::uint64_t{units - 1} * pageStep;
    if (unitSize == 0 || std::uint32_t{offset} + unitSize > g.PageSize || pageStep > 0xFFFF ||
        lastPage >= std::uint64_t{g.TotalBlocks()} * g.PagesPerBlock)
        throw std::out_of_range("flash read outside the flash");
    // Each request moves at most one transfer of bytes.
    const std::uint32_t unitsPerRequest = g.TransferBytes() / unitSize;
    std::uint32_t page = firstPage;
    while (units > 0) {
        const std::uint32_t n = std::min(units, unitsPerRequest);
        TFlashReadRequest request;
        request.HostBuffer = host;
        request.PageAddr = page;
        request.Cycles = n;
        request.Count = unitSize;
        request.Offset = offset;
        request.AddrInc = static_cast<std::uint16_t>(pageStep);
        Exchange(CmdFlashRead, &request, sizeof request, nullptr, 0);
        host += std::size_t{n} * unitSize;
        page += n * pageStep;
        units -= n;
    }
}

void TRecorder::FlashReadBlock(std::uint32_t block, std::uint8_t* buffer) {
    FlashRead(buffer, block * FlashGeometry.PagesPerBlock, FlashGeometry.PagesPerBlock, 1,
              FlashGeometry.PageSize, 0);
}

void TRecorder::FlashReadUnit(std::uint32_t page, std::uint16_t size, std::uint8_t* buffer) {
    FlashRead(buffer, page, 1, 1, size, 0);
}

int TRecorder::FlashWritePages(const std::uint8_t* data, std::uint32_t page, std::uint32_t count) {
    if (!GeometryValid)
        NoGeometry(CmdFlashWrite);
    const TFlashGeometry& g = FlashGeometry;
    if (std::uint64_t{page} + count > std::uint64_t{g.TotalBlocks()} * g.PagesPerBlock)
        throw std::out_of_range("flash write outside the flash");
    TFlashWriteRequest request;
    request.Data = data;
    request.PageAddr = page;
    request.Cycles = count;
    request.TotalCount = count * g.PageSize;
    Exchange(CmdFlashWrite, &request, sizeof request, nullptr, 0);
    return RecErrSuccess;
}

int TRecorder::FlashWriteBlock(std::uint16_t block, const std::uint8_t* data) {
    return FlashWritePages(data, std::uint32_t{block} * FlashGeometry.PagesPerBlock,
                           FlashGeometry.PagesPerBlock);
}

bool TRecorder::FlashEraseBlock(std::uint32_t block) {
    std::uint8_t reply[TBlockNumberRecord::Size] = {};
    Exchange(CmdEraseBlock, TBlockNumberRecord{block}.ToBytes().data(), TBlockNumberRecord::Size,
             reply, TBlockNumberRecord::Size);
    return true;
}

void TRecorder::ReadBlockHeaders(std::uint32_t count, std::uint32_t first, TBlockHeader* target) {
    std::vector<std::uint8_t> areas(std::size_t{count} * HeaderAreaSize);
    FlashRead(areas.data(), first * FlashGeometry.PagesPerBlock, count, FlashGeometry.PagesPerBlock,
              HeaderAreaSize, 0);
    std::uint8_t voted[TBlockHeader::Size];
    for (std::uint32_t i = 0; i < count; ++i) {
        VoteTripleCopy(&areas[std::size_t{i} * HeaderAreaSize], voted, TBlockHeader::Size);
        target[i] = TBlockHeader::FromBytes(voted);
    }
}
