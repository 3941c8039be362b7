#pragma once

#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveGLRenderer.h"

#include <QImage>
#include <QOpenGLWidget>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

// The current frame as the whole sphere: the equirectangular picture drawn from the textures the
// previews already sample (no second decode or upload), with whatever the owner paints on top
// (the views' footprints). The owner's painting is kept as a picture, made again only when the
// owner says it changed or the size changes, and laid over the sphere in the same pass, so that a
// new frame costs one pass of the software renderer and no painting.
class SphereOverview : public QOpenGLWidget, public LivePreviewFrameConsumer {
    Q_OBJECT

public:
    using Overlay = std::function<void(QPainter& painter, QSizeF size)>;

    SphereOverview(LivePreviewSession* session, std::shared_ptr<LiveGLRenderer> renderer,
                   QWidget* parent = nullptr);
    ~SphereOverview() override;

    void setOverlay(Overlay overlay);
    // Paints the overlay again on the next repaint, and asks for one.
    void overlayChanged();
    void previewFrameDidChange() override;

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;

private:
    QPointer<LivePreviewSession> session_;
    std::shared_ptr<LiveGLRenderer> renderer_;
    std::optional<QUuid> registration_;
    Overlay overlay_;
    QImage overlayPicture_;
    bool overlayStale_ = true;
};
