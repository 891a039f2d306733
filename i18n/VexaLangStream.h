#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The little-endian primitives of the constants stream and of the forms' "LangData":
//   byte / boolean  1 byte, a boolean is true when non-zero and written as 0 or 1
//   16-bit count    u16
//   32-bit integer  i32
//   8-bit string    u16 byte count n, n bytes in an ANSI code page
//   UTF-16 string   u16 character count n, 2n bytes UTF-16LE
//   UTF-8 string    u16 byte count n, n bytes UTF-8
// Strings are UTF-8 on our side. A read past the end throws EVexaLangStreamError.
class TVexaLangStreamReader {
public:
    explicit TVexaLangStreamReader(std::span<const std::uint8_t> bytes) : Bytes(bytes) {}

    std::uint8_t ReadByte();
    bool ReadBool() { return ReadByte() != 0; }
    std::uint16_t ReadU16();
    std::int32_t ReadI32();
    std::string ReadAnsiString(unsigned codePage);
    std::string ReadUtf16String();
    std::string ReadUtf8String();

    std::size_t Position() const { return Pos; }
    std::size_t Remaining() const { return Bytes.size() - Pos; }

private:
    std::span<const std::uint8_t> Take(std::size_t count);

    std::span<const std::uint8_t> Bytes;
    std::size_t Pos = 0;
};

// Strings too long for their u16 count throw EVexaLangError instead of being cut.
class TVexaLangStreamWriter {
public:
    void WriteByte(std::uint8_t value) { Bytes.push_back(value); }
    void WriteBool(bool value) { WriteByte(value ? 1 : 0); }
    void WriteU16(std::uint16_t value);
    void WriteI32(std::int32_t value);
    void WriteAnsiString(const std::string& text, unsigned codePage);
    void WriteUtf16String(const std::string& text);
    void WriteUtf8String(const std::string& text);

    const std::vector<std::uint8_t>& Data() const { return Bytes; }
    std::vector<std::uint8_t> TakeData() { return std::move(Bytes); }

private:
    void WriteCount(std::size_t count);

    std::vector<std::uint8_t> Bytes;
};
