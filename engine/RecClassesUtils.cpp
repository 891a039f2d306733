#include "engine/RecClassesUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>
#include <vector>

#include "link/DebugLog.h"

#ifndef QUORVEX_ENGINE_HAS_LANG
std::string GetLangConstant(const std::string& name) {
    return name;
}
#endif

namespace {
constexpr std::int64_t SecondsPerDay = 86400;
}

TSystemTime UnixTimeToSystemTime(std::uint32_t seconds) {
    const std::int64_t days = seconds / SecondsPerDay;
    const std::int64_t rest = seconds % SecondsPerDay;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    TSystemTime t;
    t.Year = static_cast<std::uint16_t>(year);
    t.Month = static_cast<std::uint16_t>(month);
    t.Day = static_cast<std::uint16_t>(day);
    t.DayOfWeek = static_cast<std::uint16_t>((days + 4) % 7); // 1970-01-01 was a Thursday
    t.Hour = static_cast<std::uint16_t>(rest / 3600);
    t.Minute = static_cast<std::uint16_t>(rest / 60 % 60);
    t.Second = static_cast<std::uint16_t>(rest % 60);
    return t;
}

std::uint32_t SystemTimeToUnixTime(const TSystemTime& t) {
    if (t.Year < 1970 || t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 ||
        t.Minute > 59 || t.Second > 59)
        return 0;
    const std::int64_t days = DaysFromCivil(t.Year, t.Month, t.Day);
    const std::int64_t seconds = days * SecondsPerDay + t.Hour * 3600 + t.Minute * 60 + t.Second;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds));
}

std::string GetRecFilePrefixPath() {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string folder;
    if (n > 0) {
        folder.assign(buffer.data(), static_cast<std::size_t>(n));
        folder.erase(folder.find_last_of('/') + 1);
    }
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder + GetLangConstant("RecFilePrefixStr");
}

std::string WordToStr(std::uint16_t value) {
    return std::to_string(value);
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return text;
}

void WriteDebugLogF(const char* format, ...) {
    if (GetDebugLogLevel() == 0)
        return;
    va_list args;
    va_start(args, format);
    char buffer[512];
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n >= 0)
        WriteDebugLog(std::string(
            buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1)));
}

std::string LangText(const std::string& name) {
    try {
        std::string text = GetLangConstant(name);
        return text;
    } catch (...) {
        return name;
    }
}

namespace {
void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}
} // namespace

std::string Utf16LeToUtf8(const std::uint8_t* text, std::size_t maxChars) {
    std::string out;
    for (std::size_t i = 0; i < maxChars; ++i) {
        const char16_t unit = static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < maxChars) {
            const char16_t low = static_cast<char16_t>(text[2 * i + 2] | (text[2 * i + 3] << 8));
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? char32_t{0xFFFD} : char32_t{unit});
    }
    return out;
}
