#pragma once

#include "model/ViewAngles.h"

#include <QSizeF>
#include <QWidget>

#include <functional>

class LivePreviewSession;
class QPainter;

// The live picture of one view in its card: a widget and the way to hand it a new framing.
struct AnglePreviewSurface {
    QWidget* widget = nullptr;
    std::function<void(const ViewAngles&)> setAngles;
};

using AnglePreviewFactory =
    std::function<AnglePreviewSurface(LivePreviewSession& session, const ViewAngles& angles)>;

// The whole-sphere overview: a widget showing the current frame as the equirectangular picture,
// the way to paint on top of it, and the way to say that painting has changed.
struct OverviewSurface {
    using Overlay = std::function<void(QPainter& painter, QSizeF size)>;
    QWidget* widget = nullptr;
    std::function<void(Overlay)> setOverlay;
    std::function<void()> overlayChanged;
};

using OverviewFactory = std::function<OverviewSurface(LivePreviewSession& session)>;
