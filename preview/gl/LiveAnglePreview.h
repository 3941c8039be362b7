#pragma once

#include "model/ViewAngles.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveGLRenderer.h"

#include <QOpenGLWidget>
#include <QPointer>
#include <QUuid>

#include <cstdint>

// The live picture of one camera view. It never decodes or polls: it redraws the renderer's
// current frame when the session says the frame changed, when its framing changes and after a
// resize, and shows the empty grey when there is nothing to draw. Registered with the session as
// a frame consumer for as long as it exists; draws with the renderer the session hands frames to.
class LiveAnglePreview : public QOpenGLWidget, public LivePreviewFrameConsumer {
    Q_OBJECT

public:
    LiveAnglePreview(LivePreviewSession* session, std::shared_ptr<LiveGLRenderer> renderer,
                     ViewAngles angles = {}, QWidget* parent = nullptr);
    ~LiveAnglePreview() override;

    LivePreviewSession* session() const { return session_; }
    // Moves the surface to another session (or none), registering there instead.
    void setSession(LivePreviewSession* session);

    const ViewAngles& angles() const { return angles_; }
    // Redraws with the new framing, also while playback is paused.
    void setAngles(const ViewAngles& angles);

    void previewFrameDidChange() override;

    // Paints that projected a frame (rather than only the empty grey) since construction.
    std::int64_t projectedFrameCount() const { return projectedFrameCount_; }

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void attach();
    void detach();

    QPointer<LivePreviewSession> session_;
    std::shared_ptr<LiveGLRenderer> renderer_;
    std::optional<QUuid> registration_;
    ViewAngles angles_;
    std::int64_t projectedFrameCount_ = 0;
};
