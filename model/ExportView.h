#pragma once

#include <QString>

// One camera view as handed to the exporter; angles in degrees.
struct ExportView {
    QString name;
    double pan = 0;
    double tilt = 0;
    double roll = 0;
    double fieldOfView = 90;
};
