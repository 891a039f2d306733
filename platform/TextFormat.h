#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One argument of a formatted message: an integer, a floating-point number or a text.
struct TFormatArg {
    std::variant<std::int64_t, double, std::string> Value;

    // Unsigned values above the int64 range wrap; they never occur in the program's messages.
    template <std::integral T> TFormatArg(T value) : Value(static_cast<std::int64_t>(value)) {}
    template <std::floating_point T> TFormatArg(T value) : Value(static_cast<double>(value)) {}
    TFormatArg(std::string value) : Value(std::move(value)) {}
    TFormatArg(std::string_view value) : Value(std::string(value)) {}
    TFormatArg(const char* value) : Value(std::string(value != nullptr ? value : "")) {}
};

// Formats a message whose format comes from a text constant, safely whatever the format
// holds. The format language is the framework's:
//   "%" [index ":"] ["-"] [width] ["." precision] [length modifier] type
// with the types d i (integer), u (unsigned), x X (upper-case hexadecimal), f (fixed,
// two decimals by default), e E (scientific), g G (general), n (fixed with thousands
// separators), s (text), and "%%" for a percent sign. Type letters are case-insensitive;
// length modifiers (h l ll L I64 q j z t) are accepted and ignored, since every integer
// argument is 64 bits. Width and precision above 1024 make the placeholder invalid.
//
// format is the current (possibly translated) text and defaultFormat the English one. The
// translation is used only when it is valid and uses the same arguments in the same way
// (each argument index with the same kind: integer, floating or text); otherwise the
// default is used. Within the chosen format an argument of another kind is converted,
// a missing argument leaves its placeholder as written, and an invalid placeholder is
// copied as text.
std::string FormatText(const std::string& format, const std::string& defaultFormat,
                       const std::vector<TFormatArg>& args);

// The same with one format that has no default to fall back to.
std::string FormatText(const std::string& format, const std::vector<TFormatArg>& args);

// Whether a translated format may stand in for the default (see FormatText).
bool FormatsAgree(const std::string& format, const std::string& defaultFormat);
