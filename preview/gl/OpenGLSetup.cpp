#include "preview/gl/OpenGLSetup.h"

#include <QCoreApplication>
#include <QSurfaceFormat>

namespace OpenGLSetup {

void prepareSharedContexts() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(0);
    QSurfaceFormat::setDefaultFormat(format);
}

} // namespace OpenGLSetup
