#pragma once

#include <cstdint>
#include <string>

// The flash geometry of a recorder: FlashCount chips of BlocksPerFlash blocks of
// PagesPerBlock pages of PageSize bytes (spare bytes included). A page address is
// block x PagesPerBlock + page in block. Blocks below FirstRecBlock belong to the recorder.
struct TFlashGeometry {
    std::uint8_t FlashCount = 0;
    std::uint16_t BlocksPerFlash = 0;
    std::uint16_t PagesPerBlock = 0;
    std::uint16_t PageSize = 0;
    std::uint16_t PagesPerTransfer = 0; // most pages one read request may cover
    std::uint16_t FirstRecBlock = 0;

    // From the flash-parameters reply: pages of one transfer = PagesPerBlock / divisor. A
    // zero divisor, or one that does not divide PagesPerBlock, leaves 0 (refused by IsValid).
    static TFlashGeometry FromFlashParams(std::uint8_t flashCount, std::uint16_t pagesPerBlock,
                                          std::uint16_t blocksPerFlash, std::uint16_t pageSize,
                                          std::uint16_t firstRecBlock, std::uint16_t divisor);

    std::uint32_t TotalBlocks() const { return std::uint32_t{FlashCount} * BlocksPerFlash; }
    std::uint32_t BlockSize() const { return std::uint32_t{PagesPerBlock} * PageSize; }
    std::uint32_t TransferBytes() const { return std::uint32_t{PagesPerTransfer} * PageSize; }
    std::uint64_t TotalBytes() const { return std::uint64_t{TotalBlocks()} * BlockSize(); }

    // A geometry every engine operation can work with without overflowing a page address,
    // reading past a page or looping; otherwise whyInvalid says what is wrong.
    bool IsValid(std::string* whyInvalid = nullptr) const;

    bool operator==(const TFlashGeometry&) const = default;
};

// Limits of a geometry we accept: generous for any flash a recorder carries, tight enough
// that buffers of a block and arrays of all headers stay bounded. Block numbers travel in 16
// bits (block lists, uploads, erases), so a flash of more blocks than 16 bits can number
// would read one recording's blocks for another's.
constexpr std::uint16_t MinPageSize = 512;
constexpr std::uint16_t MaxPageSize = 32768;
constexpr std::uint16_t MinPagesPerBlock = 2;
constexpr std::uint16_t MaxPagesPerBlock = 1024;
constexpr std::uint32_t MaxBlockSize = 16u << 20;
constexpr std::uint32_t MaxTotalBlocks = 1u << 16;

// Bytes of 16-bit PCM that one full block yields for a compression type and parameter;
// 0 for a type without a defined size.
//   none:      BlockSize - 64 - 2 x PagesPerBlock
//   uLaw:     (BlockSize - 64 - 2 x PagesPerBlock) x 2
//   ADPCM 4:  (BlockSize - 64 - 4 x PagesPerBlock + 2) x 4
//   ADPCM 2:  (BlockSize - 64 - 4 x PagesPerBlock + 2) x 8
std::int64_t SoundDataPerBlock(const TFlashGeometry& g, std::uint8_t compressionType,
                               std::uint8_t compressionParam);

// Seconds of sound in one full block for the format; 0 for an undefined compression type.
long double CalcSecondsPerBlock(const TFlashGeometry& g, std::uint16_t channels,
                                std::uint8_t rateCode, std::uint8_t compressionParam,
                                std::uint8_t compressionType);
