// Y'CbCr to R'G'B' in the shader: every supported plane layout and bit depth, each matrix and
// both ranges, against colours whose codes come from the textbook definitions.
#include "TestFrames.h"

#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OffscreenView.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <array>
#include <string>

namespace {

struct Bar {
    const char* name;
    std::array<int, 3> rgb;
};

const Bar bars[] = {
    {"white", {255, 255, 255}}, {"yellow", {255, 255, 0}},  {"cyan", {0, 255, 255}},
    {"green", {0, 255, 0}},     {"magenta", {255, 0, 255}}, {"red", {255, 0, 0}},
    {"blue", {0, 0, 255}},      {"black", {0, 0, 0}},       {"skin", {224, 172, 140}},
    {"grey", {96, 96, 96}},
};
constexpr int barCount = int(std::size(bars));

// Where a view has to look to see the middle of bar i of a frame split into vertical bars.
ViewAngles lookingAtBar(int i) {
    return {(0.5 - (i + 0.5) / barCount) * 360, 0, 0, 45};
}

VideoFrame barFrame(AVPixelFormat format, int width, AVColorSpace matrix, AVColorRange range,
                    const std::array<TestFrames::YCbCr, barCount>& codes) {
    const int barWidth = width / barCount;
    return TestFrames::make(
        format, width, width / 2, matrix, range,
        [&](int x, int) { return codes[std::min(x / barWidth, barCount - 1)].y; },
        [&](int cx, int) {
            const TestFrames::YCbCr& c = codes[std::min(2 * cx / barWidth, barCount - 1)];
            return std::pair{c.cb, c.cr};
        });
}

void expectBars(LiveGLRenderer& renderer, const VideoFrame& pixels) {
    const auto frame = renderer.makeGLFrame(pixels, 0);
    for (int i = 0; i < barCount; ++i) {
        SCOPED_TRACE(bars[i].name);
        const QImage image = OffscreenView::render(renderer, frame, lookingAtBar(i), QSize(9, 5));
        const QRgb pixel = image.pixel(4, 2);
        EXPECT_NEAR(qRed(pixel), bars[i].rgb[0], 2);
        EXPECT_NEAR(qGreen(pixel), bars[i].rgb[1], 2);
        EXPECT_NEAR(qBlue(pixel), bars[i].rgb[2], 2);
    }
}

struct Matrix {
    const char* name;
    AVColorSpace tag;
    double kr;
    double kb;
};

TEST(ColourConversionTest, ColourBarsInEveryLayoutMatrixAndRange) {
    LiveGLRenderer renderer;
    const Matrix matrices[] = {{"BT.709", AVCOL_SPC_BT709, 0.2126, 0.0722},
                               {"BT.601", AVCOL_SPC_SMPTE170M, 0.299, 0.114},
                               {"BT.601 (470BG)", AVCOL_SPC_BT470BG, 0.299, 0.114},
                               {"BT.2020", AVCOL_SPC_BT2020_NCL, 0.2627, 0.0593}};
    const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P10LE,
                                     AV_PIX_FMT_P010LE};
    for (const AVPixelFormat format : formats) {
        const int bitDepth = (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12) ? 8 : 10;
        for (const Matrix& matrix : matrices) {
            for (const bool fullRange : {false, true}) {
                SCOPED_TRACE(std::string(av_get_pix_fmt_name(format)) + " " + matrix.name +
                             (fullRange ? " full range" : " limited range"));
                std::array<TestFrames::YCbCr, barCount> codes;
                for (int i = 0; i < barCount; ++i) {
                    codes[i] = TestFrames::encode(bars[i].rgb[0] / 255.0, bars[i].rgb[1] / 255.0,
                                                  bars[i].rgb[2] / 255.0, matrix.kr, matrix.kb,
                                                  bitDepth, fullRange);
                }
                expectBars(renderer,
                           barFrame(format, 200, matrix.tag,
                                    fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG, codes));
            }
        }
    }
}

TEST(ColourConversionTest, PublishedBT709BarsInVideoRange) {
    // 100% colour bars of ITU-R BT.709 in 8-bit video range, as test generators emit them; the
    // last two bars (not part of the published set) are encoded here.
    std::array<TestFrames::YCbCr, barCount> published = {{{235, 128, 128},
                                                          {219, 16, 138},
                                                          {188, 154, 16},
                                                          {173, 42, 26},
                                                          {78, 214, 230},
                                                          {63, 102, 240},
                                                          {32, 240, 118},
                                                          {16, 128, 128}}};
    for (int i = 8; i < barCount; ++i) {
        published[i] = TestFrames::encode(bars[i].rgb[0] / 255.0, bars[i].rgb[1] / 255.0,
                                          bars[i].rgb[2] / 255.0, 0.2126, 0.0722, 8, false);
    }
    LiveGLRenderer renderer;
    expectBars(renderer,
               barFrame(AV_PIX_FMT_YUV420P, 200, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, published));
    std::array<TestFrames::YCbCr, barCount> tenBit = published;
    for (TestFrames::YCbCr& c : tenBit) {
        c = {c.y * 4, c.cb * 4, c.cr * 4};
    }
    expectBars(renderer,
               barFrame(AV_PIX_FMT_P010LE, 200, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, tenBit));
}

TEST(ColourConversionTest, UntaggedFramesAreVideoRangeBT709WhenHDAndBT601Below) {
    LiveGLRenderer renderer;
    for (const int width : {1280, 640}) {
        SCOPED_TRACE(width);
        const bool hd = width >= 1280;
        std::array<TestFrames::YCbCr, barCount> codes;
        for (int i = 0; i < barCount; ++i) {
            codes[i] = TestFrames::encode(bars[i].rgb[0] / 255.0, bars[i].rgb[1] / 255.0,
                                          bars[i].rgb[2] / 255.0, hd ? 0.2126 : 0.299,
                                          hd ? 0.0722 : 0.114, 8, false);
        }
        expectBars(renderer, barFrame(AV_PIX_FMT_NV12, width, AVCOL_SPC_UNSPECIFIED,
                                      AVCOL_RANGE_UNSPECIFIED, codes));
    }
}

} // namespace
