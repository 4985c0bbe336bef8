#include "core/DateTime.h"

#include <gtest/gtest.h>

using namespace morvane;

TEST(DateTime, EncodeAndDecodeAgreeWithTheSystemsDayCount)
{
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1), 2.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime(2024, 3, 5, 12), 45356.5);

    const auto parts = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ(parts.year, 2024);
    EXPECT_EQ(parts.month, 2);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 23);
    EXPECT_EQ(parts.minute, 59);
    EXPECT_EQ(parts.second, 59);
    EXPECT_EQ(parts.millisecond, 999);
    EXPECT_EQ(parts.dayOfWeek, 5); // Thursday
    EXPECT_EQ(DaysInMonth(2023, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
}

TEST(DateTime, ClockCanBeSetForAScope)
{
    const TDateTime fixed = EncodeDateTime(2024, 3, 5, 10, 15);
    {
        ScopedClock clock([fixed] { return fixed; });
        EXPECT_DOUBLE_EQ(Now(), fixed);
    }
    EXPECT_GT(Now(), EncodeDateTime(2025, 1, 1));
}
