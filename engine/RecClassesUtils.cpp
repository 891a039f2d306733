#include "engine/RecClassesUtils.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>
#include <vector>

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
