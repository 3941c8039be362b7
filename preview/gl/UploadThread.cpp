#include "preview/gl/UploadThread.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

struct UploadThread::Shared {
    std::unique_ptr<QOpenGLContext> context;
    std::vector<std::unique_ptr<QOpenGLContext>> toDestroy;
    QThread* adopted = nullptr;
    bool contextHandedOver = false;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    std::deque<std::shared_ptr<Pending>> queue;
    bool stopping = false;
    bool usable = true;
    bool mayDestroy = false;
};

UploadThread::UploadThread() : shared_(std::make_shared<Shared>()) {}

std::unique_ptr<UploadThread> UploadThread::create(QOpenGLContext* shareWith) {
    if (!shareWith || !QOpenGLContext::supportsThreadedOpenGL()) {
        return nullptr;
    }
    std::unique_ptr<UploadThread> made(new UploadThread);
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(shareWith->format());
    context->setShareContext(shareWith);
    if (!context->create()) {
        return nullptr;
    }
    made->surface_ = std::make_unique<QOffscreenSurface>();
    made->surface_->setFormat(context->format());
    made->surface_->create();
    if (!made->surface_->isValid()) {
        return nullptr;
    }
    made->shared_->context = std::move(context);
    made->thread_ = EndingThread(
        [shared = made->shared_, surface = made->surface_.get()] { serve(*shared, surface); });
    made->handOverContext();
    return made;
}

void UploadThread::handOverContext() {
    Shared& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    shared.finished.wait(lock, [&] { return shared.adopted != nullptr; });
    shared.context->moveToThread(shared.adopted);
    shared.contextHandedOver = true;
    shared.wake.notify_all();
}

UploadThread::~UploadThread() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        std::erase_if(shared_->queue, [](const auto& pending) { return pending->mayDrop; });
    }
    shared_->wake.notify_all();
    // The surface stays current on the thread until it has ended. The contexts wait for the GUI
    // thread to finish what it is doing: destroying them and the window's own at once would have
    // each wait for the other's frees.
    RetiredThreads::retire(
        std::move(thread_),
        [surface = std::shared_ptr<QOffscreenSurface>(std::move(surface_))]() mutable {
            surface.reset();
        },
        [shared = shared_] {
            const std::lock_guard lock(shared->mutex);
            shared->mayDestroy = true;
            shared->wake.notify_all();
        });
}

void UploadThread::destroyWhenEnding(std::unique_ptr<QOpenGLContext> context) {
    context->moveToThread(shared_->adopted);
    const std::lock_guard lock(shared_->mutex);
    shared_->toDestroy.push_back(std::move(context));
}

void UploadThread::enqueue(std::shared_ptr<Pending> pending) {
    shared_->queue.push_back(std::move(pending));
    shared_->wake.notify_all();
}

bool UploadThread::run(const Job& job) {
    auto pending = std::make_shared<Pending>();
    pending->job = [&job](QOpenGLFunctions_3_3_Core& gl) { job(gl); };
    Shared& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    if (shared.stopping || !shared.usable) {
        return false;
    }
    enqueue(pending);
    shared.finished.wait(lock, [&] { return pending->done; });
    if (pending->error) {
        std::rethrow_exception(pending->error);
    }
    return pending->ran;
}

void UploadThread::post(Job job) {
    auto pending = std::make_shared<Pending>();
    pending->job = std::move(job);
    pending->mayDrop = true;
    const std::lock_guard lock(shared_->mutex);
    if (!shared_->stopping && shared_->usable) {
        enqueue(std::move(pending));
    }
}

void UploadThread::serve(Shared& shared, QOffscreenSurface* surface) {
    {
        std::unique_lock lock(shared.mutex);
        shared.adopted = QThread::currentThread();
        shared.adopted->setObjectName(QStringLiteral("Texture upload"));
        shared.finished.notify_all();
        shared.wake.wait(lock, [&] { return shared.contextHandedOver; });
    }
    QOpenGLFunctions_3_3_Core* gl = nullptr;
    if (shared.context->makeCurrent(surface)) {
        gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(shared.context.get());
    }
    std::unique_lock lock(shared.mutex);
    shared.usable = gl != nullptr;
    for (;;) {
        shared.wake.wait(lock, [&] { return shared.stopping || !shared.queue.empty(); });
        if (shared.queue.empty()) {
            break;
        }
        const std::shared_ptr<Pending> pending = shared.queue.front();
        shared.queue.pop_front();
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
        shared.finished.notify_all();
    }
    shared.wake.wait(lock, [&] { return shared.mayDestroy; });
    std::vector<std::unique_ptr<QOpenGLContext>> toDestroy = std::move(shared.toDestroy);
    lock.unlock();
    if (gl) {
        shared.context->doneCurrent();
    }
    shared.context.reset();
    toDestroy.clear();
}
