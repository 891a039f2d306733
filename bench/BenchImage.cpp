#include "bench/BenchImage.h"

#include <algorithm>
#include <iterator>

#include "engine/RecClassesBlocks.h"
#include "link/Crc16.h"
#include "platform/ByteOrder.h"

TImageHeader MakeBenchImageHeader(std::uint16_t pageSize, std::uint16_t pagesPerBlock) {
    TImageHeader header;
    header.fill(0xFF);
    PutU16(&header[ImgFirstRecBlockOfs], 1);
    PutU16(&header[ImgPageSizeOfs], pageSize);
    PutU16(&header[ImgPagesPerBlockOfs], pagesPerBlock);
    PutU32(&header[ImgFirstStoredBlockOfs], 0);
    FillDefaultImageSettings(header);
    PutU16(&header[ImgTableVersionOfs], 10);
    PutU16(&header[ImgCrcOfs], ImageHeaderCrc(header));
    return header;
}

void PutBenchBlockHeader(std::uint8_t* area, std::uint16_t number, std::uint32_t time,
                         std::uint16_t index, std::uint8_t type, std::uint8_t param) {
    std::uint8_t h[TBlockHeader::Size];
    std::fill(std::begin(h), std::end(h), 0xFF);
    PutU16(h, number);
    PutU32(h + 2, time);
    PutU16(h + 6, index);
    h[8] = type;
    h[9] = param;
    h[10] = 3;    // 8000 Hz
    h[11] = 0x00; // not downloaded, no voice-activated start
    h[12] = 0;
    h[13] = 0; // no first-block data
    h[14] = 0;
    PutU16(h + 18, Crc16Update(h, 18, BlockHeaderCrcStart));
    MakeTripleCopy(area, h, TBlockHeader::Size);
}
