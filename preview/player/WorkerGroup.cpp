#include "preview/player/WorkerGroup.h"

WorkerGroup::~WorkerGroup() {
    for (EndingThread& thread : threads_) {
        if (!thread.hasEnded()) {
            RetiredThreads::retire(std::move(thread));
        }
    }
}

void WorkerGroup::start(std::function<void()> body) {
    // Those that have ended are joined, which takes microseconds.
    std::erase_if(threads_, [](const EndingThread& thread) { return thread.hasEnded(); });
    threads_.emplace_back(std::move(body));
}
