#pragma once

#include "model/ViewAngles.h"
#include "preview/player/VideoFrame.h"

#include <array>

// The preview's projection and sampling worked out on the CPU in double precision, as the
// yardstick for what the GPU draws.
namespace ProjectionReference {

struct SourcePoint {
    double u; // 0…1 across longitude, 0.5 straight ahead
    double v; // 0…1 down latitude, 0 the top row
};

// Where the centre of target pixel (px, py) of a width × height view looks on the source.
SourcePoint sourcePoint(const ViewAngles& angles, int width, int height, int px, int py);

struct YCbCrSample {
    double y;
    double cb;
    double cr;
};

// The planes of a limited-range 4:2:0 planar frame (8 or 10 bits, yuv420p or yuv420p10le)
// sampled bilinearly at (u, v) the way a GPU sampler does: texel centres at half-texel offsets,
// longitude repeating, latitude clamped at the poles, or (to show what must not happen)
// repeating as well. Code values on the 8-bit scale, unrounded.
YCbCrSample sample(const VideoFrame& frame, SourcePoint point, bool repeatLatitude = false);

// R'G'B' (0…255, unrounded) of 8-bit-scale ITU-R BT.709 video-range code values.
std::array<double, 3> toRgb(const YCbCrSample& codes);

inline std::array<double, 3> sampleRgb(const VideoFrame& frame, SourcePoint point,
                                       bool repeatLatitude = false) {
    return toRgb(sample(frame, point, repeatLatitude));
}

} // namespace ProjectionReference
