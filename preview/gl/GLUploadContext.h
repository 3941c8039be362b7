#pragma once

#include <QtGui/qopengl.h>

#include <memory>
#include <vector>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class QSurface;

// Makes a context current for a scope and then puts back whatever was current before, so that
// uploads and clean-up never disturb a surface that is in the middle of drawing.
class ScopedCurrentContext {
public:
    ScopedCurrentContext(QOpenGLContext* context, QSurface* surface);
    ~ScopedCurrentContext();
    ScopedCurrentContext(const ScopedCurrentContext&) = delete;
    ScopedCurrentContext& operator=(const ScopedCurrentContext&) = delete;

    bool isCurrent() const { return current_; }

private:
    QOpenGLContext* previousContext_;
    QSurface* previousSurface_;
    bool current_ = false;
};

// The renderer's own OpenGL 3.3 core context, in the application's share group, on an offscreen
// surface: frames are uploaded here once and sampled by every preview surface. It also keeps the
// textures of released frames for reuse, because allocating a 6K texture for every decoded frame
// costs more than filling one. Shared by the renderer and every frame it made, so that a frame
// may outlive the renderer.
class GLUploadContext {
public:
    struct TextureShape {
        GLenum internalFormat = 0;
        int width = 0;
        int height = 0;
        friend bool operator==(const TextureShape&, const TextureShape&) = default;
    };

    // Null when no OpenGL 3.3 core context can be made on this system.
    static std::shared_ptr<GLUploadContext> create();
    ~GLUploadContext();
    GLUploadContext(const GLUploadContext&) = delete;
    GLUploadContext& operator=(const GLUploadContext&) = delete;

    QOpenGLContext* context() const { return context_.get(); }
    QSurface* surface() const;
    // Valid only while this context is current.
    QOpenGLFunctions_3_3_Core* functions() const;

    // While this context is current: a texture of that shape (its contents undefined), reused
    // when one is idle, else new; 0 on failure.
    GLuint takeTexture(const TextureShape& shape);
    // From any state: hands back a texture nobody reads any more, and a sync object to delete.
    // Nothing is called on OpenGL here; the work happens at the next collectGarbage().
    void recycleTexture(const TextureShape& shape, GLuint texture);
    void discardSync(GLsync sync);
    // Idle textures of other shapes will not be wanted again (the source changed size or format).
    void keepOnlyShapes(const std::vector<TextureShape>& shapes);
    // While this context is current: deletes what recycling could not keep.
    void collectGarbage();

private:
    GLUploadContext();
    void deleteEverything();

    struct IdleTexture {
        TextureShape shape;
        GLuint name;
    };
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    std::vector<IdleTexture> idle_;
    std::vector<GLuint> texturesToDelete_;
    std::vector<GLsync> syncsToDelete_;
};
