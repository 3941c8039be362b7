#pragma once

#include "model/ViewAngles.h"

#include <QString>

// One camera view as a save hands it to the exporter: the angle's name and its framing for the
// project's shape, in degrees.
struct ExportView {
    QString name;
    ViewAngles angles;

    friend bool operator==(const ExportView&, const ExportView&) = default;
};
