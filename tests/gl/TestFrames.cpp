#include "TestFrames.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace TestFrames {

namespace {

void store(AVFrame* frame, int plane, int x, int y, int component, int components, int value,
           int bytes, int shift) {
    std::uint8_t* row = frame->data[plane] + std::ptrdiff_t(y) * frame->linesize[plane];
    if (bytes == 1) {
        row[x * components + component] = std::uint8_t(value);
    } else {
        const auto word = std::uint16_t(value << shift);
        std::memcpy(row + (x * components + component) * 2, &word, 2);
    }
}

} // namespace

VideoFrame make(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                AVColorRange range, const std::function<int(int x, int y)>& luma,
                const std::function<std::pair<int, int>(int cx, int cy)>& chroma) {
    AVFrame* frame = av_frame_alloc();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    frame->colorspace = matrix;
    frame->color_range = range;
    if (av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        throw std::runtime_error("av_frame_get_buffer failed");
    }
    VideoFrame owned(frame);
    const bool semiPlanar = format == AV_PIX_FMT_NV12 || format == AV_PIX_FMT_P010LE;
    const int bytes = (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12) ? 1 : 2;
    const int shift = format == AV_PIX_FMT_P010LE ? 6 : 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            store(frame, 0, x, y, 0, 1, luma(x, y), bytes, shift);
        }
    }
    for (int cy = 0; cy < (height + 1) / 2; ++cy) {
        for (int cx = 0; cx < (width + 1) / 2; ++cx) {
            const auto [cb, cr] = chroma(cx, cy);
            if (semiPlanar) {
                store(frame, 1, cx, cy, 0, 2, cb, bytes, shift);
                store(frame, 1, cx, cy, 1, 2, cr, bytes, shift);
            } else {
                store(frame, 1, cx, cy, 0, 1, cb, bytes, shift);
                store(frame, 2, cx, cy, 0, 1, cr, bytes, shift);
            }
        }
    }
    return owned;
}

VideoFrame uniform(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                   AVColorRange range, YCbCr codes) {
    return make(
        format, width, height, matrix, range, [&](int, int) { return codes.y; },
        [&](int, int) {
            return std::pair{codes.cb, codes.cr};
        });
}

YCbCr encode(double r, double g, double b, double kr, double kb, int bitDepth, bool fullRange) {
    const double y = kr * r + (1 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2 * (1 - kb));
    const double cr = (r - y) / (2 * (1 - kr));
    const double steps = std::ldexp(1.0, bitDepth - 8);
    const double maximum = std::ldexp(1.0, bitDepth) - 1;
    const double middle = std::ldexp(1.0, bitDepth - 1);
    const auto code = [&](double value) {
        return int(std::lround(std::clamp(value, 0.0, maximum)));
    };
    if (fullRange) {
        return {code(y * maximum), code(middle + cb * maximum), code(middle + cr * maximum)};
    }
    return {code((16 + 219 * y) * steps), code((128 + 224 * cb) * steps),
            code((128 + 224 * cr) * steps)};
}

} // namespace TestFrames
