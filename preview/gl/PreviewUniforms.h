#pragma once

#include "model/ViewAngles.h"

#include <array>

// What the projection shader needs for one view: the record the fragment stage reads as its
// `Uniforms` (32-bit floats, laid out as the GPU sees them).
struct PreviewUniforms {
    // x: −pan, y: tilt, z: roll (radians); w: half width of the view on the projection plane.
    std::array<float, 4> rotationFov{};
    // x: height ÷ width of the target; y: the projection's sphere offset.
    std::array<float, 2> aspect{};

    // For a target of width × height pixels (both at least 1).
    static PreviewUniforms forView(const ViewAngles& angles, int width, int height);

    // Whether a view can be drawn at all; otherwise the target only shows the empty colour.
    static bool isDrawable(const ViewAngles& angles, int width, int height);
};
