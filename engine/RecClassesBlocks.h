#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The recorder's flash layout: the 20-byte block header stored three times at the start of
// every used block, the first-block data of a file's first block, the page-information word
// and the break record, and the geometry that turns a block into seconds of sound.
//
// First page of a used block:      Every page:
//   0..59   header, three copies     last 2 bytes  page-information word
//   60..63  rest of the header area  0..11 after a break: resume time, three copies
//   64..89  first-block data (first block of a file only)

constexpr std::size_t HeaderAreaSize = 64;
constexpr std::size_t PageInfoSize = 2;
constexpr std::size_t BreakRecordSize = 4;
constexpr std::size_t BreakAreaSize = 3 * BreakRecordSize; // sound after a break starts here
constexpr std::uint16_t BlockHeaderCrcStart = 0xAB;
constexpr std::uint16_t DriveFileFlag = 0x8000;
constexpr std::uint16_t EmptyFileNumber = 0xFFFF;

// Record status bytes of the lists.
constexpr std::uint8_t StatusNotDownloaded = 0xFF;
constexpr std::uint8_t StatusDownloaded = 0x55;
constexpr std::uint8_t StatusUploaded = 0xAA;

// Compression types of profiles and block headers.
enum TCompressionType : std::uint8_t {
    CompressNone = 0,
    CompressULaw = 1,
    CompressAdpcm = 2,
};
constexpr std::uint8_t AdpcmParam2Bit = 1; // any other ADPCM parameter is 4 bit

// Source-compression codes of the records, the WAV information chunk and the mark.
enum TSourceCompression : std::uint8_t {
    SourceNone = 0,
    SourceAdpcm4 = 1,
    SourceULaw = 2,
    SourceAdpcm2 = 3,
};
TSourceCompression SourceCompressionOf(std::uint8_t type, std::uint8_t param);

// The block header, kept as its 20 bytes so that a voted header is rewritten exactly as it
// was read. Bytes 6..11 mean different things for recordings and flash-drive files.
//
// | ofs | recording                         | flash-drive file            |
// | 0   | u16 file number 0..0x7FFF         | 0x8000 + drive-file number  |
// | 2   | u32 time of the first sample      | the file's date             |
// | 6   | u16 block index in the recording  | u32 file size (6..9)        |
// | 8   | u8 compression type               |                             |
// | 9   | u8 compression parameter          |                             |
// | 10  | u8 rate code                      | u16 block index (10..11)    |
// | 11  | u8 status bits 7-6, VAS bits 5-0  |                             |
// | 12  | u8 cyclic recording               | u8 folder                   |
// | 13  | u8 bit 7: first block of the file | same                        |
// | 14  | u8 channel mode                   |                             |
// | 18  | u16 CRC-16 of bytes 0..17, start 0xAB                           |
class TBlockHeader {
public:
    static constexpr std::size_t Size = 20;
    static constexpr std::size_t CrcOfs = 18;

    TBlockHeader() { Bytes.fill(0xFF); }
    static TBlockHeader FromBytes(const std::uint8_t* in);
    void WriteTo(std::uint8_t* out) const;
    const std::array<std::uint8_t, Size>& Raw() const { return Bytes; }

    std::uint16_t FileNumber() const;
    std::uint32_t Time() const;
    bool IsEmpty() const;     // all 20 bytes 0xFF
    bool IsDriveFile() const; // bit 15 of the file number, not empty
    std::uint16_t DriveFileNumber() const { return FileNumber() & 0x7FFF; }

    // Recording blocks.
    std::uint16_t BlockIndex() const;
    std::uint8_t CompressionType() const { return Bytes[8]; }
    std::uint8_t CompressionParam() const { return Bytes[9]; }
    std::uint8_t RateCode() const { return Bytes[10]; }
    std::uint8_t StatusBits() const { return Bytes[11] >> 6; }
    std::uint8_t Status() const; // 0x55, 0xAA or 0xFF
    bool RecordedWithVas() const { return (Bytes[11] & 0x3F) != 0; }
    bool IsCyclic() const { return Bytes[12] != 0; }
    bool IsFirstBlock() const { return (Bytes[13] & 0x80) != 0; }
    std::uint8_t ChannelMode() const { return Bytes[14]; }

    // Flash-drive blocks.
    std::uint32_t DriveFileSize() const;
    std::uint16_t DriveBlockIndex() const;
    bool IsFolder() const { return Bytes[12] != 0; }

    std::uint16_t StoredCrc() const;
    std::uint16_t ComputeCrc() const;
    // A header the scan may use: its CRC matches, or it marks an empty block.
    bool IsValid() const { return IsEmpty() || StoredCrc() == ComputeCrc(); }

    // The status bits for a status byte (0x55 -> 01, 0xAA -> 10, else 00); the other six
    // bits of byte 11 are kept. The CRC is not touched.
    void SetStatus(std::uint8_t status);
    void SetByte(std::size_t offset, std::uint8_t value) { Bytes[offset] = value; }
    void SetU16(std::size_t offset, std::uint16_t value);
    void SetU32(std::size_t offset, std::uint32_t value);
    void UpdateCrc();

    bool operator==(const TBlockHeader&) const = default;

private:
    std::array<std::uint8_t, Size> Bytes;
};

// First-block data: 26 bytes at offset 64 of a file's first block.
class TFirstBlockData {
public:
    static constexpr std::size_t Offset = HeaderAreaSize;
    static constexpr std::size_t Size = 26;
    static constexpr std::size_t MaxDigits = 20;

    TFirstBlockData() { Bytes.fill(0); }
    static TFirstBlockData FromBytes(const std::uint8_t* in);
    const std::array<std::uint8_t, Size>& Raw() const { return Bytes; }

    // Length of the first-block data area: the first page's sound starts at 64 + this.
    std::uint16_t DataLength() const;
    bool HasCallInfo() const { return Bytes[2] == 1; }
    bool IsOutgoingCall() const { return Bytes[4] != 0; }
    // At most MaxDigits, whatever the byte says.
    std::size_t DigitCount() const;
    // The digits as text; a digit value of 10 or more is the digit 0.
    std::string DigitText() const;

    bool operator==(const TFirstBlockData&) const = default;

private:
    std::array<std::uint8_t, Size> Bytes;
};

// A page-information word with a byte 0xFF marks a page after which the recording breaks or
// that holds no sound (an unwritten page reads 0xFFFF).
constexpr bool PageInfoMarksBreak(std::uint16_t word) {
    return (word & 0xFF) == 0xFF || (word >> 8) == 0xFF;
}
constexpr std::uint16_t ContinuousPageInfo = 0x5555;

// target[i] = source[i] when the first two copies agree, else the third copy's byte.
void VoteTripleCopy(const std::uint8_t* source, std::uint8_t* target, std::size_t size);
// Writes the record three times in a row at target.
void MakeTripleCopy(std::uint8_t* target, const std::uint8_t* source, std::size_t size);
