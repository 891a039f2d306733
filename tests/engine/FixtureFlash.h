#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "FixtureBytes.h"

// A recorder's flash built byte by byte from the layouts (block header, first-block data,
// page-information words, break records, drive-file names), apart from the engine's writers,
// and written out as a recorder image file.
namespace fixture {

struct TFlashShape {
    std::uint16_t PageSize = 2112;
    std::uint16_t PagesPerBlock = 64;
    std::uint32_t Blocks = 8;
    std::uint16_t FirstRecBlock = 1;
};

// The 20 bytes of a block header as the table gives them.
struct THeaderSpec {
    std::uint16_t Number = 1;
    std::uint32_t Time = 0;
    std::uint16_t Index = 1; // bytes 6-7 (recordings)
    std::uint8_t Type = 0;   // compression type
    std::uint8_t Param = 0;
    std::uint8_t Rate = 3;   // rate code
    std::uint8_t Status = 0; // byte 11
    std::uint8_t Cyclic = 0; // byte 12 (folder for drive files)
    std::uint8_t Flags = 0;  // byte 13, bit 7 first block
    std::uint8_t ChannelMode = 0;
    bool Drive = false; // bytes 6-9 size, 10-11 index
    std::uint32_t DriveSize = 0;
    std::uint16_t DriveIndex = 1;

    Bytes ToBytes() const; // with the CRC, start 0xAB
};

class TFlashImage {
public:
    explicit TFlashImage(TFlashShape shape);

    const TFlashShape& Shape() const { return Geometry; }
    std::uint32_t BlockSize() const {
        return std::uint32_t{Geometry.PageSize} * Geometry.PagesPerBlock;
    }
    std::uint8_t* Page(std::uint32_t block, std::uint32_t page);
    std::uint8_t* PageAt(std::uint32_t pageAddress);
    Bytes& Data() { return Flash; }

    // The header in all three copies at the block's start.
    void PutHeader(std::uint32_t block, const THeaderSpec& header);
    void PutHeaderCopy(std::uint32_t block, int copy, const Bytes& bytes);
    void PutFirstBlockData(std::uint32_t block, const Bytes& data26);
    // Last two bytes of the page.
    void PutPageInfo(std::uint32_t block, std::uint32_t page, std::uint16_t word);
    void PutPageInfoRange(std::uint32_t block, std::uint32_t from, std::uint32_t to,
                          std::uint16_t word);
    // The resume time in three copies at the page's start.
    void PutBreakRecord(std::uint32_t block, std::uint32_t page, std::uint32_t time);
    // UTF-16LE from byte 64 of the block's first page, with a zero character when asked.
    void PutDriveName(std::uint32_t block, const std::u16string& name, bool terminate = true);
    // Fills the sound bytes [from, PageSize - 2) of a page with a value.
    void FillSound(std::uint32_t block, std::uint32_t page, std::uint32_t from, std::uint8_t value);

    // A continuous recording: blocks given physically, index 1.., times advancing by the
    // block duration (floored), every page marked continuous. Returns the block times.
    std::vector<std::uint32_t> PutContinuousRecording(std::uint16_t number, std::uint32_t startTime,
                                                      const std::vector<std::uint32_t>& blocks,
                                                      double secondsPerBlock,
                                                      THeaderSpec base = {});

    // A recorder image file: header with its CRC (settings at 308 from the record given, or
    // the default profile bytes), filler up to one page (none for pages smaller than the
    // header), then every block from block 0, whose first four bytes carry the magic.
    void WriteImageFile(const std::string& path, const Bytes* settings356 = nullptr) const;

private:
    TFlashShape Geometry;
    Bytes Flash;
};

// The header CRC of an image file over the covered ranges, start 0x11EE.
std::uint16_t ImageHeaderLayoutCrc(const std::uint8_t* header730);

// Seconds of sound per block from the geometry formulas, computed here apart from the engine.
double LayoutSecondsPerBlock(const TFlashShape& shape, std::uint8_t type, std::uint8_t param,
                             std::uint32_t rateHz, unsigned channels = 1);

} // namespace fixture
