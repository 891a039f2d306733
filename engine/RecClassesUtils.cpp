#include "engine/RecClassesUtils.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <exception>
#include <vector>

#include "engine/RecClassesProfiles.h"
#include "link/DebugLog.h"
#include "platform/CodePage.h"

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
    return RecFilePrefixPath(ProgramFolder());
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
        LogCaughtException("Text constant " + name + " (its name is shown)");
        return name;
    }
}

void LogCaughtException(const std::string& where) {
    try {
        throw;
    } catch (const std::exception& error) {
        WriteDebugLog("ERROR: " + where + ": " + error.what());
    } catch (...) {
        WriteDebugLog("ERROR: " + where + ": unknown error");
    }
}

std::string Utf16LeToUtf8(const std::uint8_t* text, std::size_t maxChars) {
    std::u16string units;
    for (std::size_t i = 0; i < maxChars; ++i) {
        const auto unit = static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    return Utf16ToUtf8(units);
}
