#include "platform/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixFile.h"

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char ca = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        char cb = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (ca != cb)
            return false;
    }
    return true;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == '"' || value.front() == '\''))
        return value.substr(1, value.size() - 2);
    return value;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// A value that reading would change (outer blanks trimmed, outer quotes removed) is written
// inside one more pair of quotes, which reading removes again.
std::string EncodeValue(std::string_view value) {
    std::string clean(value);
    for (char& c : clean)
        if (c == '\r' || c == '\n')
            c = ' ';
    bool needsQuotes = !clean.empty() && (IsBlank(clean.front()) || IsBlank(clean.back()) ||
                                          Unquote(clean).size() != clean.size());
    return needsQuotes ? '"' + clean + '"' : clean;
}

std::string Utf16ToUtf8Bytes(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        auto first = static_cast<unsigned char>(bytes[2 * i]);
        auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16Bytes(std::string_view text, bool bigEndian) {
    std::u16string units = Utf8ToUtf16(text);
    std::string bytes;
    bytes.reserve(2 * units.size());
    for (char16_t unit : units) {
        char low = static_cast<char>(unit & 0xFF);
        char high = static_cast<char>(unit >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string SanitizedUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();)
        AppendUtf8(text, DecodeUtf8(bytes, pos));
    return text;
}

// Replaces the file with bytes: a temporary file beside it, flushed, then put in its place in
// one step (CommitFiles), so a failure or a kill at any point leaves the old file or the new
// one, and no temporary past the next write into the folder. The old file's mode is kept.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = path;
    // Write through a symbolic link to its file instead of replacing the link.
    if (fs::is_symlink(target, error)) {
        fs::path resolved = fs::canonical(target, error);
        if (error)
            return false;
        target = resolved;
    }
    // A bare name lives in the current folder; the temporary must be beside it.
    if (!target.has_parent_path())
        target = fs::path(".") / target;
    const std::string temporary = MakeTemporaryName(target.string());
    TPosixFile file;
    if (!file.Open(temporary, TPosixFile::TMode::CreateTemporary))
        return false;
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
    const bool written = file.SetMode(mode) && file.WriteExact(0, bytes.data(), bytes.size()) &&
                         file.Sync() && file.Publish();
    file.Close();
    if (!written || !CommitFiles({{temporary, target.string()}})) {
        RemoveFile(temporary);
        return false;
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        negative = text[pos++] == '-';
    bool hex = false;
    if (pos < text.size() && text[pos] == '$') {
        hex = true;
        ++pos;
    } else if (pos + 1 < text.size() && text[pos] == '0' && (text[pos + 1] | 0x20) == 'x') {
        hex = true;
        pos += 2;
    }
    if (pos == text.size())
        return defaultValue;
    std::uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
        int digit = hex ? HexDigit(text[pos])
                        : (text[pos] >= '0' && text[pos] <= '9' ? text[pos] - '0' : -1);
        if (digit < 0)
            return defaultValue;
        value = value * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull)
            return defaultValue;
    }
    if (hex) {
        auto wrapped = static_cast<std::uint32_t>(value);
        if (negative)
            wrapped = 0u - wrapped;
        return static_cast<std::int32_t>(wrapped);
    }
    if (value > (negative ? 2147483648ull : 2147483647ull))
        return defaultValue;
    std::int64_t signedValue =
        negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(signedValue);
}

TIniFile::TIniFile(std::string fileName, unsigned ansiCodePage)
    : Path(std::move(fileName)), CodePage(ansiCodePage) {
    Load();
}

TIniFile::~TIniFile() {
    if (Dirty)
        UpdateFile();
}

void TIniFile::Load() {
    std::error_code error;
    auto status = std::filesystem::status(Path, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return;
    TPosixFile file;
    std::int64_t size = -1;
    std::string bytes;
    if (status.type() == std::filesystem::file_type::regular &&
        file.Open(Path, TPosixFile::TMode::ReadOnly))
        size = file.Size();
    if (size >= 0) {
        bytes.resize(static_cast<std::size_t>(size));
        if (!file.ReadExact(0, bytes.data(), bytes.size()))
            size = -1;
    }
    if (size < 0) {
        // Reads as empty; the file is kept from being replaced by an empty one.
        LoadFailed = true;
        return;
    }
    std::string_view view = bytes;
    if (view.starts_with("\xEF\xBB\xBF")) {
        Encoding = TEncoding::Utf8Bom;
        ParseText(SanitizedUtf8(view.substr(3)));
    } else if (view.starts_with("\xFF\xFE")) {
        Encoding = TEncoding::Utf16Le;
        ParseText(Utf16ToUtf8Bytes(view.substr(2), false));
    } else if (view.starts_with("\xFE\xFF")) {
        Encoding = TEncoding::Utf16Be;
        ParseText(Utf16ToUtf8Bytes(view.substr(2), true));
    } else if (IsValidUtf8(view)) {
        Encoding = TEncoding::Utf8;
        ParseText(view);
    } else {
        Encoding = TEncoding::Ansi;
        ParseText(AnsiToUtf8(view, CodePage));
    }
}

void TIniFile::ParseText(std::string_view text) {
    // Lines end at CR LF, LF or a lone CR.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        std::string_view raw = text.substr(start, end == text.npos ? text.npos : end - start);
        if (end == text.npos)
            start = text.size();
        else
            start =
                end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);

        TLine line;
        line.Raw = raw;
        std::string_view trimmed = Trim(raw);
        if (trimmed.starts_with("[")) {
            std::size_t close = trimmed.find(']');
            if (close != trimmed.npos) {
                line.Kind = TLineKind::Section;
                line.Name = Trim(trimmed.substr(1, close - 1));
            }
        } else if (!trimmed.starts_with(";")) {
            std::size_t equals = trimmed.find('=');
            std::string_view name =
                equals != trimmed.npos ? Trim(trimmed.substr(0, equals)) : std::string_view{};
            if (!name.empty()) {
                line.Kind = TLineKind::Key;
                line.Name = name;
                line.Value = Unquote(Trim(trimmed.substr(equals + 1)));
            }
        }
        Lines.push_back(std::move(line));
    }
}

int TIniFile::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < Lines.size(); ++i)
        if (Lines[i].Kind == TLineKind::Section && SameTextAscii(Lines[i].Name, section))
            return static_cast<int>(i);
    return -1;
}

int TIniFile::FindKey(std::string_view section, std::string_view ident) const {
    section = Trim(section);
    ident = Trim(ident);
    bool inSection = false;
    for (std::size_t i = 0; i < Lines.size(); ++i) {
        const TLine& line = Lines[i];
        if (line.Kind == TLineKind::Section)
            inSection = SameTextAscii(line.Name, section);
        else if (inSection && line.Kind == TLineKind::Key && SameTextAscii(line.Name, ident))
            return static_cast<int>(i);
    }
    return -1;
}

std::size_t TIniFile::InsertionPoint(int sectionLine) const {
    std::size_t point = static_cast<std::size_t>(sectionLine) + 1;
    for (std::size_t i = point; i < Lines.size() && Lines[i].Kind != TLineKind::Section; ++i)
        if (Lines[i].Kind == TLineKind::Key)
            point = i + 1;
    return point;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident,
                                 std::string_view defaultValue) const {
    int index = FindKey(section, ident);
    return index >= 0 ? Lines[index].Value : std::string(defaultValue);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                   std::int32_t defaultValue) const {
    int index = FindKey(section, ident);
    return index >= 0 ? StrToIntDef(Lines[index].Value, defaultValue) : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool defaultValue) const {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view ident,
                           std::string_view value) {
    section = Trim(section);
    ident = Trim(ident);
    if (section.empty() || ident.empty() || HasLineBreak(section) || HasLineBreak(ident) ||
        section.find(']') != section.npos || ident.find('=') != ident.npos ||
        ident.starts_with("[") || ident.starts_with(";"))
        return;

    TLine line;
    line.Kind = TLineKind::Key;
    line.Value = Unquote(Trim(EncodeValue(value)));
    int existing = FindKey(section, ident);
    if (existing >= 0) {
        TLine& old = Lines[existing];
        old.Raw = old.Name + "=" + EncodeValue(value);
        old.Value = line.Value;
    } else {
        line.Name = ident;
        line.Raw = line.Name + "=" + EncodeValue(value);
        int sectionLine = FindSection(section);
        if (sectionLine < 0) {
            if (!Lines.empty() && !Trim(Lines.back().Raw).empty())
                Lines.push_back(TLine{});
            TLine header;
            header.Kind = TLineKind::Section;
            header.Name = section;
            header.Raw = "[" + header.Name + "]";
            Lines.push_back(std::move(header));
            Lines.push_back(std::move(line));
        } else {
            Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(InsertionPoint(sectionLine)),
                         std::move(line));
        }
    }
    Dirty = true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view ident, std::int32_t value) {
    WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

std::vector<std::pair<std::string, std::string>>
TIniFile::ReadSectionValues(std::string_view section) const {
    section = Trim(section);
    std::vector<std::pair<std::string, std::string>> values;
    bool inSection = false;
    for (const TLine& line : Lines) {
        if (line.Kind == TLineKind::Section) {
            inSection = SameTextAscii(line.Name, section);
        } else if (inSection && line.Kind == TLineKind::Key) {
            bool seen = false;
            for (const auto& value : values)
                seen = seen || SameTextAscii(value.first, line.Name);
            if (!seen)
                values.emplace_back(line.Name, line.Value);
        }
    }
    return values;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    for (auto& value : ReadSectionValues(section))
        keys.push_back(std::move(value.first));
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> sections;
    for (const TLine& line : Lines) {
        if (line.Kind != TLineKind::Section)
            continue;
        bool seen = false;
        for (const std::string& name : sections)
            seen = seen || SameTextAscii(name, line.Name);
        if (!seen)
            sections.push_back(line.Name);
    }
    return sections;
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(Trim(section)) >= 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view ident) const {
    return FindKey(section, ident) >= 0;
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    ident = Trim(ident);
    EraseWithinSection(section, [ident](const TLine& line) {
        return line.Kind == TLineKind::Key && SameTextAscii(line.Name, ident);
    });
}

void TIniFile::EraseSection(std::string_view section) {
    EraseWithinSection(section, [](const TLine&) { return true; });
}

void TIniFile::EraseWithinSection(std::string_view section,
                                  const std::function<bool(const TLine&)>& erase) {
    section = Trim(section);
    bool inSection = false;
    const std::size_t before = Lines.size();
    std::erase_if(Lines, [&](const TLine& line) {
        if (line.Kind == TLineKind::Section)
            inSection = SameTextAscii(line.Name, section);
        return inSection && erase(line);
    });
    Dirty = Dirty || Lines.size() != before;
}

std::string TIniFile::EncodeText() {
    std::string text;
    for (const TLine& line : Lines) {
        text += line.Raw;
        text += "\r\n";
    }
    switch (Encoding) {
    case TEncoding::Utf8:
        return text;
    case TEncoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case TEncoding::Utf16Le:
        return "\xFF\xFE" + Utf8ToUtf16Bytes(text, false);
    case TEncoding::Utf16Be:
        return "\xFE\xFF" + Utf8ToUtf16Bytes(text, true);
    case TEncoding::Ansi: {
        bool lossless = false;
        std::string bytes = Utf8ToAnsi(text, CodePage, &lossless);
        if (lossless)
            return bytes;
        Encoding = TEncoding::Utf8Bom;
        return "\xEF\xBB\xBF" + text;
    }
    }
    return text;
}

bool TIniFile::UpdateFile() {
    if (LoadFailed)
        return false;
    if (!ReplaceFile(Path, EncodeText()))
        return false;
    Dirty = false;
    return true;
}
