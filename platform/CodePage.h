#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text encodings: UTF-8 is the program's own; ANSI code pages (Windows numbering) and
// UTF-16 appear in files and streams written by the program's earlier Windows builds.

// Code page 0 stands for the system's ANSI code page, as on Windows.
constexpr unsigned SystemCodePage = 0;

// The ANSI code page the system's language implies (LC_ALL, LC_CTYPE, LANG; 1252 when they
// name no language we know). A test or the program may pin it with SetSystemAnsiCodePage.
unsigned SystemAnsiCodePage();
void SetSystemAnsiCodePage(unsigned codePage); // 0 returns to the environment's choice

bool IsValidUtf8(std::string_view text);

// Decodes one code point at pos and advances pos; a malformed sequence yields U+FFFD and
// advances by one byte, so every byte string decodes without loss of position.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t codePoint);
// Number of code points; malformed bytes count one each.
std::size_t Utf8Length(std::string_view text);

// Unpaired surrogates and malformed UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Conversion through iconv. Bytes a code page does not define become U+FFFD; characters a
// code page cannot hold become "?" and clear *lossless. An unknown code page is treated as
// Windows-1252 so that text never disappears.
std::string AnsiToUtf8(std::string_view bytes, unsigned codePage);
std::string Utf8ToAnsi(std::string_view text, unsigned codePage, bool* lossless = nullptr);
// Whether iconv knows the code page (0 resolves to the system's).
bool IsCodePageSupported(unsigned codePage);

// The locale table of Windows language identifiers (LANGID: primary language in bits 0-9,
// sub-language in bits 10-15).
struct TLanguageInfo {
    std::uint16_t LangId;
    const char* Language;  // English name of the language, "German"
    const char* Region;    // "Germany"; empty for a language-neutral entry
    const char* IsoCode;   // ISO 639-1, "de"
    unsigned AnsiCodePage; // 0 for languages Windows writes only in Unicode
};

// The exact entry, or nullptr.
const TLanguageInfo* FindLanguageInfo(std::uint16_t langId);
// "German (Germany)"; a sub-language we do not list falls back to its primary language's
// name ("German"); empty when the primary language is unknown too.
std::string LanguageNameOfId(std::uint16_t langId);
// The default ANSI code page of the language (falling back to its primary language);
// 0 when unknown or when the language has no ANSI code page.
unsigned AnsiCodePageOfLanguageId(std::uint16_t langId);
// The LANGID of a POSIX locale name such as "ru_RU.UTF-8"; 0 when unknown.
std::uint16_t LanguageIdOfLocaleName(std::string_view localeName);
