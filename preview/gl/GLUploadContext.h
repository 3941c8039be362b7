#pragma once

#include "preview/gl/UploadThread.h"

#include <QtGui/qopengl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
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

// The renderer's OpenGL 3.3 core contexts in the application's share group: one on the GUI
// thread for the renderer's own objects, and one on the upload thread where frames are uploaded
// once and then sampled by every preview surface. It also keeps the textures of released frames
// for reuse, because allocating a 6K texture for every decoded frame costs more than filling one.
// Shared by the renderer, every frame it made and the player's preparer, so that a frame may
// outlive the renderer; the texture pool may be used from any thread.
class GLUploadContext {
public:
    struct TextureShape {
        GLenum internalFormat = 0;
        int width = 0;
        int height = 0;
        friend bool operator==(const TextureShape&, const TextureShape&) = default;
    };
    using Job = UploadThread::Job;

    // On the GUI thread. Null when no OpenGL 3.3 core context can be made on this system.
    static std::shared_ptr<GLUploadContext> create();
    ~GLUploadContext();
    GLUploadContext(const GLUploadContext&) = delete;
    GLUploadContext& operator=(const GLUploadContext&) = delete;

    // The GUI thread's context.
    QOpenGLContext* context() const { return context_.get(); }
    QSurface* surface() const;
    // Valid only while the GUI thread's context is current.
    QOpenGLFunctions_3_3_Core* functions() const;

    // Runs an upload job and waits for it: on the upload thread, or where that thread cannot be
    // had, here with the GUI thread's context. What the job throws is thrown here; false when no
    // context could be made current.
    bool run(const Job& job);
    // Whether run() may be called from threads other than the GUI thread.
    bool uploadsOffMainThread() const { return uploadThread_ != nullptr; }

    // From any thread, without waiting: makes sure that, once the upload thread gets to it,
    // textures for `frames` frames of these shapes are idle, and drops idle ones of other shapes.
    // Nothing happens without an upload thread.
    void reserve(const std::vector<TextureShape>& shapes, int frames);
    // Within a job: a texture of that shape (its contents undefined), reused when one is idle,
    // else new; 0 on failure. With `mayWait`, when the reserved frames' textures of that shape
    // are all in use, waits a little for one to come back before making another.
    GLuint takeTexture(QOpenGLFunctions_3_3_Core& gl, const TextureShape& shape,
                       bool mayWait = false);
    // Before any upload: how long takeTexture() may wait.
    void setLongestWaitForTexture(std::chrono::milliseconds wait) { longestWaitForTexture_ = wait; }
    // From any thread: hands back a texture nobody reads any more, and a sync object to delete.
    // Nothing is called on OpenGL here; the work happens at the next collectGarbage().
    void recycleTexture(const TextureShape& shape, GLuint texture);
    void discardSync(GLsync sync);
    // Idle textures of other shapes will not be wanted again (the source changed size or format).
    void keepOnlyShapes(const std::vector<TextureShape>& shapes);
    // Within a job: deletes what recycling could not keep.
    void collectGarbage(QOpenGLFunctions_3_3_Core& gl);

    // Frames uploaded for showing since construction.
    std::int64_t uploadCount() const { return uploadCount_; }
    void countUpload() { ++uploadCount_; }
    // Textures made since construction, reused ones not counted.
    std::int64_t texturesMade() const { return texturesMade_; }

private:
    GLUploadContext();
    void deleteEverything(QOpenGLFunctions_3_3_Core& gl);
    GLuint makeTexture(QOpenGLFunctions_3_3_Core& gl, const TextureShape& shape);

    struct IdleTexture {
        TextureShape shape;
        GLuint name;
    };
    // Textures of one shape: how many reserve() asked for and how many are taken now.
    struct ShapeAccount {
        TextureShape shape;
        std::ptrdiff_t reserved = 0;
        std::ptrdiff_t taken = 0;
    };
    // With poolMutex_ held.
    ShapeAccount& accountFor(const TextureShape& shape);
    bool hasIdle(const TextureShape& shape) const;
    void keepIdle(const TextureShape& shape, GLuint texture);
    std::unique_ptr<QOffscreenSurface> surface_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<UploadThread> uploadThread_;
    std::mutex poolMutex_;
    std::vector<IdleTexture> idle_;
    std::vector<ShapeAccount> accounts_;
    std::condition_variable recycled_;
    // The frame shown before goes back once the window has drawn the next, a few milliseconds
    // after the decoder was let on; a plane made meanwhile would hold 16 MB (6K) to 30 MB (8K)
    // for good.
    std::chrono::milliseconds longestWaitForTexture_{40};
    std::vector<GLuint> texturesToDelete_;
    std::vector<GLsync> syncsToDelete_;
    std::atomic<std::int64_t> uploadCount_{0};
    std::atomic<std::int64_t> texturesMade_{0};
};
