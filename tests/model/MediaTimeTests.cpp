#include "model/MediaTime.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {
constexpr std::int64_t i64max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t i64min = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t i32max = std::numeric_limits<std::int32_t>::max();
} // namespace

TEST(MediaTime, ComparesExactlyAcrossTimescales) {
    EXPECT_EQ(MediaTime::make(1001, 30000), MediaTime::make(2002, 60000));
    EXPECT_LT(MediaTime::make(1001, 30000), MediaTime::make(1002, 30000));
    // One tick apart at a huge timescale is still told apart, which doubles could not do.
    EXPECT_LT(MediaTime::make(i64max - 1, i32max), MediaTime::make(i64max, i32max));
    // Products near 2^94 must not overflow: i64max/1 against i64max/2.
    EXPECT_GT(MediaTime::make(i64max, 1), MediaTime::make(i64max, 2));
    EXPECT_LT(MediaTime::make(i64min, 1), MediaTime::make(i64min, i32max));
    EXPECT_EQ(MediaTime::make(i64max, i32max), MediaTime::make(i64max, i32max));
}

TEST(MediaTime, OrdersNonNumericTimes) {
    const MediaTime number = MediaTime::make(5, 1);
    EXPECT_LT(MediaTime::negativeInfinity(), number);
    EXPECT_LT(number, MediaTime::indefinite());
    EXPECT_LT(MediaTime::indefinite(), MediaTime::positiveInfinity());
    EXPECT_LT(MediaTime::positiveInfinity(), MediaTime::invalid());
    EXPECT_EQ(MediaTime::invalid(), MediaTime::invalid());
    MediaTime laterEpoch = MediaTime::make(0, 1);
    laterEpoch.epoch = 1;
    EXPECT_GT(laterEpoch, MediaTime::make(1000, 1));
}

TEST(MediaTime, AddsAndSubtractsExactlyOrGivesUp) {
    const MediaTime sum = MediaTime::make(1001, 30000) + MediaTime::make(1001, 30000);
    EXPECT_EQ(sum.value, 2002);
    EXPECT_EQ(sum.timescale, 30000);

    const MediaTime mixed = MediaTime::make(1, 25) + MediaTime::make(1001, 30000);
    EXPECT_EQ(mixed, MediaTime::make(1200 + 1001, 30000));

    const MediaTime difference = MediaTime::make(1, 25) - MediaTime::make(2, 25);
    EXPECT_EQ(difference, MediaTime::make(-1, 25));

    EXPECT_FALSE((MediaTime::make(i64max, 1) + MediaTime::make(1, 1)).isNumeric());
    EXPECT_FALSE((MediaTime::make(i64min, 1) - MediaTime::make(1, 1)).isNumeric());
    // Coprime large timescales: no common timescale fits 32 bits and the sum does not reduce.
    EXPECT_FALSE((MediaTime::make(1, 2147483647) + MediaTime::make(1, 2147483629)).isNumeric());
    EXPECT_FALSE((MediaTime::invalid() + MediaTime::make(1, 1)).isValid());
    EXPECT_TRUE((MediaTime::positiveInfinity() + MediaTime::make(1, 1)).isPositiveInfinity());
}

TEST(MediaTime, ReducedDropsRoundingAndLeavesOthersAlone) {
    const MediaTime r = reduced(MediaTime::make(300300, 30000));
    EXPECT_EQ(r.value, 1001);
    EXPECT_EQ(r.timescale, 100);
    EXPECT_EQ(r.flags, std::uint32_t(MediaTime::Valid));

    MediaTime rounded = MediaTime::make(2002, 60000);
    rounded.flags |= MediaTime::HasBeenRounded;
    EXPECT_FALSE(reduced(rounded).hasBeenRounded());
    EXPECT_EQ(reduced(MediaTime::make(0, 600)).timescale, 1);
    const MediaTime negative = reduced(MediaTime::make(-4, 6));
    EXPECT_EQ(negative.value, -2);
    EXPECT_EQ(negative.timescale, 3);

    MediaTime otherEpoch = MediaTime::make(10, 20);
    otherEpoch.epoch = 2;
    for (const MediaTime& t : {MediaTime::invalid(), MediaTime::positiveInfinity(),
                               MediaTime::indefinite(), otherEpoch}) {
        const MediaTime same = reduced(t);
        EXPECT_EQ(same.value, t.value);
        EXPECT_EQ(same.timescale, t.timescale);
        EXPECT_EQ(same.flags, t.flags);
        EXPECT_EQ(same.epoch, t.epoch);
    }
}

TEST(MediaTime, ConvertsSecondsAndMarksRounding) {
    EXPECT_DOUBLE_EQ(MediaTime::make(1001, 30000).seconds(), 1001.0 / 30000.0);
    const MediaTime exact = MediaTime::fromSeconds(2.5, 600);
    EXPECT_EQ(exact.value, 1500);
    EXPECT_FALSE(exact.hasBeenRounded());
    const MediaTime inexact = MediaTime::fromSeconds(0.1234, 600);
    EXPECT_EQ(inexact.value, 74);
    EXPECT_TRUE(inexact.hasBeenRounded());
    EXPECT_FALSE(MediaTime::fromSeconds(std::nan(""), 600).isValid());
    EXPECT_TRUE(MediaTime::fromSeconds(1e300, 600).isPositiveInfinity());
}
