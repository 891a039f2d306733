#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

// GetLangConstant: the current text of a named text constant.
#include "i18n/VexaLang.h"

// Recorder times are u32 seconds since 1970-01-01 00:00 of the recorder's local wall clock;
// both directions convert without any time-zone correction.
TSystemTime UnixTimeToSystemTime(std::uint32_t seconds);
// Truncated to whole seconds; a date before 1970 or an impossible calendar time gives 0, and
// a time after 2106 wraps as u32.
std::uint32_t SystemTimeToUnixTime(const TSystemTime& time);

// The executable's folder with a trailing "/", then the text of "RecFilePrefixStr" (a text
// that is no plain file name gives the built-in prefix): the common start of the preset
// and factory-default file names.
std::string GetRecFilePrefixPath();

// A u16 as decimal text.
std::string WordToStr(std::uint16_t value);

// printf-style formatting into a std::string.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats and writes one debug-log line; formats nothing while the log is off.
void WriteDebugLogF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The text of a constant, or its name when the language manager does not know it: a missing
// translation never ends an operation.
std::string LangText(const std::string& name);
// The debug-log line for an exception caught where it may not go further: its text, or
// "unknown error" for one that is no std::exception. Call only inside a catch block.
void LogCaughtException(const std::string& where);

// UTF-16LE text up to its first zero character or maxChars characters, as UTF-8; unpaired
// surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::uint8_t* text, std::size_t maxChars);
