#pragma once

#include "preview/player/EndingThread.h"

#include <exception>
#include <functional>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFunctions_3_3_Core;
class QThread;

// A thread of its own with an OpenGL context in the preview's share group. Filling a 6K frame's
// textures copies some 25 MB, and making or freeing them touches as much memory again on a
// software renderer: done here, that work never holds up the window. So does destroying the
// contexts, which frees for tens of milliseconds inside the driver.
class UploadThread {
public:
    using Job = std::function<void(QOpenGLFunctions_3_3_Core& gl)>;

    // On the GUI thread. Null when this system cannot use a context on another thread.
    static std::unique_ptr<UploadThread> create(QOpenGLContext* shareWith);
    // Tells the thread to end once the job it runs is done, without waiting for it; jobs posted
    // and not yet begun are dropped. The thread then destroys its context and those handed to it.
    ~UploadThread();
    UploadThread(const UploadThread&) = delete;
    UploadThread& operator=(const UploadThread&) = delete;

    // Runs the job on the thread with its context current and waits for it; what the job throws
    // is thrown here. From any thread but this one. False when the thread has no usable context.
    bool run(const Job& job);
    // Runs the job on the thread later, without waiting; what it throws is dropped, so it must
    // be work that is only ever ahead of need.
    void post(Job job);
    // On the GUI thread, with a context that is current nowhere: the thread destroys it as it ends.
    void destroyWhenEnding(std::unique_ptr<QOpenGLContext> context);

private:
    struct Pending {
        Job job;
        bool done = false;
        bool ran = false;
        bool mayDrop = false;
        std::exception_ptr error;
    };
    // What the thread uses; it may outlive this object while the thread ends.
    struct Shared;

    UploadThread();
    static void serve(Shared& shared, QOffscreenSurface* surface);
    // Hands the context to the thread once it runs; Qt only lets an object's own thread move it.
    void handOverContext();
    void enqueue(std::shared_ptr<Pending> pending);

    std::shared_ptr<Shared> shared_;
    // A GUI thread object; deleted there once the thread has ended.
    std::unique_ptr<QOffscreenSurface> surface_;
    EndingThread thread_;
};
