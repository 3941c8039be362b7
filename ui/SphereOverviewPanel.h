#pragma once

#include "model/NativeProjection.h"
#include "model/ViewAngles.h"
#include "ui/AnglePreviewFactory.h"

#include <QWidget>

#include <optional>

class SessionModel;

// The strip between the playback bar and the cards: the current frame as the whole sphere, with
// every active view's footprint outlined in the view's colour and numbered at its centre. A drag
// inside a footprint turns that view so that the point grabbed stays under the pointer.
class SphereOverviewPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int stripHeight = 240;

    // Without a factory the strip shows the footprints on a plain background.
    SphereOverviewPanel(SessionModel& model, const OverviewFactory& makeOverview,
                        QWidget* parent = nullptr);

    QWidget* surface() const { return surface_; }
    // The active view whose footprint holds the point (widget coordinates), the first on top.
    std::optional<int> viewAt(QPointF point) const;
    // The active views' footprints, numbers and colours, as laid over the sphere of `size`.
    void paintOverlay(QPainter& painter, QSizeF size) const;

signals:
    void dragStarted();
    void dragFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointF sourceAt(QPointF point) const;
    void refresh();

    SessionModel& model_;
    QWidget* surface_ = nullptr;
    std::function<void()> overlayChanged_;
    struct Drag {
        int view;
        ViewAngles start;
        Vector3 grabbed; // the view-frame direction of the point grabbed
    };
    std::optional<Drag> drag_;
};
