#include "preview/gl/UploadThread.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QThread>

UploadThread::UploadThread() = default;

std::unique_ptr<UploadThread> UploadThread::create(QOpenGLContext* shareWith) {
    if (!shareWith || !QOpenGLContext::supportsThreadedOpenGL()) {
        return nullptr;
    }
    std::unique_ptr<UploadThread> made(new UploadThread);
    made->context_ = std::make_unique<QOpenGLContext>();
    made->context_->setFormat(shareWith->format());
    made->context_->setShareContext(shareWith);
    if (!made->context_->create()) {
        return nullptr;
    }
    made->surface_ = std::make_unique<QOffscreenSurface>();
    made->surface_->setFormat(made->context_->format());
    made->surface_->create();
    if (!made->surface_->isValid()) {
        return nullptr;
    }
    made->thread_ = std::thread([thread = made.get()] { thread->serve(); });
    made->handOverContext();
    return made;
}

void UploadThread::handOverContext() {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&] { return adopted_ != nullptr; });
    context_->moveToThread(adopted_);
    contextHandedOver_ = true;
    wake_.notify_all();
}

UploadThread::~UploadThread() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // The last holder of the preview's textures may be a decoding thread; the surface belongs
    // to the GUI thread.
    if (surface_ && QThread::currentThread() != surface_->thread()) {
        surface_.release()->deleteLater();
    }
}

bool UploadThread::run(const Job& job) {
    auto pending = std::make_shared<Pending>();
    pending->job = [&job](QOpenGLFunctions_3_3_Core& gl) { job(gl); };
    std::unique_lock lock(mutex_);
    if (stopping_ || !usable_) {
        return false;
    }
    queue_.push_back(pending);
    wake_.notify_all();
    finished_.wait(lock, [&] { return pending->done; });
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
    return pending->ran;
}

void UploadThread::post(Job job) {
    auto pending = std::make_shared<Pending>();
    pending->job = std::move(job);
    std::lock_guard lock(mutex_);
    if (!stopping_ && usable_) {
        queue_.push_back(std::move(pending));
        wake_.notify_all();
    }
}

void UploadThread::serve() {
    {
        std::unique_lock lock(mutex_);
        adopted_ = QThread::currentThread();
        adopted_->setObjectName(QStringLiteral("Texture upload"));
        finished_.notify_all();
        wake_.wait(lock, [&] { return contextHandedOver_; });
    }
    QOpenGLFunctions_3_3_Core* gl = nullptr;
    if (context_->makeCurrent(surface_.get())) {
        gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context_.get());
    }
    std::unique_lock lock(mutex_);
    usable_ = gl != nullptr;
    for (;;) {
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) {
            break;
        }
        const std::shared_ptr<Pending> pending = queue_.front();
        queue_.pop_front();
        if (gl) {
            lock.unlock();
            try {
                pending->job(*gl);
                pending->ran = true;
            } catch (...) {
                pending->error = std::current_exception();
            }
            lock.lock();
        }
        pending->done = true;
        finished_.notify_all();
    }
    lock.unlock();
    if (gl) {
        context_->doneCurrent();
    }
    context_.reset();
}
