#pragma once

#include "model/OutputFormat.h"

#include <array>

struct Vector3 {
    double x = 0;
    double y = 0;
    double z = 0;
};

// The two parameters of Final Cut Pro's Normal 360° mapping for one view width.
struct NativeProjectionParameters {
    // Distance of the image plane, in units of the image's longer side.
    double focalLength = 0;
    // Distance of the projection centre behind the sphere's centre, in sphere radii.
    double sphereOffset = 0;

    // Direction in the view frame (+z forward, +x right, +y up) for an image-plane point already
    // divided by the focal length.
    Vector3 sphereDirection(double x, double y) const;

    friend bool operator==(const NativeProjectionParameters&,
                           const NativeProjectionParameters&) = default;
};

// The Normal mapping: stateless, allocation-free and callable from any thread.
namespace NativeProjection {

inline constexpr double minimumViewWidth = 45;
inline constexpr double maximumViewWidth = 125;

// Measured parameters for view widths 45, 50, …, 125.
struct TableRow {
    double focalLength;
    double sphereOffset;
};
extern const std::array<TableRow, 17> table;

// Interpolated parameters; a non-finite width uses 90, others are clamped to 45…125.
NativeProjectionParameters parameters(double viewWidth);

// Angular coverage in degrees for a view width and a frame aspect ratio (width ÷ height);
// a non-finite or non-positive aspect ratio uses 16:9.
Coverage coverage(double fieldOfView, double aspectRatio);

} // namespace NativeProjection
