#include "preview/gl/PreviewUniforms.h"

#include "model/NativeProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

PreviewUniforms PreviewUniforms::forView(const ViewAngles& angles, int width, int height) {
    const NativeProjectionParameters projection = NativeProjection::parameters(angles.fov);
    // Single precision on purpose: the shader works in 32-bit floats and the preview must
    // agree with it bit for bit on the centre of the view.
    constexpr float radians = float(std::numbers::pi / 180.0);
    const float w = float(width);
    const float h = float(height);
    PreviewUniforms uniforms;
    uniforms.rotationFov = {-float(angles.pan) * radians, float(angles.tilt) * radians,
                            float(angles.roll) * radians,
                            (w / std::max(w, h)) / (2.0f * float(projection.focalLength))};
    uniforms.aspect = {h / w, float(projection.sphereOffset)};
    return uniforms;
}

bool PreviewUniforms::isDrawable(const ViewAngles& angles, int width, int height) {
    return width >= 1 && height >= 1 && std::isfinite(angles.pan) && std::isfinite(angles.tilt) &&
           std::isfinite(angles.roll) && std::isfinite(angles.fov);
}
