#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "engine/RecClassesBlocks.h"
#include "engine/RecClassesGeometry.h"

// The pages of an uploaded recording. Every page ends with its page-information word; the
// sound a page holds, by codec (S = PageSize):
//
// | codec     | first page of a block                    | later pages                     |
// | none      | PCM in 64 .. S-3                         | PCM in 0 .. S-3                 |
// | ADPCM 4/2 | 64-65 first sample plain, codes 66 .. S-3 | 0-1 first sample, codes 2 .. S-3 |
// | "uLaw"    | companded blocks in 64 .. S-3            | companded blocks in 0 .. S-3    |
//
// ADPCM codes two (4 bit) or four (2 bit) to a byte, earliest sample in the high bits; every
// page starts the ADPCM state at 0 and a new companding block, so each page decodes alone.
// The page the sound ends on keeps an erased page-information word, as a recorder leaves its
// last page: the scan takes it as the recording's last page. Marked continuous, the erased
// page after it would be taken as one more page of sound.
class TUploadPageEncoder {
public:
    // Throws EUploadRefused for a compression the recorder cannot store.
    TUploadPageEncoder(const TFlashGeometry& geometry, std::uint8_t compressionType,
                       std::uint8_t compressionParam, std::uint32_t rateHz);

    static bool IsUploadable(std::uint8_t compressionType, std::uint8_t compressionParam);

    // Samples of 16-bit mono PCM one page holds; a block's first page holds fewer.
    std::size_t SamplesOfPage(bool firstPageOfBlock) const;
    std::uint64_t SamplesPerBlock() const;
    // Whole blocks that samples take.
    std::uint64_t BlocksFor(std::uint64_t samples) const;

    // Writes the page's sound and, unless the sound ends on this page, its page-information
    // word into page (PageSize bytes, 0xFF where nothing is written; the first page's header
    // area is left alone). Fewer samples than the page holds are completed with silence,
    // except that plain PCM leaves the rest of the page 0xFF (the reader trims it to zeros).
    void EncodePage(std::span<const std::int16_t> samples, bool firstPageOfBlock, bool soundEnds,
                    std::uint8_t* page) const;

private:
    std::uint32_t SoundBytes(bool firstPageOfBlock) const;

    std::uint32_t PageSize;
    std::uint32_t PagesPerBlock;
    std::uint8_t Type;
    std::uint8_t Param;
    std::uint16_t CompandBlockSamples = 0;
};

// Where a flash-drive file's bytes go: page 0 of every block holds the header (and, in the
// file's first block, its name from byte 64); pages 1 .. B-1 hold the data, raw or, with the
// error-correcting code, 249 bytes in each 256-byte slot of a page.
struct TDriveFileLayout {
    bool Correction = true;
    std::uint32_t SlotsPerPage = 0; // with correction
    std::uint32_t DataPerPage = 0;
    std::uint64_t DataPerBlock = 0;
    // Characters of UTF-16 a name may have: it and a zero character must fit in the first
    // page after byte 64, before the page's last two bytes, within one page's data.
    std::size_t MaxNameChars = 0;

    // Every model class but 2 protects drive files with the code.
    static TDriveFileLayout For(const TFlashGeometry& geometry, std::uint32_t modelClass);
    std::uint64_t BlocksFor(std::uint64_t fileSize) const;
};

// Drive files carry their size in 32 bits.
constexpr std::uint64_t MaxDriveFileSize = 0xFFFFFFFFull;
// New record and drive-file numbers: bit 15 tells drive files from recordings.
constexpr std::uint16_t MaxFileNumber = 0x7FFF;

// The block header of block index (from 1) of an uploaded recording: status uploaded, mono,
// not cyclic, no first-block data.
TBlockHeader MakeUploadHeader(std::uint16_t number, std::uint32_t blockTime, std::uint16_t index,
                              std::uint8_t compressionType, std::uint8_t compressionParam,
                              std::uint8_t rateCode);
// The block header of block index (from 1) of a flash-drive file.
TBlockHeader MakeDriveFileHeader(std::uint16_t number, std::uint32_t time, std::uint32_t size,
                                 std::uint16_t index, bool folder);

// An upload refused before or while it writes: the reason is for the user.
class EUploadRefused : public std::runtime_error {
public:
    explicit EUploadRefused(const std::string& reason) : std::runtime_error(reason) {}
};
