#pragma once

#include "model/ViewAngles.h"

#include <QWidget>

#include <functional>

class LivePreviewSession;

// The live picture of one view in its card: a widget and the way to hand it a new framing.
struct AnglePreviewSurface {
    QWidget* widget = nullptr;
    std::function<void(const ViewAngles&)> setAngles;
};

using AnglePreviewFactory =
    std::function<AnglePreviewSurface(LivePreviewSession& session, const ViewAngles& angles)>;
