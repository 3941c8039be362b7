// The GPU projection against a double-precision CPU reference, on a calibration frame whose
// colour changes from one longitude/latitude cell to the next.
#include "ProjectionReference.h"
#include "TestFrames.h"

#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OffscreenView.h"
#include "preview/gl/PreviewUniforms.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int sourceWidth = 512;
constexpr int sourceHeight = 256;
constexpr int cellSize = 32; // 16 cells around, 8 from pole to pole

// Every cell its own colour, except the top and bottom rows, each one colour all the way round,
// so that what a view shows at a pole does not depend on its (undefined) longitude there. The
// steps between neighbouring cells are kept moderate: across a one-texel edge, the sampler's
// sub-texel precision (8 bits on llvmpipe) must not by itself use up the tolerance.
TestFrames::YCbCr cellColour(int column, int row) {
    if (row == 0) {
        return {150, 110, 140};
    }
    if (row == sourceHeight / cellSize - 1) {
        return {60, 150, 110};
    }
    return {50 + (column * 37 + row * 53) % 120, 90 + (column * 29 + row * 17) % 76,
            90 + (column * 13 + row * 41) % 76};
}

VideoFrame calibrationFrame(AVPixelFormat format = AV_PIX_FMT_YUV420P) {
    const int scale = format == AV_PIX_FMT_YUV420P10LE ? 4 : 1;
    return TestFrames::make(
        format, sourceWidth, sourceHeight, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
        [=](int x, int y) { return scale * cellColour(x / cellSize, y / cellSize).y; },
        [=](int cx, int cy) {
            const TestFrames::YCbCr c = cellColour(2 * cx / cellSize, 2 * cy / cellSize);
            return std::pair{scale * c.cb, scale * c.cr};
        });
}

double channelDifference(const QImage& image, int x, int y, const std::array<double, 3>& rgb) {
    const QRgb pixel = image.pixel(x, y);
    return std::max({std::abs(qRed(pixel) - rgb[0]), std::abs(qGreen(pixel) - rgb[1]),
                     std::abs(qBlue(pixel) - rgb[2])});
}

// How far a drawn pixel is from the reference. OpenGL lets an implementation filter 8-bit
// textures at 8-bit precision (llvmpipe does), so for 8-bit planes each filtered plane value may
// come back as either neighbouring whole code; the distance is then to the nearest colour those
// codes give. Sixteen-bit planes are filtered in floating point and compared exactly.
double distanceFromReference(const QImage& image, int x, int y,
                             const ProjectionReference::YCbCrSample& codes, bool eightBitPlanes) {
    if (!eightBitPlanes) {
        return channelDifference(image, x, y, ProjectionReference::toRgb(codes));
    }
    std::array<double, 3> low{255, 255, 255};
    std::array<double, 3> high{0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
        const auto pick = [&](double value, int bit) {
            return (corner >> bit) & 1 ? std::ceil(value) : std::floor(value);
        };
        const auto rgb =
            ProjectionReference::toRgb({pick(codes.y, 0), pick(codes.cb, 1), pick(codes.cr, 2)});
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], rgb[c]);
            high[c] = std::max(high[c], rgb[c]);
        }
    }
    const QRgb pixel = image.pixel(x, y);
    const int drawn[3] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
    double distance = 0;
    for (int c = 0; c < 3; ++c) {
        distance = std::max({distance, low[c] - drawn[c], drawn[c] - high[c]});
    }
    return distance;
}

struct Framing {
    const char* name;
    ViewAngles angles;
    int width;
    int height;
};

class ProjectionTest : public ::testing::Test {
protected:
    LiveGLRenderer renderer;
    VideoFrame source = calibrationFrame();
    std::shared_ptr<const LiveGLFrame> frame = renderer.makeGLFrame(source, 0);
};

TEST_F(ProjectionTest, MatchesTheReferenceAwayFromThePoles) {
    const Framing framings[] = {
        {"straight ahead", {0, 0, 0, 90}, 192, 108},
        {"pan 90 portrait", {90, 0, 0, 90}, 108, 192},
        {"pan -90 narrow", {-90, 0, 0, 45}, 192, 108},
        {"pan 180 wide across the seam", {180, 0, 0, 125}, 192, 108},
        {"tilt 90", {0, 90, 0, 90}, 192, 108},
        {"tilt -90 wide portrait", {0, -90, 0, 125}, 108, 192},
        {"roll 45", {30, 20, 45, 90}, 192, 108},
        {"everything turned, portrait", {-135, -30, -20, 60}, 108, 192},
        {"wide, looking up", {10, 45, 0, 125}, 191, 107},
        {"narrow, odd size", {170, -10, 10, 45}, 107, 191},
    };
    const VideoFrame tenBitSource = calibrationFrame(AV_PIX_FMT_YUV420P10LE);
    const auto tenBitFrame = renderer.makeGLFrame(tenBitSource, 0);
    for (const bool eightBit : {true, false}) {
        const VideoFrame& pixels = eightBit ? source : tenBitSource;
        for (const Framing& framing : framings) {
            SCOPED_TRACE(std::string(framing.name) + (eightBit ? ", 8-bit" : ", 10-bit"));
            const QImage image =
                OffscreenView::render(renderer, eightBit ? frame : tenBitFrame, framing.angles,
                                      QSize(framing.width, framing.height));
            ASSERT_EQ(image.size(), QSize(framing.width, framing.height));
            int compared = 0;
            int worstX = -1, worstY = -1;
            double worst = 0;
            for (int y = 0; y < framing.height; ++y) {
                for (int x = 0; x < framing.width; ++x) {
                    const auto point = ProjectionReference::sourcePoint(
                        framing.angles, framing.width, framing.height, x, y);
                    // Within two texels of a pole, longitude is too ill-conditioned to compare.
                    if (point.v * sourceHeight < 2 || point.v * sourceHeight > sourceHeight - 2) {
                        continue;
                    }
                    ++compared;
                    const double difference = distanceFromReference(
                        image, x, y, ProjectionReference::sample(pixels, point), eightBit);
                    if (difference > worst) {
                        worst = difference;
                        worstX = x;
                        worstY = y;
                    }
                }
            }
            EXPECT_GT(compared, framing.width * framing.height / 2);
            EXPECT_LE(worst, 2.0) << "worst pixel (" << worstX << ", " << worstY << ")";
        }
    }
}

TEST_F(ProjectionTest, TheSeamBlendsBothEdgesOfTheSource) {
    // The centre of an odd-sized view at pan 180 looks exactly at the seam, in the middle of a
    // cell row; the sampler must mix the last column with the first.
    const ViewAngles angles{180, 11.25, 0, 45};
    const QImage image = OffscreenView::render(renderer, frame, angles, QSize(63, 35));
    const auto point = ProjectionReference::sourcePoint(angles, 63, 35, 31, 17);
    ASSERT_NEAR(std::min(point.u, 1 - point.u), 0.0, 1e-9);
    ASSERT_NEAR(point.v, 3.5 / 8, 1e-9);
    const auto blended = ProjectionReference::sampleRgb(source, point);
    const auto leftEdge = ProjectionReference::sampleRgb(source, {0.5 / sourceWidth, point.v});
    const auto rightEdge = ProjectionReference::sampleRgb(source, {1 - 0.5 / sourceWidth, point.v});
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(blended[c], (leftEdge[c] + rightEdge[c]) / 2, 0.01);
    }
    EXPECT_LE(
        distanceFromReference(image, 31, 17, ProjectionReference::sample(source, point), true),
        2.0);
    EXPECT_GT(channelDifference(image, 31, 17, leftEdge), 8.0);
    EXPECT_GT(channelDifference(image, 31, 17, rightEdge), 8.0);
}

TEST_F(ProjectionTest, ThePolesNeverBlendTopWithBottom) {
    for (double tilt : {90.0, -90.0}) {
        SCOPED_TRACE(tilt);
        const ViewAngles angles{37, tilt, 0, 45};
        const QImage image = OffscreenView::render(renderer, frame, angles, QSize(33, 33));
        const ProjectionReference::SourcePoint pole{0.5, tilt > 0 ? 0.0 : 1.0};
        const auto clamped = ProjectionReference::sampleRgb(source, pole);
        const auto wrapped = ProjectionReference::sampleRgb(source, pole, true);
        ASSERT_GT(std::abs(clamped[0] - wrapped[0]), 20.0);
        // The middle of the view lies well inside the polar cap: every pixel there is the cap's
        // own colour, never the mix with the opposite pole.
        for (int y = 12; y <= 20; ++y) {
            for (int x = 12; x <= 20; ++x) {
                EXPECT_LE(channelDifference(image, x, y, clamped), 2.0) << x << ", " << y;
            }
        }
    }
}

// A frame whose grey level says where it was sampled: luma is the column (or the row), so a
// pixel's grey gives the source coordinate to within a texel.
VideoFrame rampFrame(bool alongLongitude) {
    return TestFrames::make(
        AV_PIX_FMT_YUV420P, 256, 256, AVCOL_SPC_BT709, AVCOL_RANGE_JPEG,
        [=](int x, int y) { return alongLongitude ? x : y; },
        [](int, int) {
            return std::pair{128, 128};
        });
}

TEST_F(ProjectionTest, TheCentreOfTheViewLooksWherePanAndTiltSay) {
    LiveGLRenderer ramps;
    const auto across = ramps.makeGLFrame(rampFrame(true), 0);
    const auto down = ramps.makeGLFrame(rampFrame(false), 0);
    // Grey g comes from texel coordinate g, that is from source coordinate (g + 0.5) / 256.
    const auto coordinate = [](const QImage& image) {
        return (qGreen(image.pixel(image.width() / 2, image.height() / 2)) + 0.5) / 256;
    };
    const QSize odd(41, 23);
    EXPECT_NEAR(coordinate(OffscreenView::render(ramps, across, {0, 0, 0, 90}, odd)), 0.5, 0.003);
    EXPECT_NEAR(coordinate(OffscreenView::render(ramps, across, {90, 0, 0, 90}, odd)), 0.25, 0.003);
    EXPECT_NEAR(coordinate(OffscreenView::render(ramps, across, {-90, 0, 0, 90}, odd)), 0.75,
                0.003);
    EXPECT_NEAR(coordinate(OffscreenView::render(ramps, down, {0, 0, 0, 90}, odd)), 0.5, 0.003);
    for (double roll : {-60.0, 45.0, 170.0}) {
        EXPECT_NEAR(coordinate(OffscreenView::render(ramps, across, {90, 0, roll, 90}, odd)), 0.25,
                    0.003);
    }
    // Looking straight up samples the top row and nothing below it.
    EXPECT_EQ(qGreen(OffscreenView::render(ramps, down, {0, 90, 0, 90}, odd)
                         .pixel(odd.width() / 2, odd.height() / 2)),
              0);
}

TEST(PreviewUniformsTest, FullHDAtViewWidth90) {
    const PreviewUniforms uniforms = PreviewUniforms::forView({0, 0, 0, 90}, 1920, 1080);
    EXPECT_FLOAT_EQ(uniforms.rotationFov[3], 0.73474514f);
    EXPECT_FLOAT_EQ(uniforms.aspect[0], 0.5625f);
    EXPECT_FLOAT_EQ(uniforms.aspect[1], 0.19006097f);
    // Portrait: the longer side is the height, so the width spans less of the plane.
    const PreviewUniforms portrait = PreviewUniforms::forView({90, -30, 45, 90}, 1080, 1920);
    EXPECT_FLOAT_EQ(portrait.rotationFov[3], 0.73474514f * 0.5625f);
    EXPECT_FLOAT_EQ(portrait.aspect[0], 1920.0f / 1080.0f);
    EXPECT_FLOAT_EQ(portrait.rotationFov[0], -1.5707964f);
    EXPECT_FLOAT_EQ(portrait.rotationFov[1], -0.5235988f);
    EXPECT_FLOAT_EQ(portrait.rotationFov[2], 0.7853982f);
}

} // namespace
