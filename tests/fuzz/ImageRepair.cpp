#include "ImageRepair.h"

#include <algorithm>
#include <cstring>

#include "link/Crc16.h"
#include "link/ImageFile.h"
#include "platform/ByteOrder.h"

namespace fuzz {

namespace {

constexpr std::size_t HeaderCopies = 3;
constexpr std::size_t HeaderBytes = 20;
constexpr std::size_t HeaderCrcOfs = 18;
constexpr std::uint16_t HeaderCrcStart = 0xAB;
constexpr std::size_t TablePageBytes = 512;
constexpr std::size_t TableEntriesPerPage = TablePageBytes / 2;

std::size_t FindMagic(const std::uint8_t* data, std::size_t size, std::size_t limit) {
    const std::size_t end = std::min(size, limit);
    for (std::size_t at = ImageHeaderSize; at + ImageMagic.size() <= end; ++at)
        if (std::memcmp(data + at, ImageMagic.data(), ImageMagic.size()) == 0)
            return at;
    return 0;
}

void RepairBlockHeaders(std::uint8_t* block) {
    for (std::size_t copy = 0; copy < HeaderCopies; ++copy) {
        std::uint8_t* header = block + copy * HeaderBytes;
        if (std::all_of(header, header + HeaderBytes, [](std::uint8_t b) { return b == 0xFF; }))
            continue; // an erased block stays erased
        PutU16(header + HeaderCrcOfs, Crc16Update(header, HeaderCrcOfs, HeaderCrcStart));
    }
}

void RepairTable(std::uint8_t* data, std::size_t size, std::size_t dataStart, std::size_t pageSize,
                 std::uint64_t entries) {
    const std::uint64_t pages = (entries + TableEntriesPerPage - 1) / TableEntriesPerPage;
    const std::uint64_t crcAt = dataStart + (pages + 1) * pageSize;
    if (crcAt + 2 > size)
        return;
    std::uint16_t crc = Crc16Update(ImageMagic.data(), ImageMagic.size(), 0);
    std::uint64_t left = 2 * entries;
    for (std::uint64_t p = 0; p < pages && left > 0; ++p) {
        const std::uint64_t n = std::min<std::uint64_t>(left, TablePageBytes);
        crc =
            Crc16Update(data + dataStart + (p + 1) * pageSize, static_cast<std::uint32_t>(n), crc);
        left -= n;
    }
    PutU16(data + crcAt, crc);
}

} // namespace

void RepairImageChecks(std::uint8_t* data, std::size_t size) {
    if (size < ImageHeaderSize)
        return;
    const std::size_t pageSize = GetU16(data + ImgPageSizeOfs);
    const std::size_t pagesPerBlock = GetU16(data + ImgPagesPerBlockOfs);
    const std::uint64_t firstStored = GetU32(data + ImgFirstStoredBlockOfs);
    const std::size_t blockSize = pageSize * pagesPerBlock;
    if (pageSize >= TablePageBytes && pagesPerBlock > 0) {
        std::size_t dataStart = FindMagic(data, size, ImageHeaderSize + 2 * blockSize);
        if (dataStart == 0 && pageSize >= ImageHeaderSize && pageSize + 4 <= size) {
            dataStart = pageSize;
            std::memcpy(data + dataStart, ImageMagic.data(), ImageMagic.size());
        }
        if (dataStart != 0 && dataStart + blockSize <= size) {
            const std::size_t stored = (size - dataStart) / blockSize;
            // The first stored block holds the table; the others may hold recordings.
            for (std::size_t i = 1; i < stored; ++i)
                RepairBlockHeaders(data + dataStart + i * blockSize);
            RepairTable(data, size, dataStart, pageSize, stored + firstStored);
        }
    }
    TImageHeader header;
    std::memcpy(header.data(), data, header.size());
    PutU16(data + ImgCrcOfs, ImageHeaderCrc(header));
}

} // namespace fuzz
