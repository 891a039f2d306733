#pragma once

#include <array>
#include <cstdint>
#include <string>

// A recorder memory image file (".ovk"): a 730-byte header with its CRC, then a data area that
// starts at the magic EE 7F CD FE and holds the flash blocks from the first stored block on.
// The image kinds of the recorder object answer every recorder command from this file.

constexpr std::size_t ImageHeaderSize = 730;

// Header field offsets.
constexpr std::size_t ImgFirstRecBlockOfs = 298;    // u16
constexpr std::size_t ImgPageSizeOfs = 300;         // u16, data plus spare bytes
constexpr std::size_t ImgPagesPerBlockOfs = 302;    // u16
constexpr std::size_t ImgFirstStoredBlockOfs = 304; // u32
constexpr std::size_t ImgSettingsOfs = 308;         // the 356-byte settings record
constexpr std::size_t ImgSettingsSize = 356;
constexpr std::size_t ImgPasswordOfs = 617;     // 20 bytes inside the settings record
constexpr std::size_t ImgWriteMarkOfs = 664;    // 0xFF on every header write
constexpr std::size_t ImgTableVersionOfs = 675; // u16, 10 in a new image
constexpr std::size_t ImgCrcOfs = 728;          // u16

constexpr std::array<std::uint8_t, 4> ImageMagic = {0xEE, 0x7F, 0xCD, 0xFE};

// The most blocks an image may hold: block numbers on the recorder are 16-bit.
constexpr std::uint64_t MaxImageBlocks = 65536;

// The default geometry of a new image: 64 blocks of 64 pages of 2112 bytes after one page of
// header.
constexpr std::uint16_t DefaultImagePageSize = 2112;
constexpr std::uint16_t DefaultImagePagesPerBlock = 64;
constexpr std::uint32_t DefaultImageBlocks = 64;

using TImageHeader = std::array<std::uint8_t, ImageHeaderSize>;

struct TFlashInfo {
    std::uint8_t FlashCount = 0;
    std::uint16_t PageDataBytes = 0;
    std::uint8_t SpareBytes = 0;
    std::uint32_t PagesPerBlock = 0;
    std::uint32_t BlocksPerFlash = 0;
    std::uint16_t PagesPerTransfer = 0;
    std::uint16_t PageSize = 0; // data plus spare
    std::uint32_t BlockSize = 0;
    std::uint32_t DataStart = 0xFFFFFFFF; // file offset of the magic; all ones while unknown
};

// The header CRC over its covered pieces, starting with 0x11EE.
std::uint16_t ImageHeaderCrc(const TImageHeader& header);

// Stores the path. With create (the demo kind) a missing image, or one whose header is not
// valid or whose data area is missing or cut inside its first block, is replaced by a blank
// image of the default geometry; a valid header over a data area is never replaced.
void SetImageFile(const std::string& path, bool create);
// The probe of the image kinds: true when the header reads with a good CRC, the magic is
// found and the geometry it gives is sound.
bool OpenImageFile();
// Whether the last open found that the file may not be written (no permission, read-only
// media): the image is then served read-only and every command that would change it fails
// with ImageReadOnlyMessage.
bool ImageFileIsReadOnly();
constexpr const char* ImageReadOnlyMessage = "Image file is read-only: no permission to write it";
// Reads bytes 0-729 into the in-memory header; true when the stored CRC matches.
bool ReadImageHeader();
// Sets byte 664 to 0xFF, recomputes the CRC and writes the header; false on a failed write.
bool WriteImageHeader();
// Rewrites the magic, the block table and its CRC from the blocks' first two bytes; false on
// a failed write. An image whose table does not fit its first stored block (more than 15,872
// blocks of 64 pages) has none, and is left as it is.
bool RebuildBlockTable();

// The exchange function of the image kinds (the time-out is not used).
void ImageExchangeCmd(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                      std::uint32_t inSize, std::uint32_t timeoutMs);

// The in-memory header and geometry, for the recorder object's settings path.
TImageHeader GetImageHeader();
void SetImageHeaderSettings(const std::uint8_t* settings356);
TFlashInfo GetImageGeometry();
std::string GetImageFilePath();

// The settings part of a new image's header: profile bytes 1, names "Profile1" to
// "Profile8", everything else 0xFF (no password).
void FillDefaultImageSettings(TImageHeader& header);
