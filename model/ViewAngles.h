#pragma once

// The framing of one view on the sphere, in degrees. The record does not clamp: the export
// check refuses values outside the supported ranges and the projection clamps the view width.
struct ViewAngles {
    double pan = 0;
    double tilt = 0;
    double roll = 0;
    double fov = 90;

    // Field by field as floating-point numbers, so a record holding a NaN equals nothing.
    friend bool operator==(const ViewAngles&, const ViewAngles&) = default;
};
