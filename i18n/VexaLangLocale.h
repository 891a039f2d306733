#pragma once

#include <cstdint>
#include <string>

// Locale lookups of the translation engine over the platform's language table.

// The default ANSI code page of a language; the system's ANSI code page when the
// language is unknown or has none of its own.
unsigned CodePageOfLanguage(std::uint16_t langId);

// The display name of a language; the identifier in decimal when the table has none.
std::string LanguageDisplayName(std::uint16_t langId);
