#include "engine/RecClassesBlocks.h"

#include <algorithm>
#include <cstring>

#include "link/Crc16.h"
#include "platform/ByteOrder.h"

static_assert(3 * TBlockHeader::Size <= HeaderAreaSize);
static_assert(TFirstBlockData::Offset + TFirstBlockData::Size == 90);

TSourceCompression SourceCompressionOf(std::uint8_t type, std::uint8_t param) {
    switch (type) {
    case CompressULaw:
        return SourceULaw;
    case CompressAdpcm:
        return param == AdpcmParam2Bit ? SourceAdpcm2 : SourceAdpcm4;
    default:
        return SourceNone;
    }
}

TBlockHeader TBlockHeader::FromBytes(const std::uint8_t* in) {
    TBlockHeader h;
    std::memcpy(h.Bytes.data(), in, Size);
    return h;
}

void TBlockHeader::WriteTo(std::uint8_t* out) const {
    std::memcpy(out, Bytes.data(), Size);
}

std::uint16_t TBlockHeader::FileNumber() const {
    return GetU16(&Bytes[0]);
}
std::uint32_t TBlockHeader::Time() const {
    return GetU32(&Bytes[2]);
}
std::uint16_t TBlockHeader::BlockIndex() const {
    return GetU16(&Bytes[6]);
}
std::uint32_t TBlockHeader::DriveFileSize() const {
    return GetU32(&Bytes[6]);
}
std::uint16_t TBlockHeader::DriveBlockIndex() const {
    return GetU16(&Bytes[10]);
}
std::uint16_t TBlockHeader::StoredCrc() const {
    return GetU16(&Bytes[CrcOfs]);
}

bool TBlockHeader::IsEmpty() const {
    return std::all_of(Bytes.begin(), Bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

bool TBlockHeader::IsDriveFile() const {
    return !IsEmpty() && FileNumber() != EmptyFileNumber && (FileNumber() & DriveFileFlag) != 0;
}

std::uint8_t TBlockHeader::Status() const {
    switch (StatusBits()) {
    case 1:
        return StatusDownloaded;
    case 2:
        return StatusUploaded;
    default:
        return StatusNotDownloaded;
    }
}

std::uint16_t TBlockHeader::ComputeCrc() const {
    return Crc16Update(Bytes.data(), CrcOfs, BlockHeaderCrcStart);
}

void TBlockHeader::SetStatus(std::uint8_t status) {
    std::uint8_t bits = 0;
    if (status == StatusDownloaded)
        bits = 1;
    else if (status == StatusUploaded)
        bits = 2;
    Bytes[11] = static_cast<std::uint8_t>((Bytes[11] & 0x3F) | (bits << 6));
}

void TBlockHeader::SetU16(std::size_t offset, std::uint16_t value) {
    PutU16(&Bytes[offset], value);
}
void TBlockHeader::SetU32(std::size_t offset, std::uint32_t value) {
    PutU32(&Bytes[offset], value);
}
void TBlockHeader::UpdateCrc() {
    PutU16(&Bytes[CrcOfs], ComputeCrc());
}

TFirstBlockData TFirstBlockData::FromBytes(const std::uint8_t* in) {
    TFirstBlockData d;
    std::memcpy(d.Bytes.data(), in, Size);
    return d;
}

std::uint16_t TFirstBlockData::DataLength() const {
    return GetU16(&Bytes[0]);
}

std::size_t TFirstBlockData::DigitCount() const {
    return std::min<std::size_t>(Bytes[5], MaxDigits);
}

std::string TFirstBlockData::DigitText() const {
    std::string text;
    for (std::size_t i = 0; i < DigitCount(); ++i) {
        const std::uint8_t digit = Bytes[6 + i];
        text += static_cast<char>('0' + (digit >= 10 ? 0 : digit));
    }
    return text;
}

void VoteTripleCopy(const std::uint8_t* source, std::uint8_t* target, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        target[i] = source[size + i] == source[i] ? source[i] : source[2 * size + i];
}

void MakeTripleCopy(std::uint8_t* target, const std::uint8_t* source, std::size_t size) {
    for (int copy = 0; copy < 3; ++copy)
        std::memmove(target + copy * size, source, size);
}
