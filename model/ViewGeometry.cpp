#include "model/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ViewGeometry {

namespace {

constexpr double pi = std::numbers::pi;
constexpr double toRadians = pi / 180.0;
constexpr double toDegrees = 180.0 / pi;

// The half width of the picture on the projection plane, in units of the focal length, and the
// factor of its height (the shader's rotationFov.w and aspect.x).
struct Plane {
    double halfWidth;
    double heightFactor;
};

Plane planeOf(const NativeProjectionParameters& p, QSizeF size) {
    const double w = size.width();
    const double h = size.height();
    return {(w / std::max(w, h)) / (2.0 * p.focalLength), h / w};
}

} // namespace

double wrappedDegrees(double degrees) {
    double wrapped = std::fmod(degrees + 180.0, 360.0);
    if (wrapped < 0)
        wrapped += 360.0;
    return wrapped - 180.0;
}

ViewAngles toTenths(ViewAngles angles) {
    for (double* value : {&angles.pan, &angles.tilt, &angles.roll, &angles.fov})
        *value = std::round(*value * 10.0) / 10.0;
    return angles;
}

Vector3 viewDirection(const ViewAngles& angles, QPointF point, QSizeF size) {
    const NativeProjectionParameters p = NativeProjection::parameters(angles.fov);
    const Plane plane = planeOf(p, size);
    const double x = (2.0 * point.x() / size.width() - 1.0) * plane.halfWidth;
    const double y = (1.0 - 2.0 * point.y() / size.height()) * plane.halfWidth * plane.heightFactor;
    return p.sphereDirection(x, y);
}

std::optional<QPointF> pictureOf(const ViewAngles& angles, Vector3 d, QSizeF size) {
    const NativeProjectionParameters p = NativeProjection::parameters(angles.fov);
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (!(length > 0))
        return std::nullopt;
    // The mapping puts a plane point at t·(x, y) with z = t − s: so t = z + s, in front only.
    const double t = d.z / length + p.sphereOffset;
    if (!(t > 1e-9))
        return std::nullopt;
    const double x = d.x / length / t;
    const double y = d.y / length / t;
    const Plane plane = planeOf(p, size);
    return QPointF((x / plane.halfWidth + 1.0) / 2.0 * size.width(),
                   (1.0 - y / (plane.halfWidth * plane.heightFactor)) / 2.0 * size.height());
}

Vector3 toSphere(const ViewAngles& a, Vector3 d) {
    const double roll = a.roll * toRadians, tilt = a.tilt * toRadians, pan = -a.pan * toRadians;
    const double rx = std::cos(roll) * d.x - std::sin(roll) * d.y;
    const double ry = std::sin(roll) * d.x + std::cos(roll) * d.y;
    const double ty = std::cos(tilt) * ry + std::sin(tilt) * d.z;
    const double tz = -std::sin(tilt) * ry + std::cos(tilt) * d.z;
    return {std::cos(pan) * rx + std::sin(pan) * tz, ty, -std::sin(pan) * rx + std::cos(pan) * tz};
}

Vector3 toView(const ViewAngles& a, Vector3 w) {
    const double roll = a.roll * toRadians, tilt = a.tilt * toRadians, pan = -a.pan * toRadians;
    const double rx = std::cos(pan) * w.x - std::sin(pan) * w.z;
    const double tz = std::sin(pan) * w.x + std::cos(pan) * w.z;
    const double ry = std::cos(tilt) * w.y - std::sin(tilt) * tz;
    const double z = std::sin(tilt) * w.y + std::cos(tilt) * tz;
    return {std::cos(roll) * rx + std::sin(roll) * ry, -std::sin(roll) * rx + std::cos(roll) * ry,
            z};
}

QPointF sourcePoint(Vector3 d) {
    return {std::atan2(d.x, d.z) / (2.0 * pi) + 0.5,
            0.5 - std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) / pi};
}

Vector3 sphereDirection(QPointF source) {
    const double longitude = (source.x() - 0.5) * 2.0 * pi;
    const double latitude = (0.5 - source.y()) * pi;
    return {std::cos(latitude) * std::sin(longitude), std::sin(latitude),
            std::cos(latitude) * std::cos(longitude)};
}

ViewAngles aimed(const ViewAngles& start, Vector3 view, Vector3 sphere) {
    // Roll first (it is kept); then the tilt that gives the target's height (pan keeps heights),
    // then the pan that gives its longitude.
    const double roll = start.roll * toRadians;
    const double ux = std::cos(roll) * view.x - std::sin(roll) * view.y;
    const double uy = std::sin(roll) * view.x + std::cos(roll) * view.y;
    const double uz = view.z;
    const double height =
        sphere.y / std::sqrt(sphere.x * sphere.x + sphere.y * sphere.y + sphere.z * sphere.z);
    // cos(tilt)·uy + sin(tilt)·uz = height
    const double amplitude = std::hypot(uy, uz);
    const double phase = std::atan2(uz, uy);
    const double spread = std::acos(std::clamp(height / amplitude, -1.0, 1.0));
    const double current = start.tilt * toRadians;
    double tilt = phase + spread;
    const double other = phase - spread;
    const auto distance = [current](double a) {
        return std::abs(std::remainder(a - current, 2.0 * pi));
    };
    if (distance(other) < distance(tilt))
        tilt = other;
    tilt = std::clamp(std::remainder(tilt, 2.0 * pi), -pi / 2, pi / 2);
    const double tz = -std::sin(tilt) * uy + std::cos(tilt) * uz;
    // The longitude after tilting, then the turn that brings it to the target's.
    const double pan = std::atan2(ux, tz) - std::atan2(sphere.x, sphere.z);
    ViewAngles result = start;
    result.tilt = tilt * toDegrees;
    result.pan = wrappedDegrees(pan * toDegrees);
    return result;
}

ViewAngles grabbed(const ViewAngles& start, QPointF pressed, QPointF now, QSizeF size) {
    const Vector3 target = toSphere(start, viewDirection(start, pressed, size));
    return aimed(start, viewDirection(start, now, size), target);
}

ViewAngles rolled(const ViewAngles& start, QPointF pressed, QPointF now, QSizeF size) {
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    // Angles in the picture's own up-is-positive sense; the picture turns with the pointer.
    const double from = std::atan2(centre.y() - pressed.y(), pressed.x() - centre.x());
    const double to = std::atan2(centre.y() - now.y(), now.x() - centre.x());
    ViewAngles result = start;
    result.roll = wrappedDegrees(start.roll - (to - from) * toDegrees);
    return result;
}

Footprint footprint(const ViewAngles& angles, double aspectRatio, int pointsPerEdge) {
    const double aspect = std::isfinite(aspectRatio) && aspectRatio > 0 ? aspectRatio : 16.0 / 9.0;
    const QSizeF size = aspect >= 1 ? QSizeF(aspect, 1.0) : QSizeF(1.0, 1.0 / aspect);
    Footprint result;
    const auto onSource = [&](QPointF point) {
        return sourcePoint(toSphere(angles, viewDirection(angles, point, size)));
    };
    const QPointF corners[] = {
        {0, 0}, {size.width(), 0}, {size.width(), size.height()}, {0, size.height()}};
    double shift = 0;
    const auto follow = [&](QPointF inView) {
        const QPointF point = onSource(inView);
        // Follow the edge across the seam instead of jumping back.
        if (!result.outline.empty()) {
            const double previous = result.outline.back().x() - shift;
            if (point.x() - previous > 0.5)
                shift -= 1;
            else if (previous - point.x() > 0.5)
                shift += 1;
        }
        result.outline.push_back({point.x() + shift, point.y()});
    };
    for (int edge = 0; edge < 4; ++edge) {
        const QPointF from = corners[edge];
        const QPointF to = corners[(edge + 1) % 4];
        for (int i = 0; i < pointsPerEdge; ++i)
            follow(from + (to - from) * (double(i) / pointsPerEdge));
    }
    // Back at the first corner: where it started, or one whole turn along when the outline went
    // round a pole, so that the last stretch of the edge is drawn too and the copies either side
    // of the seam meet without a gap.
    follow(corners[0]);
    result.centre = onSource({size.width() / 2, size.height() / 2});
    result.region = result.outline;
    // Once round, an outline that has gone all the way round the sphere holds a pole.
    const double turn = result.outline.back().x() - result.outline.front().x();
    if (std::abs(turn) > 0.5) {
        result.pole = result.centre.y() < 0.5 ? 1 : -1;
        const double row = result.pole > 0 ? 0.0 : 1.0;
        result.region.push_back({result.outline.back().x(), row});
        result.region.push_back({result.outline.front().x(), row});
    }
    return result;
}

} // namespace ViewGeometry
