#include "preview/gl/LiveAnglePreview.h"

#include "preview/gl/PreviewUniforms.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>

LiveAnglePreview::LiveAnglePreview(LivePreviewSession* session,
                                   std::shared_ptr<LiveGLRenderer> renderer, ViewAngles angles,
                                   QWidget* parent)
    : QOpenGLWidget(parent), session_(session), renderer_(std::move(renderer)), angles_(angles) {
    // Painted only on request; nothing behind the picture shows through.
    setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
    setAttribute(Qt::WA_OpaquePaintEvent);
    attach();
}

LiveAnglePreview::~LiveAnglePreview() {
    detach();
}

void LiveAnglePreview::setSession(LivePreviewSession* session) {
    if (session == session_) {
        return;
    }
    detach();
    session_ = session;
    attach();
    update();
}

void LiveAnglePreview::setAngles(const ViewAngles& angles) {
    angles_ = angles;
    update();
}

void LiveAnglePreview::previewFrameDidChange() {
    update();
}

void LiveAnglePreview::attach() {
    if (session_ && !registration_) {
        registration_ = session_->registerConsumer(this);
    }
}

void LiveAnglePreview::detach() {
    if (registration_ && session_) {
        session_->unregisterConsumer(*registration_);
    }
    registration_.reset();
}

void LiveAnglePreview::initializeGL() {
    if (renderer_ && QOpenGLContext::areSharing(context(), renderer_->glContext())) {
        renderer_->warmUp(false);
    }
}

void LiveAnglePreview::paintGL() {
    // Device pixels, truncated, as the framebuffer Qt made for this widget.
    const QSize target(int(width() * devicePixelRatioF()), int(height() * devicePixelRatioF()));
    if (!session_ || !renderer_ || !QOpenGLContext::areSharing(context(), renderer_->glContext())) {
        QOpenGLFunctions* gl = context()->functions();
        const float grey = LiveGLRenderer::emptyGrey;
        gl->glClearColor(grey, grey, grey, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    const std::shared_ptr<const LiveGLFrame>& frame = renderer_->currentFrame();
    renderer_->draw(frame, angles_, target);
    if (frame && PreviewUniforms::isDrawable(angles_, target.width(), target.height())) {
        ++projectedFrameCount_;
    }
}
