#include "preview/player/EndingThread.h"

#include <QCoreApplication>

#include <algorithm>
#include <condition_variable>
#include <iterator>
#include <mutex>
#include <utility>
#include <vector>

struct EndingThread::State {
    std::mutex mutex;
    std::condition_variable ended;
    bool hasEnded = false;
    std::function<void()> whenEnded;
};

EndingThread::EndingThread(std::function<void()> body) : state_(std::make_shared<State>()) {
    thread_ = std::thread([state = state_, body = std::move(body)]() mutable {
        body();
        // Whatever the body held goes before anyone hears that the thread has ended.
        body = nullptr;
        std::function<void()> call;
        {
            const std::lock_guard lock(state->mutex);
            state->hasEnded = true;
            call = std::move(state->whenEnded);
        }
        state->ended.notify_all();
        if (call) {
            call();
        }
    });
}

EndingThread::~EndingThread() {
    letGo();
}

EndingThread& EndingThread::operator=(EndingThread&& other) noexcept {
    if (this != &other) {
        letGo();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

void EndingThread::letGo() {
    if (!thread_.joinable()) {
        return;
    }
    if (hasEnded()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

bool EndingThread::hasEnded() const {
    const std::lock_guard lock(state_->mutex);
    return state_->hasEnded;
}

bool EndingThread::waitUntil(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(state_->mutex);
    return state_->ended.wait_until(lock, deadline, [&] { return state_->hasEnded; });
}

void EndingThread::join() {
    thread_.join();
}

void EndingThread::whenEnded(std::function<void()> call) {
    {
        const std::lock_guard lock(state_->mutex);
        if (!state_->hasEnded) {
            state_->whenEnded = std::move(call);
            return;
        }
    }
    call();
}

namespace {

struct Retired {
    EndingThread thread;
    std::function<void()> thenOnGuiThread;
    std::function<void()> release;
};

struct Registry {
    std::mutex mutex;
    std::vector<Retired> threads;
    bool waitsForTheApplication = false;
};

Registry& registry() {
    static Registry made;
    return made;
}

void finish(Retired& retired) {
    retired.thread.join();
    if (retired.thenOnGuiThread) {
        retired.thenOnGuiThread();
    }
}

// On the GUI thread.
void releaseWaiting() {
    std::vector<std::function<void()>> releases;
    {
        Registry& threads = registry();
        const std::lock_guard lock(threads.mutex);
        for (Retired& retired : threads.threads) {
            if (retired.release) {
                releases.push_back(std::exchange(retired.release, nullptr));
            }
        }
    }
    for (const auto& release : releases) {
        release();
    }
}

// On the GUI thread, whenever a retired thread has ended.
void reapEnded() {
    std::vector<Retired> ended;
    {
        Registry& threads = registry();
        const std::lock_guard lock(threads.mutex);
        const auto stillRunning =
            std::partition(threads.threads.begin(), threads.threads.end(),
                           [](const Retired& retired) { return !retired.thread.hasEnded(); });
        std::move(stillRunning, threads.threads.end(), std::back_inserter(ended));
        threads.threads.erase(stillRunning, threads.threads.end());
    }
    for (Retired& retired : ended) {
        finish(retired);
    }
}

// Runs first thing when the application object is destroyed, while its windows, contexts and
// event dispatcher are still there.
void joinBeforeTheApplicationGoes() {
    {
        Registry& threads = registry();
        const std::lock_guard lock(threads.mutex);
        threads.waitsForTheApplication = false;
    }
    RetiredThreads::joinAll(std::chrono::seconds(2));
}

} // namespace

void RetiredThreads::retire(EndingThread thread, std::function<void()> thenOnGuiThread,
                            std::function<void()> release) {
    if (!thread.joinable()) {
        return;
    }
    QCoreApplication* application = QCoreApplication::instance();
    if (release && !application) {
        std::exchange(release, nullptr)();
    }
    thread.whenEnded([] {
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(application, &reapEnded, Qt::QueuedConnection);
        }
    });
    {
        Registry& threads = registry();
        const std::lock_guard lock(threads.mutex);
        if (!threads.waitsForTheApplication && application) {
            qAddPostRoutine(&joinBeforeTheApplicationGoes);
            threads.waitsForTheApplication = true;
        }
        threads.threads.push_back(
            {std::move(thread), std::move(thenOnGuiThread), std::move(release)});
    }
    if (application) {
        QMetaObject::invokeMethod(application, &releaseWaiting, Qt::QueuedConnection);
    }
}

int RetiredThreads::joinAll(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int stuck = 0;
    // A thread that ends may retire another (a decoder letting go of the last frame retires
    // the texture upload thread), so this goes on until none is left.
    for (;;) {
        releaseWaiting();
        std::vector<Retired> all;
        {
            Registry& threads = registry();
            const std::lock_guard lock(threads.mutex);
            all.swap(threads.threads);
        }
        if (all.empty()) {
            return stuck;
        }
        for (Retired& retired : all) {
            if (retired.thread.waitUntil(deadline)) {
                finish(retired);
            } else {
                // What follows it may hold what the thread still uses, so it is neither run nor
                // freed.
                static auto* const abandoned = new std::vector<std::function<void()>>;
                abandoned->push_back(std::move(retired.thenOnGuiThread));
                ++stuck;
            }
        }
        // What the ended threads handed to this thread to delete.
        if (QCoreApplication::instance()) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
}
