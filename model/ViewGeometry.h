#pragma once

#include "model/NativeProjection.h"
#include "model/ViewAngles.h"

#include <QPointF>
#include <QSizeF>

#include <optional>
#include <vector>

// Where a view looks, in double precision, exactly as the preview's shader draws it: a point of
// the view's picture (pixels, y down) goes through Final Cut Pro's Normal mapping to a direction
// in the view's frame (+z ahead, +x right, +y up), is turned by roll, tilt and pan into the
// sphere's frame, and lands on the equirectangular source at (u, v) (u = 0.5 straight ahead,
// growing eastwards; v = 0 the top row). Everything here runs on the CPU for the pointer and
// the overview; the GPU does the same per pixel.
namespace ViewGeometry {

// The view-frame direction of a point of a picture of `size` pixels.
Vector3 viewDirection(const ViewAngles& angles, QPointF point, QSizeF size);
// The point of the picture that shows a view-frame direction, or nothing when the direction is
// behind the Normal mapping's projection centre.
std::optional<QPointF> pictureOf(const ViewAngles& angles, Vector3 direction, QSizeF size);

Vector3 toSphere(const ViewAngles& angles, Vector3 view);
Vector3 toView(const ViewAngles& angles, Vector3 sphere);

// Source coordinates of a sphere direction, and back.
QPointF sourcePoint(Vector3 sphere);
Vector3 sphereDirection(QPointF sourcePoint);

// The framing, with `start`'s roll and view width, whose view-frame direction `view` looks at
// `sphere`; tilt kept within ±90 (the nearest solution to start's tilt), pan within ±180.
ViewAngles aimed(const ViewAngles& start, Vector3 view, Vector3 sphere);

// Dragging a preview from `pressed` to `now`: the point of the sphere under the pointer when the
// button went down stays under it.
ViewAngles grabbed(const ViewAngles& start, QPointF pressed, QPointF now, QSizeF size);
// Dragging with Shift: the picture turns about its centre with the pointer (roll).
ViewAngles rolled(const ViewAngles& start, QPointF pressed, QPointF now, QSizeF size);

// Pan and roll within −180…180.
double wrappedDegrees(double degrees);
// Rounded to tenths of a degree, as the fields show and as a user would type them.
ViewAngles toTenths(ViewAngles angles);

// The part of the source a view of the given shape (width ÷ height) shows, as closed polygons
// in source coordinates: its outline followed around the picture's edge, continued across the
// left/right seam (points past 0 or 1 belong on the other side, so draw each polygon also
// shifted by ±1), and closed along the top or bottom row when the view contains a pole.
struct Footprint {
    // The picture's edge, in unwrapped source coordinates, back at its first corner at the end
    // (one turn along when it goes round a pole).
    std::vector<QPointF> outline;
    std::vector<QPointF> region; // the outline, closed around a pole when it holds one
    QPointF centre;              // where the picture's centre looks
    int pole = 0;                // +1 the north pole inside, −1 the south, 0 neither
};
Footprint footprint(const ViewAngles& angles, double aspectRatio, int pointsPerEdge = 64);

} // namespace ViewGeometry
