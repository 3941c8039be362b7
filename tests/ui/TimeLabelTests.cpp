#include "ui/TimeLabel.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(TimeLabel, MinutesBelowAnHourAndHoursFromThenOn) {
    EXPECT_EQ(timeLabel(0), QStringLiteral("0:00"));
    EXPECT_EQ(timeLabel(65.9), QStringLiteral("1:05"));
    EXPECT_EQ(timeLabel(3599.999), QStringLiteral("59:59"));
    EXPECT_EQ(timeLabel(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(timeLabel(4323), QStringLiteral("1:12:03"));
    EXPECT_EQ(timeLabel(75 * 60), QStringLiteral("1:15:00"));
    EXPECT_EQ(timeLabel(100 * 3600 + 1), QStringLiteral("100:00:01"));
}

TEST(TimeLabel, UnusableTimesReadAsZeroAndHugeOnesDoNotOverflow) {
    EXPECT_EQ(timeLabel(-0.5), QStringLiteral("0:00"));
    EXPECT_EQ(timeLabel(-7200), QStringLiteral("0:00"));
    EXPECT_EQ(timeLabel(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("0:00"));
    EXPECT_EQ(timeLabel(std::numeric_limits<double>::infinity()), QStringLiteral("0:00"));
    EXPECT_EQ(timeLabel(-std::numeric_limits<double>::infinity()), QStringLiteral("0:00"));
    EXPECT_FALSE(timeLabel(1e300).isEmpty());
    EXPECT_EQ(timeLabel(1e19).count(QLatin1Char(':')), 2);
}

} // namespace
