#include "platform/SystemTime.h"

#include <chrono>
#include <ctime>

#include "platform/ByteOrder.h"

void WriteSystemTime(const TSystemTime& t, std::uint8_t* out) {
    const std::uint16_t fields[8] = {t.Year, t.Month,  t.DayOfWeek, t.Day,
                                     t.Hour, t.Minute, t.Second,    t.Milliseconds};
    for (int i = 0; i < 8; ++i)
        PutU16(out + 2 * i, fields[i]);
}

TSystemTime ReadSystemTime(const std::uint8_t* in) {
    TSystemTime t;
    t.Year = GetU16(in + 0);
    t.Month = GetU16(in + 2);
    t.DayOfWeek = GetU16(in + 4);
    t.Day = GetU16(in + 6);
    t.Hour = GetU16(in + 8);
    t.Minute = GetU16(in + 10);
    t.Second = GetU16(in + 12);
    t.Milliseconds = GetU16(in + 14);
    return t;
}

// Howard Hinnant's days_from_civil / civil_from_days.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2);
}

TSystemTime LocalSystemTime(std::int64_t epochSeconds, unsigned milliseconds) {
    const auto secs = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    localtime_r(&secs, &local);
    TSystemTime t;
    t.Year = static_cast<std::uint16_t>(local.tm_year + 1900);
    t.Month = static_cast<std::uint16_t>(local.tm_mon + 1);
    t.DayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
    t.Day = static_cast<std::uint16_t>(local.tm_mday);
    t.Hour = static_cast<std::uint16_t>(local.tm_hour);
    t.Minute = static_cast<std::uint16_t>(local.tm_min);
    t.Second = static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);
    t.Milliseconds = static_cast<std::uint16_t>(milliseconds > 999 ? 999 : milliseconds);
    return t;
}

TSystemTime LocalTimeNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return LocalSystemTime(system_clock::to_time_t(now), static_cast<unsigned>(ms < 0 ? 0 : ms));
}

std::int64_t LocalUnixSecondsNow() {
    const TSystemTime t = LocalTimeNow();
    return DaysFromCivil(t.Year, t.Month, t.Day) * 86400 + t.Hour * 3600 + t.Minute * 60 + t.Second;
}
