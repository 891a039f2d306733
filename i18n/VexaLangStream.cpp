#include "i18n/VexaLangStream.h"

#include "i18n/VexaLangError.h"
#include "platform/ByteOrder.h"
#include "platform/CodePage.h"

namespace {

constexpr std::size_t MaxCount = 0xFFFF;

std::string_view AsChars(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

std::span<const std::uint8_t> TVexaLangStreamReader::Take(std::size_t count) {
    if (count > Remaining())
        throw EVexaLangStreamError();
    auto taken = Bytes.subspan(Pos, count);
    Pos += count;
    return taken;
}

std::uint8_t TVexaLangStreamReader::ReadByte() {
    return Take(1)[0];
}

std::uint16_t TVexaLangStreamReader::ReadU16() {
    return GetU16(Take(2).data());
}

std::int32_t TVexaLangStreamReader::ReadI32() {
    return GetI32(Take(4).data());
}

std::string TVexaLangStreamReader::ReadAnsiString(unsigned codePage) {
    std::size_t count = ReadU16();
    return AnsiToUtf8(AsChars(Take(count)), codePage);
}

std::string TVexaLangStreamReader::ReadUtf16String() {
    std::size_t count = ReadU16();
    auto bytes = Take(2 * count);
    std::u16string text(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        text[i] = static_cast<char16_t>(GetU16(bytes.data() + 2 * i));
    return Utf16ToUtf8(text);
}

std::string TVexaLangStreamReader::ReadUtf8String() {
    std::size_t count = ReadU16();
    std::string_view bytes = AsChars(Take(count));
    // Well-formed on our side whatever the stream holds.
    std::string text;
    for (std::size_t pos = 0; pos < bytes.size();)
        AppendUtf8(text, DecodeUtf8(bytes, pos));
    return text;
}

void TVexaLangStreamWriter::WriteCount(std::size_t count) {
    if (count > MaxCount)
        throw EVexaLangError("String too long for a stream (" + std::to_string(count) + ")");
    WriteU16(static_cast<std::uint16_t>(count));
}

void TVexaLangStreamWriter::WriteU16(std::uint16_t value) {
    std::uint8_t bytes[2];
    PutU16(bytes, value);
    Bytes.insert(Bytes.end(), bytes, bytes + 2);
}

void TVexaLangStreamWriter::WriteI32(std::int32_t value) {
    std::uint8_t bytes[4];
    PutI32(bytes, value);
    Bytes.insert(Bytes.end(), bytes, bytes + 4);
}

void TVexaLangStreamWriter::WriteAnsiString(const std::string& text, unsigned codePage) {
    std::string bytes = Utf8ToAnsi(text, codePage);
    WriteCount(bytes.size());
    Bytes.insert(Bytes.end(), bytes.begin(), bytes.end());
}

void TVexaLangStreamWriter::WriteUtf16String(const std::string& text) {
    std::u16string units = Utf8ToUtf16(text);
    WriteCount(units.size());
    for (char16_t unit : units)
        WriteU16(unit);
}

void TVexaLangStreamWriter::WriteUtf8String(const std::string& text) {
    WriteCount(text.size());
    Bytes.insert(Bytes.end(), text.begin(), text.end());
}
