#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <array>
#include <optional>

// The affine map from the values the shader samples out of a frame's planes (normalised texture
// values, whatever the bit depth and packing) to non-linear R'G'B' in 0…1. Worked out once per
// frame on the CPU, so the fragment stage converts with one multiply-add and no branching.
struct YCbCrConversion {
    // Column-major, as a GLSL mat3 is uploaded: rgb = matrix × (Y', Cb, Cr) + offset.
    std::array<float, 9> matrix{};
    std::array<float, 3> offset{};

    // Absent for a pixel format the renderer cannot sample. An unspecified matrix is BT.709 for
    // HD and larger pictures and BT.601 below; an unspecified range is limited (video) range.
    static std::optional<YCbCrConversion> forFrame(AVPixelFormat format, AVColorSpace matrix,
                                                   AVColorRange range, int width, int height);
};
