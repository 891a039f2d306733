#pragma once

#include <cstdint>

// The calendar time record the recorder's clock and the WAV information use:
// eight 16-bit fields, 16 bytes, DayOfWeek at offset 4 (0 = Sunday).
struct TSystemTime {
    std::uint16_t Year = 0;
    std::uint16_t Month = 0;
    std::uint16_t DayOfWeek = 0;
    std::uint16_t Day = 0;
    std::uint16_t Hour = 0;
    std::uint16_t Minute = 0;
    std::uint16_t Second = 0;
    std::uint16_t Milliseconds = 0;

    bool operator==(const TSystemTime&) const = default;
};
static_assert(sizeof(TSystemTime) == 16);

constexpr int SystemTimeSize = 16;
void WriteSystemTime(const TSystemTime& time, std::uint8_t* out16);
TSystemTime ReadSystemTime(const std::uint8_t* in16);

// Days since 1970-01-01 of a proleptic Gregorian date, and back; no time zone anywhere.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day);

// The local wall-clock time of a moment given in seconds since the epoch (a file's time, say);
// a leap second reads as 59.
TSystemTime LocalSystemTime(std::int64_t epochSeconds, unsigned milliseconds);
// Local wall-clock time now, with milliseconds.
TSystemTime LocalTimeNow();
// Local wall-clock time now as seconds since 1970-01-01 00:00 of the same wall clock.
std::int64_t LocalUnixSecondsNow();
