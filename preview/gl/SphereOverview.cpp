#include "preview/gl/SphereOverview.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>

SphereOverview::SphereOverview(LivePreviewSession* session,
                               std::shared_ptr<LiveGLRenderer> renderer, QWidget* parent)
    : QOpenGLWidget(parent), session_(session), renderer_(std::move(renderer)) {
    setUpdateBehavior(QOpenGLWidget::NoPartialUpdate);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (session_)
        registration_ = session_->registerConsumer(this);
}

SphereOverview::~SphereOverview() {
    if (registration_ && session_)
        session_->unregisterConsumer(*registration_);
}

void SphereOverview::setOverlay(Overlay overlay) {
    overlay_ = std::move(overlay);
    update();
}

void SphereOverview::previewFrameDidChange() {
    update();
}

void SphereOverview::paintGL() {
    const QSize target(int(width() * devicePixelRatioF()), int(height() * devicePixelRatioF()));
    QPainter painter(this);
    painter.beginNativePainting();
    if (renderer_ && QOpenGLContext::areSharing(context(), renderer_->glContext())) {
        renderer_->drawWholeSphere(renderer_->currentFrame(), target);
    } else {
        QOpenGLFunctions* gl = context()->functions();
        const float grey = LiveGLRenderer::emptyGrey;
        gl->glClearColor(grey, grey, grey, 1.0f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }
    painter.endNativePainting();
    if (overlay_) {
        painter.setRenderHint(QPainter::Antialiasing);
        overlay_(painter, QSizeF(size()));
    }
}
