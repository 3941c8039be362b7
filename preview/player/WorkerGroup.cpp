#include "preview/player/WorkerGroup.h"

#include <thread>

WorkerGroup::~WorkerGroup() {
    std::unique_lock lock(shared_->mutex);
    shared_->ended.wait_for(lock, endWait, [this] { return shared_->running == 0; });
}

void WorkerGroup::start(std::function<void()> body) {
    {
        const std::lock_guard lock(shared_->mutex);
        ++shared_->running;
    }
    std::thread([shared = shared_, body = std::move(body)]() mutable {
        body();
        // Whatever the body held goes before the group hears that the thread has ended.
        body = nullptr;
        const std::lock_guard lock(shared->mutex);
        --shared->running;
        shared->ended.notify_all();
    }).detach();
}

bool WorkerGroup::idle() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->running == 0;
}
