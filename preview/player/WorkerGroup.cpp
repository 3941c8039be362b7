#include "preview/player/WorkerGroup.h"

#include <algorithm>

WorkerGroup::~WorkerGroup() {
    {
        std::unique_lock lock(shared_->mutex);
        shared_->ended.wait_for(lock, endWait, [this] { return shared_->running == 0; });
    }
    reap();
    for (std::thread& stuck : threads_) {
        stuck.detach();
    }
}

void WorkerGroup::start(std::function<void()> body) {
    reap();
    {
        const std::lock_guard lock(shared_->mutex);
        ++shared_->running;
    }
    threads_.emplace_back([shared = shared_, body = std::move(body)]() mutable {
        body();
        // Whatever the body held goes before the group hears that the thread has ended.
        body = nullptr;
        const std::lock_guard lock(shared->mutex);
        --shared->running;
        shared->ending.push_back(std::this_thread::get_id());
        shared->ended.notify_all();
    });
}

bool WorkerGroup::idle() const {
    const std::lock_guard lock(shared_->mutex);
    return shared_->running == 0;
}

void WorkerGroup::reap() {
    std::vector<std::thread::id> ending;
    {
        const std::lock_guard lock(shared_->mutex);
        ending.swap(shared_->ending);
    }
    const auto end =
        std::partition(threads_.begin(), threads_.end(), [&](const std::thread& thread) {
            return std::find(ending.begin(), ending.end(), thread.get_id()) == ending.end();
        });
    for (auto it = end; it != threads_.end(); ++it) {
        it->join();
    }
    threads_.erase(end, threads_.end());
}
