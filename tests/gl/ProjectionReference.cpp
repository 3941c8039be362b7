#include "ProjectionReference.h"

#include "model/NativeProjection.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace ProjectionReference {

SourcePoint sourcePoint(const ViewAngles& angles, int width, int height, int px, int py) {
    const NativeProjectionParameters projection = NativeProjection::parameters(angles.fov);
    const double u = (px + 0.5) / width;
    const double v = (py + 0.5) / height;
    const double halfWidth =
        (double(width) / std::max(width, height)) / (2 * projection.focalLength);
    const double x = (2 * u - 1) * halfWidth;
    const double y = (1 - 2 * v) * halfWidth * double(height) / width;
    const Vector3 d = projection.sphereDirection(x, y);

    constexpr double radians = std::numbers::pi / 180;
    const double roll = angles.roll * radians;
    const double tilt = angles.tilt * radians;
    const double pan = -angles.pan * radians;
    const double rx = std::cos(roll) * d.x - std::sin(roll) * d.y;
    const double ry = std::sin(roll) * d.x + std::cos(roll) * d.y;
    const double ty = std::cos(tilt) * ry + std::sin(tilt) * d.z;
    const double tz = -std::sin(tilt) * ry + std::cos(tilt) * d.z;
    const double sx = std::cos(pan) * rx + std::sin(pan) * tz;
    const double sz = -std::sin(pan) * rx + std::cos(pan) * tz;
    const double length = std::sqrt(sx * sx + ty * ty + sz * sz);
    return {std::atan2(sx, sz) / (2 * std::numbers::pi) + 0.5,
            0.5 - std::asin(std::clamp(ty / length, -1.0, 1.0)) / std::numbers::pi};
}

namespace {

double bilinear(const VideoFrame& frame, int plane, int width, int height, SourcePoint p,
                bool repeatLatitude) {
    const bool tenBit = frame.pixelFormat() == AV_PIX_FMT_YUV420P10LE;
    const double sx = p.u * width - 0.5;
    const double sy = p.v * height - 0.5;
    const double fx = std::floor(sx);
    const double fy = std::floor(sy);
    const double ax = sx - fx;
    const double ay = sy - fy;
    const auto column = [&](double i) { return int(((long long)(i) % width + width) % width); };
    const auto row = [&](double j) {
        if (repeatLatitude) {
            return int(((long long)(j) % height + height) % height);
        }
        return std::clamp(int(j), 0, height - 1);
    };
    const auto at = [&](double i, double j) {
        const std::uint8_t* line =
            frame.plane(plane) + std::ptrdiff_t(row(j)) * frame.lineSize(plane);
        if (!tenBit) {
            return double(line[column(i)]);
        }
        std::uint16_t word;
        std::memcpy(&word, line + 2 * column(i), 2);
        return word / 4.0;
    };
    return (1 - ay) * ((1 - ax) * at(fx, fy) + ax * at(fx + 1, fy)) +
           ay * ((1 - ax) * at(fx, fy + 1) + ax * at(fx + 1, fy + 1));
}

} // namespace

YCbCrSample sample(const VideoFrame& frame, SourcePoint point, bool repeatLatitude) {
    const int w = frame.width();
    const int h = frame.height();
    const int cw = (w + 1) / 2;
    const int ch = (h + 1) / 2;
    return {bilinear(frame, 0, w, h, point, repeatLatitude),
            bilinear(frame, 1, cw, ch, point, repeatLatitude),
            bilinear(frame, 2, cw, ch, point, repeatLatitude)};
}

std::array<double, 3> toRgb(const YCbCrSample& codes) {
    const double luma = (codes.y - 16) / 219;
    const double blueDifference = (codes.cb - 128) / 224;
    const double redDifference = (codes.cr - 128) / 224;
    const double r = luma + 1.5748 * redDifference;
    const double g = luma - 0.187324 * blueDifference - 0.468124 * redDifference;
    const double b = luma + 1.8556 * blueDifference;
    const auto channel = [](double value) { return std::clamp(value, 0.0, 1.0) * 255; };
    return {channel(r), channel(g), channel(b)};
}

} // namespace ProjectionReference
