#include "preview/gl/GLUploadContext.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QSurfaceFormat>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Enough for the planes of the frames alive at once while playing (see reserve()).
constexpr std::size_t maximumIdleTextures = 12;

using TexStorage2D = void(QOPENGLF_APIENTRYP)(GLenum, GLsizei, GLenum, GLsizei, GLsizei);

// Immutable storage, where the driver has it. Mesa clears a new texture's memory (some 50 ms for
// a 6K plane on a software renderer) and, for glTexImage2D, holds the lock of the whole share
// group meanwhile, which every preview's draw then waits for; glTexStorage2D does not hold it.
TexStorage2D texStorage2D() {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context || (context->format().version() < qMakePair(4, 2) &&
                     !context->hasExtension(QByteArrayLiteral("GL_ARB_texture_storage")))) {
        return nullptr;
    }
    return reinterpret_cast<TexStorage2D>(context->getProcAddress("glTexStorage2D"));
}

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
    {
        ScopedCurrentContext current(upload->context_.get(), upload->surface_.get());
        if (!current.isCurrent() || !upload->functions()) {
            return nullptr;
        }
    }
    // Without a thread of its own, uploads run on the GUI thread as they always could.
    upload->uploadThread_ = UploadThread::create(upload->context_.get());
    return upload;
}

GLUploadContext::~GLUploadContext() {
    if (!context_ || !surface_) {
        return;
    }
    const bool onGuiThread = QThread::currentThread() == context_->thread();
    if (uploadThread_ || onGuiThread) {
        try {
            run([this](QOpenGLFunctions_3_3_Core& gl) { deleteEverything(gl); });
        } catch (...) {
            // Whatever could not be deleted goes with the share group.
        }
    }
    if (!onGuiThread) {
        // The last frame was let go on another thread; these belong to the GUI thread.
        uploadThread_.reset();
        context_.release()->deleteLater();
        surface_.release()->deleteLater();
        return;
    }
    if (uploadThread_) {
        // Destroying a context frees for tens of milliseconds on a software renderer; the
        // upload thread does it as it ends, and nothing waits for that.
        if (QOpenGLContext::currentContext() == context_.get()) {
            context_->doneCurrent();
        }
        uploadThread_->destroyWhenEnding(std::move(context_));
        uploadThread_.reset();
    }
}

QSurface* GLUploadContext::surface() const {
    return surface_.get();
}

QOpenGLFunctions_3_3_Core* GLUploadContext::functions() const {
    return QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context_.get());
}

bool GLUploadContext::run(const Job& job) {
    if (uploadThread_) {
        return uploadThread_->run(job);
    }
    ScopedCurrentContext current(context_.get(), surface_.get());
    QOpenGLFunctions_3_3_Core* gl = current.isCurrent() ? functions() : nullptr;
    if (!gl) {
        return false;
    }
    job(*gl);
    return true;
}

GLuint GLUploadContext::takeTexture(QOpenGLFunctions_3_3_Core& gl, const TextureShape& shape,
                                    bool mayWait) {
    {
        std::unique_lock lock(poolMutex_);
        ShapeAccount& account = accountFor(shape);
        if (mayWait && !hasIdle(shape) && account.reserved > 0 &&
            account.taken >= account.reserved) {
            recycled_.wait_for(lock, longestWaitForTexture_, [&] { return hasIdle(shape); });
        }
        const auto idle = std::find_if(idle_.begin(), idle_.end(), [&](const IdleTexture& texture) {
            return texture.shape == shape;
        });
        if (idle != idle_.end()) {
            const GLuint name = idle->name;
            idle_.erase(idle);
            ++accountFor(shape).taken;
            return name;
        }
    }
    const GLuint made = makeTexture(gl, shape);
    if (made != 0) {
        std::lock_guard lock(poolMutex_);
        ++accountFor(shape).taken;
    }
    return made;
}

GLUploadContext::ShapeAccount& GLUploadContext::accountFor(const TextureShape& shape) {
    const auto found =
        std::find_if(accounts_.begin(), accounts_.end(),
                     [&](const ShapeAccount& account) { return account.shape == shape; });
    return found != accounts_.end() ? *found : accounts_.emplace_back(ShapeAccount{shape});
}

bool GLUploadContext::hasIdle(const TextureShape& shape) const {
    return std::any_of(idle_.begin(), idle_.end(),
                       [&](const IdleTexture& texture) { return texture.shape == shape; });
}

GLuint GLUploadContext::makeTexture(QOpenGLFunctions_3_3_Core& gl, const TextureShape& shape) {
    GLuint name = 0;
    gl.glGenTextures(1, &name);
    if (name == 0) {
        return 0;
    }
    const bool twoChannels = shape.internalFormat == GL_RG8 || shape.internalFormat == GL_RG16;
    const bool sixteenBits = shape.internalFormat == GL_R16 || shape.internalFormat == GL_RG16;
    ++texturesMade_;
    gl.glBindTexture(GL_TEXTURE_2D, name);
    if (const TexStorage2D storage = texStorage2D()) {
        storage(GL_TEXTURE_2D, 1, shape.internalFormat, shape.width, shape.height);
    } else {
        gl.glTexImage2D(GL_TEXTURE_2D, 0, GLint(shape.internalFormat), shape.width, shape.height, 0,
                        twoChannels ? GL_RG : GL_RED,
                        sixteenBits ? GL_UNSIGNED_SHORT : GL_UNSIGNED_BYTE, nullptr);
    }
    // One level only; the sampler object decides filtering and wrapping when drawing.
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

void GLUploadContext::reserve(const std::vector<TextureShape>& shapes, int frames) {
    if (!uploadThread_) {
        return;
    }
    {
        std::lock_guard lock(poolMutex_);
        for (ShapeAccount& account : accounts_) {
            account.reserved = 0;
        }
        for (const TextureShape& shape : shapes) {
            accountFor(shape).reserved += frames;
        }
        std::erase_if(accounts_, [](const ShapeAccount& account) {
            return account.reserved == 0 && account.taken == 0;
        });
    }
    // Making a texture clears its memory (tens of milliseconds at 6K), and without immutable
    // storage holds the renderer's lock on the whole share group meanwhile, which every draw
    // waits for: better done now, while the first frame decodes, than while the previews play.
    uploadThread_->post([this, shapes, frames](QOpenGLFunctions_3_3_Core& gl) {
        keepOnlyShapes(shapes);
        collectGarbage(gl);
        const bool holdsTheLock = texStorage2D() == nullptr;
        constexpr std::chrono::steady_clock::duration minimumPause = std::chrono::milliseconds(2);
        std::chrono::steady_clock::duration lastHold{};
        // The chroma planes' textures first, which hold the lock for a quarter of the luma's:
        // the window redraws just after a source opens, and a long hold then would hold that up.
        for (const TextureShape& shape : std::vector(shapes.rbegin(), shapes.rend())) {
            // Both chroma planes have the same shape.
            const auto wanted = frames * std::count(shapes.begin(), shapes.end(), shape);
            const auto idleOfShape = [&] {
                std::lock_guard lock(poolMutex_);
                return std::count_if(idle_.begin(), idle_.end(),
                                     [&](const IdleTexture& idle) { return idle.shape == shape; });
            };
            for (auto count = idleOfShape(); count < wanted; ++count) {
                // The lock is not fair: without a pause a waiting draw would not get it until
                // every texture is made. A 6K texture holds it for some 50 ms, which the window
                // may have spent waiting to draw a frame, so the pause grows with the hold: half
                // of it lets that frame, and the next, draw before the lock is taken again.
                std::this_thread::sleep_for(holdsTheLock ? std::max(minimumPause, lastHold / 2)
                                                         : minimumPause);
                const auto start = std::chrono::steady_clock::now();
                const GLuint texture = makeTexture(gl, shape);
                lastHold = std::chrono::steady_clock::now() - start;
                if (texture == 0) {
                    return;
                }
                std::lock_guard lock(poolMutex_);
                keepIdle(shape, texture);
            }
        }
    });
}

void GLUploadContext::recycleTexture(const TextureShape& shape, GLuint texture) {
    if (texture == 0) {
        return;
    }
    {
        std::lock_guard lock(poolMutex_);
        ShapeAccount& account = accountFor(shape);
        --account.taken;
        keepIdle(shape, texture);
    }
    recycled_.notify_all();
}

void GLUploadContext::keepIdle(const TextureShape& shape, GLuint texture) {
    if (idle_.size() < maximumIdleTextures) {
        idle_.push_back({shape, texture});
    } else {
        texturesToDelete_.push_back(texture);
    }
}

void GLUploadContext::discardSync(GLsync sync) {
    if (sync) {
        std::lock_guard lock(poolMutex_);
        syncsToDelete_.push_back(sync);
    }
}

void GLUploadContext::keepOnlyShapes(const std::vector<TextureShape>& shapes) {
    std::lock_guard lock(poolMutex_);
    std::erase_if(idle_, [&](const IdleTexture& texture) {
        if (std::find(shapes.begin(), shapes.end(), texture.shape) != shapes.end()) {
            return false;
        }
        texturesToDelete_.push_back(texture.name);
        return true;
    });
}

void GLUploadContext::collectGarbage(QOpenGLFunctions_3_3_Core& gl) {
    std::vector<GLuint> textures;
    std::vector<GLsync> syncs;
    {
        std::lock_guard lock(poolMutex_);
        textures.swap(texturesToDelete_);
        syncs.swap(syncsToDelete_);
    }
    if (!textures.empty()) {
        gl.glDeleteTextures(GLsizei(textures.size()), textures.data());
    }
    for (GLsync sync : syncs) {
        gl.glDeleteSync(sync);
    }
}

void GLUploadContext::deleteEverything(QOpenGLFunctions_3_3_Core& gl) {
    {
        std::lock_guard lock(poolMutex_);
        for (const IdleTexture& texture : idle_) {
            texturesToDelete_.push_back(texture.name);
        }
        idle_.clear();
    }
    collectGarbage(gl);
}
