#include "preview/gl/OffscreenView.h"

#include "model/PlatformTexts.h"
#include "model/UserError.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

#include <functional>

namespace OffscreenView {

namespace {

QImage drawn(LiveGLRenderer& renderer, QSize size, const std::function<void()>& draw) {
    const QString sizeFailure =
        QStringLiteral("Could not make a %1 × %2 picture to draw the view into.")
            .arg(size.width())
            .arg(size.height());
    if (size.width() < 1 || size.height() < 1) {
        throw PreviewError(sizeFailure);
    }
    ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
    if (!current.isCurrent()) {
        throw PreviewError(PlatformTexts::text(PlatformTexts::Text::rendererNotCreated));
    }
    GLint largest = 0;
    renderer.glContext()->functions()->glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largest);
    if (size.width() > largest || size.height() > largest) {
        throw PreviewError(sizeFailure);
    }
    QOpenGLFramebufferObjectFormat format;
    format.setInternalTextureFormat(GL_RGBA8);
    QOpenGLFramebufferObject framebuffer(size, format);
    if (!framebuffer.isValid() || !framebuffer.bind()) {
        throw PreviewError(sizeFailure);
    }
    draw();
    QImage image = framebuffer.toImage(true).convertToFormat(QImage::Format_RGB888);
    framebuffer.release();
    return image;
}

} // namespace

QImage render(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame,
              const ViewAngles& angles, QSize size) {
    return drawn(renderer, size, [&] { renderer.draw(frame, angles, size); });
}

QImage renderWholeSphere(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame,
                         QSize size, const QImage& overlay) {
    return drawn(renderer, size, [&] { renderer.drawWholeSphere(frame, size, overlay); });
}

} // namespace OffscreenView
