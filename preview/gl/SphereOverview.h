#pragma once

#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveGLRenderer.h"

#include <QOpenGLWidget>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

// The current frame as the whole sphere: the equirectangular picture drawn from the textures the
// previews already sample (no second decode or upload), with whatever the owner paints on top
// (the views' footprints). Redraws on a new frame and whenever told to.
class SphereOverview : public QOpenGLWidget, public LivePreviewFrameConsumer {
    Q_OBJECT

public:
    using Overlay = std::function<void(QPainter& painter, QSizeF size)>;

    SphereOverview(LivePreviewSession* session, std::shared_ptr<LiveGLRenderer> renderer,
                   QWidget* parent = nullptr);
    ~SphereOverview() override;

    void setOverlay(Overlay overlay);
    void previewFrameDidChange() override;

protected:
    void paintGL() override;

private:
    QPointer<LivePreviewSession> session_;
    std::shared_ptr<LiveGLRenderer> renderer_;
    std::optional<QUuid> registration_;
    Overlay overlay_;
};
