#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class QThread;

// A thread of its own with an OpenGL context in the preview's share group. Filling a 6K frame's
// textures copies some 25 MB, and making or freeing them touches as much memory again on a
// software renderer: done here, that work never holds up the window.
class UploadThread {
public:
    using Job = std::function<void(QOpenGLFunctions_3_3_Core& gl)>;

    // On the GUI thread. Null when this system cannot use a context on another thread.
    static std::unique_ptr<UploadThread> create(QOpenGLContext* shareWith);
    // Runs the jobs already asked for, then ends the thread and waits for it.
    ~UploadThread();
    UploadThread(const UploadThread&) = delete;
    UploadThread& operator=(const UploadThread&) = delete;

    // Runs the job on the thread with its context current and waits for it; what the job throws
    // is thrown here. From any thread but this one. False when the thread has no usable context.
    bool run(const Job& job);
    // Runs the job on the thread later, without waiting; what it throws is dropped, so it must
    // be work that is only ever ahead of need.
    void post(Job job);

private:
    struct Pending {
        Job job;
        bool done = false;
        bool ran = false;
        std::exception_ptr error;
    };

    UploadThread();
    void serve();
    // Hands the context to the thread once it runs; Qt only lets an object's own thread move it.
    void handOverContext();

    std::unique_ptr<QOffscreenSurface> surface_;
    // Made on the GUI thread, moved to the thread, and deleted there when it ends.
    std::unique_ptr<QOpenGLContext> context_;
    // Joinable, unlike a QThread: once the destructor returns the thread is gone, not still
    // unwinding while the process exits.
    std::thread thread_;
    QThread* adopted_ = nullptr;
    bool contextHandedOver_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<Pending>> queue_;
    bool stopping_ = false;
    bool usable_ = true;
};
