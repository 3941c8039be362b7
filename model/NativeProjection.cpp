#include "model/NativeProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace NativeProjection {

const std::array<TableRow, 17> table{{
    {0.723513489537, -0.464836132957},
    {0.69939913279, -0.41508485207},
    {0.682390978714, -0.361302777685},
    {0.678490542035, -0.295440486229},
    {0.676800297308, -0.225373893982},
    {0.679756272438, -0.147210830245},
    {0.681526536164, -0.066572339824},
    {0.678808573127, 0.011786375214},
    {0.678648597418, 0.097266232953},
    {0.680508099233, 0.190060970245},
    {0.68214202188, 0.28755266454},
    {0.679679139567, 0.382999217773},
    {0.677233773507, 0.483059174918},
    {0.677241952725, 0.593039117273},
    {0.677954158819, 0.710307247595},
    {0.678538609525, 0.833439746593},
    {0.678136895508, 0.960690261596},
}};

NativeProjectionParameters parameters(double viewWidth) {
    double w = std::isfinite(viewWidth) ? viewWidth : 90.0;
    w = std::clamp(w, minimumViewWidth, maximumViewWidth);
    const double position = (w - minimumViewWidth) / 5.0;
    const auto k = static_cast<std::size_t>(position);
    const std::size_t lower = std::min<std::size_t>(k, 16);
    const std::size_t upper = std::min<std::size_t>(k, 15) + 1;
    const double q = position - double(lower);
    const TableRow& a = table[lower];
    const TableRow& b = table[upper];
    return {a.focalLength + (b.focalLength - a.focalLength) * q,
            a.sphereOffset + (b.sphereOffset - a.sphereOffset) * q};
}

Coverage coverage(double fieldOfView, double aspectRatio) {
    const double a = (std::isfinite(aspectRatio) && aspectRatio > 0) ? aspectRatio : 16.0 / 9.0;
    const NativeProjectionParameters p = parameters(fieldOfView);
    const double halfWidth = a >= 1 ? 0.5 : 0.5 * a;
    const double halfHeight = a >= 1 ? 0.5 / a : 0.5;
    const Vector3 h = p.sphereDirection(halfWidth / p.focalLength, 0);
    const Vector3 v = p.sphereDirection(0, halfHeight / p.focalLength);
    constexpr double degrees = 180.0 / std::numbers::pi;
    return {2 * std::atan2(h.x, h.z) * degrees, 2 * std::atan2(v.y, v.z) * degrees};
}

} // namespace NativeProjection

Vector3 NativeProjectionParameters::sphereDirection(double x, double y) const {
    const double s = sphereOffset;
    const double r2 = x * x + y * y;
    const double d = std::max(0.0, 1 + (1 - s * s) * r2);
    const double t = (s + std::sqrt(d)) / (1 + r2);
    return {t * x, t * y, t - s};
}
