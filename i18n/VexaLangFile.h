#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/VexaLangTranslations.h"

// Reading and writing language files: plain text with header parameters before the first
// section, a "$CONSTANTS" section of text constants and one section per form with texts by
// property identifier.

// Language files larger than this are refused rather than read into memory.
constexpr std::uintmax_t MaxLanguageFileSize = 16u * 1024u * 1024u;

// The file's bytes as UTF-8 text: a UTF-8 or UTF-16 (LE or BE) byte-order mark selects that
// encoding and is dropped; otherwise the bytes are in the system's ANSI code page.
std::string DecodeLanguageFileText(std::string_view bytes);

// Fills target from the text (UTF-8). In parameters-only mode the parse stops at the first
// section header. Throws EVexaLangError "Loading translations failed.\r\nLine %d: %s" with
// the zero-based line index when a line cannot be taken.
void ParseLanguageText(std::string_view text, TVexaLang_CompTranslations& target,
                       bool parametersOnly);

// Reads the whole file and parses it. Throws EVexaLangError when the file cannot be opened
// or read, is too large, or does not parse.
void LoadLanguageFile(const std::string& fileName, TVexaLang_CompTranslations& target,
                      bool parametersOnly);

// The constants of a table as language-source lines: the "[$CONSTANTS]" header, then
// "name=escaped value" of every constant whose flags do not intersect excludeFlags.
void WriteConstantsSource(const TVexaLang_Constants& constants, std::uint8_t excludeFlags,
                          std::vector<std::string>& lines);

class TVexaLanguageManager;

// Installs a TVexaLangFileParser as the manager's reader and registers the language files
// beside the program: "<program base name>_*.lng" in the program's folder, no recursion.
// Returns how many files declared a language.
int ScanProgramLanguageFiles(TVexaLanguageManager& manager, const std::string& programFile);

// The reader the language manager uses for the program's language files.
class TVexaLangFileParser : public TVexaLangFileReader {
public:
    std::uint16_t ReadLanguageId(const std::string& fileName) override;
    std::unique_ptr<TVexaLang_CompTranslations>
    LoadTranslations(const std::string& fileName) override;
};
