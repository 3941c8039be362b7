#include "preview/gl/GLUploadContext.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QSurfaceFormat>

#include <algorithm>

namespace {

// Enough for the planes of a few frames: the one shown, the one being uploaded and those still
// being drawn.
constexpr std::size_t maximumIdleTextures = 12;

} // namespace

ScopedCurrentContext::ScopedCurrentContext(QOpenGLContext* context, QSurface* surface)
    : previousContext_(QOpenGLContext::currentContext()),
      previousSurface_(previousContext_ ? previousContext_->surface() : nullptr) {
    if (previousContext_ == context && previousSurface_ == surface) {
        current_ = true;
        return;
    }
    current_ = context->makeCurrent(surface);
}

ScopedCurrentContext::~ScopedCurrentContext() {
    QOpenGLContext* now = QOpenGLContext::currentContext();
    if (now == previousContext_ && (!now || now->surface() == previousSurface_)) {
        return;
    }
    if (previousContext_ && previousSurface_) {
        previousContext_->makeCurrent(previousSurface_);
    } else if (now) {
        now->doneCurrent();
    }
}

GLUploadContext::GLUploadContext() = default;

std::shared_ptr<GLUploadContext> GLUploadContext::create() {
    std::shared_ptr<GLUploadContext> upload(new GLUploadContext);
    QOpenGLContext* share = QOpenGLContext::globalShareContext();
    QSurfaceFormat format = share ? share->format() : QSurfaceFormat::defaultFormat();
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CoreProfile);
    if (format.version() < qMakePair(3, 3)) {
        format.setVersion(3, 3);
    }

    upload->context_ = std::make_unique<QOpenGLContext>();
    upload->context_->setFormat(format);
    upload->context_->setShareContext(share);
    if (!upload->context_->create()) {
        return nullptr;
    }
    upload->surface_ = std::make_unique<QOffscreenSurface>();
    upload->surface_->setFormat(upload->context_->format());
    upload->surface_->create();
    if (!upload->surface_->isValid()) {
        return nullptr;
    }
    ScopedCurrentContext current(upload->context_.get(), upload->surface_.get());
    if (!current.isCurrent() || !upload->functions()) {
        return nullptr;
    }
    return upload;
}

GLUploadContext::~GLUploadContext() {
    if (!context_ || !surface_) {
        return;
    }
    ScopedCurrentContext current(context_.get(), surface_.get());
    if (current.isCurrent()) {
        deleteEverything();
    }
}

QSurface* GLUploadContext::surface() const {
    return surface_.get();
}

QOpenGLFunctions_3_3_Core* GLUploadContext::functions() const {
    return QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context_.get());
}

GLuint GLUploadContext::takeTexture(const TextureShape& shape) {
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if (it->shape == shape) {
            const GLuint name = it->name;
            idle_.erase(it);
            return name;
        }
    }
    QOpenGLFunctions_3_3_Core* gl = functions();
    GLuint name = 0;
    gl->glGenTextures(1, &name);
    if (name == 0) {
        return 0;
    }
    const bool twoChannels = shape.internalFormat == GL_RG8 || shape.internalFormat == GL_RG16;
    const bool sixteenBits = shape.internalFormat == GL_R16 || shape.internalFormat == GL_RG16;
    gl->glBindTexture(GL_TEXTURE_2D, name);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GLint(shape.internalFormat), shape.width, shape.height, 0,
                     twoChannels ? GL_RG : GL_RED,
                     sixteenBits ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE, nullptr);
    // One level only; the sampler object decides filtering and wrapping when drawing.
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

void GLUploadContext::recycleTexture(const TextureShape& shape, GLuint texture) {
    if (texture == 0) {
        return;
    }
    if (idle_.size() < maximumIdleTextures) {
        idle_.push_back({shape, texture});
    } else {
        texturesToDelete_.push_back(texture);
    }
}

void GLUploadContext::discardSync(GLsync sync) {
    if (sync) {
        syncsToDelete_.push_back(sync);
    }
}

void GLUploadContext::keepOnlyShapes(const std::vector<TextureShape>& shapes) {
    std::erase_if(idle_, [&](const IdleTexture& texture) {
        if (std::find(shapes.begin(), shapes.end(), texture.shape) != shapes.end()) {
            return false;
        }
        texturesToDelete_.push_back(texture.name);
        return true;
    });
}

void GLUploadContext::collectGarbage() {
    QOpenGLFunctions_3_3_Core* gl = functions();
    if (!texturesToDelete_.empty()) {
        gl->glDeleteTextures(GLsizei(texturesToDelete_.size()), texturesToDelete_.data());
        texturesToDelete_.clear();
    }
    for (GLsync sync : syncsToDelete_) {
        gl->glDeleteSync(sync);
    }
    syncsToDelete_.clear();
}

void GLUploadContext::deleteEverything() {
    for (const IdleTexture& texture : idle_) {
        texturesToDelete_.push_back(texture.name);
    }
    idle_.clear();
    collectGarbage();
}
