#include "platform/TextFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <utility>

#include "platform/CodePage.h"

namespace {

constexpr int MaxWidth = 1024;
constexpr int MaxIndex = 999;

enum class TArgKind { Integer, Floating, Text };

struct TPlaceholder {
    std::string Written; // the placeholder as it stands in the format
    int ArgIndex = 0;
    bool LeftAlign = false;
    int Width = -1;
    int Precision = -1;
    char Type = 0; // lower case, except 'X'/'E'/'G' are folded too
    TArgKind Kind = TArgKind::Integer;
};

struct TPiece {
    bool IsPlaceholder = false;
    std::string Literal;
    TPlaceholder Placeholder;
};

struct TParsedFormat {
    std::vector<TPiece> Pieces;
    bool Valid = true;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads up to four digits; more make the number too large for a width.
bool ReadNumber(std::string_view text, std::size_t& pos, int& value) {
    std::size_t start = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        if (pos - start >= 4)
            return false;
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return pos > start;
}

void SkipLengthModifier(std::string_view text, std::size_t& pos) {
    if (text.substr(pos).starts_with("I64")) {
        pos += 3;
        return;
    }
    if (text.substr(pos).starts_with("ll") || text.substr(pos).starts_with("hh")) {
        pos += 2;
        return;
    }
    if (pos < text.size() && std::string_view("hlLqjzt").find(text[pos]) != std::string_view::npos)
        ++pos;
}

bool KindOfType(char type, TArgKind& kind) {
    switch (type) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
        kind = TArgKind::Integer;
        return true;
    case 'e':
    case 'f':
    case 'g':
    case 'n':
        kind = TArgKind::Floating;
        return true;
    case 's':
        kind = TArgKind::Text;
        return true;
    default:
        return false;
    }
}

// Parses one placeholder after its "%"; false when it is not a valid one.
bool ParsePlaceholder(std::string_view text, std::size_t& pos, int& nextIndex,
                      TPlaceholder& placeholder) {
    int number;
    std::size_t save = pos;
    if (ReadNumber(text, pos, number) && pos < text.size() && text[pos] == ':') {
        if (number > MaxIndex)
            return false;
        nextIndex = number;
        ++pos;
    } else {
        pos = save;
    }
    if (pos < text.size() && text[pos] == '-') {
        placeholder.LeftAlign = true;
        ++pos;
    }
    if (pos < text.size() && IsDigit(text[pos])) {
        if (!ReadNumber(text, pos, placeholder.Width) || placeholder.Width > MaxWidth)
            return false;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        if (!ReadNumber(text, pos, placeholder.Precision) || placeholder.Precision > MaxWidth)
            return false;
    }
    SkipLengthModifier(text, pos);
    if (pos >= text.size())
        return false;
    char type = text[pos++];
    placeholder.Type = type >= 'A' && type <= 'Z' ? static_cast<char>(type + 32) : type;
    if (!KindOfType(placeholder.Type, placeholder.Kind))
        return false;
    placeholder.ArgIndex = nextIndex++;
    return true;
}

TParsedFormat ParseFormat(std::string_view text) {
    TParsedFormat parsed;
    std::string literal;
    int nextIndex = 0;
    std::size_t pos = 0;
    auto flushLiteral = [&] {
        if (!literal.empty())
            parsed.Pieces.push_back({false, std::exchange(literal, {}), {}});
    };
    while (pos < text.size()) {
        char c = text[pos];
        if (c != '%') {
            literal += c;
            ++pos;
            continue;
        }
        if (pos + 1 < text.size() && text[pos + 1] == '%') {
            literal += '%';
            pos += 2;
            continue;
        }
        std::size_t start = pos++;
        TPlaceholder placeholder;
        if (ParsePlaceholder(text, pos, nextIndex, placeholder)) {
            placeholder.Written = std::string(text.substr(start, pos - start));
            flushLiteral();
            parsed.Pieces.push_back({true, {}, placeholder});
        } else {
            // Copied as text: only the "%" itself, so what follows is read normally.
            parsed.Valid = false;
            literal += '%';
            pos = start + 1;
        }
    }
    flushLiteral();
    return parsed;
}

std::set<std::pair<int, TArgKind>> ArgumentUse(const TParsedFormat& parsed) {
    std::set<std::pair<int, TArgKind>> use;
    for (const TPiece& piece : parsed.Pieces)
        if (piece.IsPlaceholder)
            use.insert({piece.Placeholder.ArgIndex, piece.Placeholder.Kind});
    return use;
}

std::int64_t ToInteger(const TFormatArg& arg) {
    if (auto* value = std::get_if<std::int64_t>(&arg.Value))
        return *value;
    if (auto* value = std::get_if<double>(&arg.Value)) {
        // Out-of-range and NaN values would make the conversion undefined.
        if (std::isnan(*value))
            return 0;
        if (*value >= 9.2233720368547748e18)
            return std::numeric_limits<std::int64_t>::max();
        if (*value <= -9.2233720368547748e18)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(*value);
    }
    return 0;
}

double ToFloating(const TFormatArg& arg) {
    if (auto* value = std::get_if<double>(&arg.Value))
        return *value;
    if (auto* value = std::get_if<std::int64_t>(&arg.Value))
        return static_cast<double>(*value);
    return 0.0;
}

// Negative values in the 32-bit range show their 32-bit pattern, as the framework's
// integers do; others their 64-bit pattern.
std::uint64_t UnsignedPattern(std::int64_t value) {
    if (value < 0 && value >= std::numeric_limits<std::int32_t>::min())
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    return static_cast<std::uint64_t>(value);
}

std::string ZeroPadded(std::string digits, int precision) {
    if (precision > static_cast<int>(digits.size()))
        digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
    return digits;
}

std::string FormatInteger(const TPlaceholder& placeholder, std::int64_t value) {
    char buffer[32];
    if (placeholder.Type == 'd' || placeholder.Type == 'i') {
        std::uint64_t magnitude =
            value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(magnitude));
        std::string text = value < 0 ? "-" : "";
        text += ZeroPadded(buffer, placeholder.Precision);
        return text;
    }
    const char* pattern = placeholder.Type == 'x' ? "%llX" : "%llu";
    std::snprintf(buffer, sizeof buffer, pattern,
                  static_cast<unsigned long long>(UnsignedPattern(value)));
    return ZeroPadded(buffer, placeholder.Precision);
}

std::string GroupThousands(const std::string& fixed) {
    std::size_t digitsStart = fixed.starts_with("-") ? 1 : 0;
    std::size_t digitsEnd = fixed.find('.');
    if (digitsEnd == std::string::npos)
        digitsEnd = fixed.size();
    std::string grouped = fixed.substr(0, digitsStart);
    for (std::size_t i = digitsStart; i < digitsEnd; ++i) {
        grouped += fixed[i];
        std::size_t left = digitsEnd - i - 1;
        if (left > 0 && left % 3 == 0)
            grouped += ',';
    }
    return grouped + fixed.substr(digitsEnd);
}

std::string FormatFloating(const TPlaceholder& placeholder, double value) {
    std::vector<char> buffer(400);
    // Precision beyond 18 digits carries no information; capping keeps the text bounded.
    auto print = [&](const char* pattern, int precision) {
        int length = std::snprintf(buffer.data(), buffer.size(), pattern, precision, value);
        if (length >= static_cast<int>(buffer.size())) {
            buffer.resize(static_cast<std::size_t>(length) + 1);
            std::snprintf(buffer.data(), buffer.size(), pattern, precision, value);
        }
        return std::string(buffer.data());
    };
    switch (placeholder.Type) {
    case 'f':
        return print("%.*f", std::min(placeholder.Precision < 0 ? 2 : placeholder.Precision, 18));
    case 'n':
        return GroupThousands(
            print("%.*f", std::min(placeholder.Precision < 0 ? 2 : placeholder.Precision, 18)));
    case 'e': {
        // Precision counts all significant digits; the exponent has at least three digits.
        int digits = std::clamp(placeholder.Precision < 0 ? 15 : placeholder.Precision, 1, 18);
        std::string text = print("%.*E", digits - 1);
        std::size_t exponent = text.find('E');
        if (exponent != std::string::npos && exponent + 2 < text.size()) {
            std::size_t firstDigit = exponent + 2;
            while (text.size() - firstDigit < 3)
                text.insert(firstDigit, 1, '0');
        }
        return text;
    }
    default: // 'g'
        return print("%.*G",
                     std::clamp(placeholder.Precision < 0 ? 15 : placeholder.Precision, 1, 18));
    }
}

std::string FormatTextArg(const TPlaceholder& placeholder, const TFormatArg& arg) {
    std::string text;
    if (auto* value = std::get_if<std::string>(&arg.Value)) {
        text = *value;
    } else if (auto* integer = std::get_if<std::int64_t>(&arg.Value)) {
        text = std::to_string(*integer);
    } else {
        TPlaceholder general;
        general.Type = 'g';
        text = FormatFloating(general, std::get<double>(arg.Value));
    }
    if (placeholder.Precision >= 0 &&
        Utf8Length(text) > static_cast<std::size_t>(placeholder.Precision)) {
        // Cut at a character boundary.
        std::size_t pos = 0;
        for (int i = 0; i < placeholder.Precision; ++i)
            DecodeUtf8(text, pos);
        text.resize(pos);
    }
    return text;
}

std::string FormatArg(const TPlaceholder& placeholder, const TFormatArg& arg) {
    std::string text;
    if (placeholder.Kind == TArgKind::Text)
        text = FormatTextArg(placeholder, arg);
    else if (std::holds_alternative<std::string>(arg.Value))
        text = std::get<std::string>(arg.Value); // a text where a number belongs: as it is
    else if (placeholder.Kind == TArgKind::Integer)
        text = FormatInteger(placeholder, ToInteger(arg));
    else
        text = FormatFloating(placeholder, ToFloating(arg));

    std::size_t length = Utf8Length(text);
    if (placeholder.Width > 0 && length < static_cast<std::size_t>(placeholder.Width)) {
        std::string padding(static_cast<std::size_t>(placeholder.Width) - length, ' ');
        text = placeholder.LeftAlign ? text + padding : padding + text;
    }
    return text;
}

std::string Render(const TParsedFormat& parsed, const std::vector<TFormatArg>& args) {
    std::string out;
    for (const TPiece& piece : parsed.Pieces) {
        if (!piece.IsPlaceholder)
            out += piece.Literal;
        else if (piece.Placeholder.ArgIndex < static_cast<int>(args.size()))
            out += FormatArg(piece.Placeholder,
                             args[static_cast<std::size_t>(piece.Placeholder.ArgIndex)]);
        else
            out += piece.Placeholder.Written;
    }
    return out;
}

bool Agree(const TParsedFormat& format, const TParsedFormat& defaultFormat) {
    return format.Valid && ArgumentUse(format) == ArgumentUse(defaultFormat);
}

} // namespace

bool FormatsAgree(const std::string& format, const std::string& defaultFormat) {
    return format == defaultFormat || Agree(ParseFormat(format), ParseFormat(defaultFormat));
}

std::string FormatText(const std::string& format, const std::string& defaultFormat,
                       const std::vector<TFormatArg>& args) {
    TParsedFormat parsedDefault = ParseFormat(defaultFormat);
    if (format == defaultFormat)
        return Render(parsedDefault, args);
    TParsedFormat parsed = ParseFormat(format);
    return Render(Agree(parsed, parsedDefault) ? parsed : parsedDefault, args);
}

std::string FormatText(const std::string& format, const std::vector<TFormatArg>& args) {
    return Render(ParseFormat(format), args);
}
