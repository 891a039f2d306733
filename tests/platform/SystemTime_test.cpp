#include <ctime>
#include <gtest/gtest.h>

#include "platform/SystemTime.h"

TEST(SystemTime, DaysFromCivilMatchesTimegmAcrossRange) {
    // timegm is UTC-only and therefore a time-zone-free reference.
    for (std::int64_t days = -800000; days <= 800000; days += 997) {
        std::int64_t y;
        unsigned m, d;
        CivilFromDays(days, y, m, d);
        EXPECT_EQ(DaysFromCivil(y, m, d), days);
        if (y >= 1900 && y < 2200) {
            std::tm tm{};
            tm.tm_year = static_cast<int>(y - 1900);
            tm.tm_mon = static_cast<int>(m) - 1;
            tm.tm_mday = static_cast<int>(d);
            EXPECT_EQ(static_cast<std::int64_t>(timegm(&tm)), days * 86400);
        }
    }
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
}

TEST(SystemTime, RecordIsSixteenBytesWithDayOfWeekAtFour) {
    TSystemTime t{2026, 12, 4, 10, 8, 50, 20, 999};
    std::uint8_t bytes[16];
    WriteSystemTime(t, bytes);
    EXPECT_EQ(bytes[4], 4);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 2026);
    EXPECT_EQ(ReadSystemTime(bytes), t);
}
