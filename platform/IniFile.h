#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/CodePage.h"

// An INI file with the semantics of the Windows profile functions, so the settings,
// profile and preset files of existing users read as they always did:
// - section and key names compare without regard to ASCII case; the first occurrence of a
//   key wins (a section that appears twice is searched in file order);
// - names and values are trimmed, and one pair of surrounding quotes ("" or '') is
//   removed from a value; there are no escapes;
// - a line whose first non-blank character is ";" is a comment; ";" elsewhere is text;
// - integers read like StrToIntDef (decimal, or hexadecimal with "$" or "0x"), booleans as
//   integers with non-zero true; anything else gives the caller's default.
// The file is read once at construction. Changes stay in memory until UpdateFile, which
// writes every line with CR LF, keeps comments, blank lines and unknown lines, and
// replaces the file through a temporary file. The destructor writes pending changes too.
//
// Encoding: a UTF-8 or UTF-16 byte-order mark selects that encoding; otherwise the bytes
// are UTF-8 when they are valid UTF-8, else the given ANSI code page. UpdateFile writes
// the encoding the file had; an ANSI file that gains characters its code page lacks is
// written as UTF-8 with a byte-order mark.
class TIniFile {
public:
    explicit TIniFile(std::string fileName, unsigned ansiCodePage = SystemCodePage);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return Path; }

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) const;
    std::int32_t ReadInteger(std::string_view section, std::string_view ident,
                             std::int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue) const;

    // A section or key name that the file could not hold (empty, or holding a line
    // break, a key name holding "=" or a section name holding "]") is not written.
    // Line breaks in a value become blanks.
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view ident, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view ident, bool value);

    // Key names of the section, each once, in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;
    // Section names, each once, in file order.
    std::vector<std::string> ReadSections() const;
    // Key names with their values, in file order.
    std::vector<std::pair<std::string, std::string>>
    ReadSectionValues(std::string_view section) const;
    // True when the file has the section's header, even with no keys under it.
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    // Every occurrence of the key in the section is removed.
    void DeleteKey(std::string_view section, std::string_view ident);
    // Every occurrence of the section is removed with all its lines.
    void EraseSection(std::string_view section);

    // Writes the file; false when it could not be written, or when the file exists but
    // could not be read at construction (it is then never replaced).
    bool UpdateFile();
    bool Modified() const { return Dirty; }

private:
    enum class TLineKind { Other, Section, Key };
    struct TLine {
        TLineKind Kind = TLineKind::Other;
        std::string Raw;   // the text as read or as last written
        std::string Name;  // section or key name, trimmed
        std::string Value; // key value, trimmed and unquoted
    };
    enum class TEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Ansi };

    void Load();
    void ParseText(std::string_view text);
    std::string EncodeText();
    // Index of the first key line of that name in the section, or -1.
    int FindKey(std::string_view section, std::string_view ident) const;
    int FindSection(std::string_view section) const;
    // The line after the last key of the section's first occurrence.
    std::size_t InsertionPoint(int sectionLine) const;
    // Removes the lines of every occurrence of the (trimmed) section, its own header line
    // included, for which erase holds.
    void EraseWithinSection(std::string_view section,
                            const std::function<bool(const TLine&)>& erase);

    std::string Path;
    unsigned CodePage;
    std::vector<TLine> Lines;
    TEncoding Encoding = TEncoding::Utf8;
    bool LoadFailed = false;
    bool Dirty = false;
};

// StrToIntDef: optional blanks, an optional sign, then decimal digits or "$" / "0x" and
// hexadecimal digits (up to 32 bits, wrapping to a negative value like the framework);
// anything else, or a decimal value outside 32 bits, gives the default.
std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue);
