#include "model/NativeProjection.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {
double round3(double x) {
    return std::round(x * 1000) / 1000;
}
} // namespace

TEST(NativeProjection, CoverageMatchesKnownFigures) {
    const Coverage narrow = NativeProjection::coverage(45, 16.0 / 9.0);
    EXPECT_DOUBLE_EQ(round3(narrow.horizontal), 38.647);
    EXPECT_DOUBLE_EQ(round3(narrow.vertical), 23.093);
    const Coverage normal = NativeProjection::coverage(90, 16.0 / 9.0);
    EXPECT_DOUBLE_EQ(round3(normal.horizontal), 85.536);
    EXPECT_DOUBLE_EQ(round3(normal.vertical), 53.236);
    const Coverage wide = NativeProjection::coverage(125, 16.0 / 9.0);
    EXPECT_DOUBLE_EQ(round3(wide.horizontal), 142.321);
    EXPECT_DOUBLE_EQ(round3(wide.vertical), 88.241);
}

TEST(NativeProjection, InterpolatesClampsAndFallsBackTo90) {
    const auto mid = NativeProjection::parameters(47.5);
    EXPECT_NEAR(mid.focalLength, 0.7114563111635, 1e-12);
    EXPECT_NEAR(mid.sphereOffset, -0.4399604925135, 1e-12);

    const NativeProjectionParameters row90{0.680508099233, 0.190060970245};
    EXPECT_EQ(NativeProjection::parameters(90), row90);
    const NativeProjectionParameters first{0.723513489537, -0.464836132957};
    const NativeProjectionParameters last{0.678136895508, 0.960690261596};
    EXPECT_EQ(NativeProjection::parameters(45), first);
    EXPECT_EQ(NativeProjection::parameters(30), first);
    EXPECT_EQ(NativeProjection::parameters(-1e308), first);
    EXPECT_EQ(NativeProjection::parameters(125), last);
    EXPECT_EQ(NativeProjection::parameters(200), last);
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(NativeProjection::parameters(bad), row90);
    // Every multiple of 5 lands on its own row exactly, with no interpolation residue.
    for (std::size_t i = 0; i < NativeProjection::table.size(); ++i) {
        const auto p = NativeProjection::parameters(45.0 + 5.0 * double(i));
        EXPECT_EQ(p.focalLength, NativeProjection::table[i].focalLength) << i;
        EXPECT_EQ(p.sphereOffset, NativeProjection::table[i].sphereOffset) << i;
    }
}

TEST(NativeProjection, DirectionsAreUnitVectorsForEveryRow) {
    for (const auto& row : NativeProjection::table) {
        const NativeProjectionParameters p{row.focalLength, row.sphereOffset};
        const Vector3 centre = p.sphereDirection(0, 0);
        EXPECT_DOUBLE_EQ(centre.x, 0);
        EXPECT_DOUBLE_EQ(centre.y, 0);
        EXPECT_NEAR(centre.z, 1, 1e-15);
        for (double x = -3; x <= 3; x += 0.25) {
            for (double y = -3; y <= 3; y += 0.25) {
                const Vector3 d = p.sphereDirection(x, y);
                EXPECT_NEAR(std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z), 1.0, 1e-12)
                    << x << "," << y;
            }
        }
    }
}

TEST(NativeProjection, AspectRatiosSwapAndBadOnesFallBack) {
    for (double w = 45; w <= 125; w += 2.5) {
        for (double a : {16.0 / 9.0, 4.0 / 3.0, 2.0, 1.0}) {
            const Coverage c = NativeProjection::coverage(w, a);
            const Coverage swapped = NativeProjection::coverage(w, 1 / a);
            EXPECT_NEAR(c.horizontal, swapped.vertical, 1e-9);
            EXPECT_NEAR(c.vertical, swapped.horizontal, 1e-9);
        }
    }
    const Coverage fallback = NativeProjection::coverage(90, 16.0 / 9.0);
    for (double bad : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        const Coverage c = NativeProjection::coverage(90, bad);
        EXPECT_EQ(c.horizontal, fallback.horizontal);
        EXPECT_EQ(c.vertical, fallback.vertical);
    }
}
