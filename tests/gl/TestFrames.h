#pragma once

#include "preview/player/VideoFrame.h"

#include <QRgb>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

// Decoded frames built in memory, as the player would hand them over.
namespace TestFrames {

struct YCbCr {
    int y, cb, cr;
};
// BT.709 video-range codes of pure red, green and blue.
constexpr YCbCr red{63, 102, 240}, green{173, 42, 26}, blue{32, 240, 118};

// A yuv420p, nv12, yuv420p10le or p010le frame of the given code values (in the format's own bit
// depth) at each luma and each chroma position, its lines padded as FFmpeg pads them.
inline VideoFrame make(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                       AVColorRange range, const std::function<int(int x, int y)>& luma,
                       const std::function<std::pair<int, int>(int cx, int cy)>& chroma) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->colorspace = matrix;
    frame->color_range = range;
    VideoFrame owned(frame);
    if (av_frame_get_buffer(frame, 0) < 0)
        throw std::runtime_error("av_frame_get_buffer failed");
    const bool interleaved = format == AV_PIX_FMT_NV12 || format == AV_PIX_FMT_P010LE;
    const bool words = format == AV_PIX_FMT_YUV420P10LE || format == AV_PIX_FMT_P010LE;
    const int shift = format == AV_PIX_FMT_P010LE ? 6 : 0;
    const auto store = [&](int plane, int y, int index, int value) {
        std::uint8_t* line = frame->data[plane] + std::ptrdiff_t(y) * frame->linesize[plane];
        const auto word = std::uint16_t(value << shift); // its low byte first, as on every target
        std::memcpy(line + index * (words ? 2 : 1), &word, words ? 2 : 1);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            store(0, y, x, luma(x, y));
    for (int cy = 0; cy < (height + 1) / 2; ++cy) {
        for (int cx = 0; cx < (width + 1) / 2; ++cx) {
            const auto [cb, cr] = chroma(cx, cy);
            store(1, cy, interleaved ? 2 * cx : cx, cb);
            store(interleaved ? 1 : 2, cy, interleaved ? 2 * cx + 1 : cx, cr);
        }
    }
    return owned;
}

// One BT.709 video-range colour everywhere, in 8-bit yuv420p.
inline VideoFrame uniform(YCbCr c, int width = 64, int height = 32) {
    return make(
        AV_PIX_FMT_YUV420P, width, height, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
        [&](int, int) { return c.y; }, [&](int, int) { return std::make_pair(c.cb, c.cr); });
}

// The codes of an R'G'B' colour (0…255) by the textbook, for luma weights, bit depth and range.
inline YCbCr encode(std::array<int, 3> rgb, double kr, double kb, int bitDepth, bool fullRange) {
    const double r = rgb[0] / 255.0, g = rgb[1] / 255.0, b = rgb[2] / 255.0;
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2 * (1 - kb)), cr = (r - y) / (2 * (1 - kr));
    const double scale = std::ldexp(1.0, bitDepth - 8), top = std::ldexp(1.0, bitDepth) - 1;
    const auto code = [&](double v) { return int(std::lround(std::clamp(v, 0.0, top))); };
    if (fullRange)
        return {code(y * top), code((top + 1) / 2 + cb * top), code((top + 1) / 2 + cr * top)};
    return {code((16 + 219 * y) * scale), code((128 + 224 * cb) * scale),
            code((128 + 224 * cr) * scale)};
}

// Within 2/255 per channel: the codes of a colour are rounded.
inline bool near(QRgb drawn, QRgb expected, int tolerance = 2) {
    return std::max({std::abs(qRed(drawn) - qRed(expected)),
                     std::abs(qGreen(drawn) - qGreen(expected)),
                     std::abs(qBlue(drawn) - qBlue(expected))}) <= tolerance;
}

} // namespace TestFrames
