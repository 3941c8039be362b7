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
    overlayChanged();
}

void SphereOverview::overlayChanged() {
    overlayStale_ = true;
    update();
}

void SphereOverview::resizeGL(int, int) {
    overlayStale_ = true;
}

void SphereOverview::previewFrameDidChange() {
    update();
}

void SphereOverview::initializeGL() {
    if (renderer_ && QOpenGLContext::areSharing(context(), renderer_->glContext())) {
        renderer_->warmUp(true);
    }
}

void SphereOverview::paintGL() {
    const qreal ratio = devicePixelRatioF();
    const QSize target(int(width() * ratio), int(height() * ratio));
    if (overlayStale_) {
        overlayPicture_ = QImage();
        if (overlay_ && !target.isEmpty()) {
            overlayPicture_ = QImage(target, QImage::Format_ARGB32_Premultiplied);
            overlayPicture_.setDevicePixelRatio(ratio);
            overlayPicture_.fill(Qt::transparent);
            QPainter painter(&overlayPicture_);
            painter.setRenderHint(QPainter::Antialiasing);
            overlay_(painter, QSizeF(size()));
        }
        overlayStale_ = false;
    }
    if (renderer_ && renderer_->currentFrame() &&
        QOpenGLContext::areSharing(context(), renderer_->glContext())) {
        renderer_->drawWholeSphere(renderer_->currentFrame(), target, overlayPicture_);
        return;
    }
    QOpenGLFunctions* gl = context()->functions();
    const float grey = LiveGLRenderer::emptyGrey;
    gl->glClearColor(grey, grey, grey, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    if (!overlayPicture_.isNull()) {
        QPainter painter(this);
        painter.drawImage(rect(), overlayPicture_);
    }
}
