#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Threads that are told to stop and then end on their own: nobody waits for their work on the main
// thread, where a decoder busy with a frame, or a read stuck on a vanished drive, would freeze the
// window.
// When the group goes it waits a bounded time for its threads, so that they normally end before
// the objects around them; one still stuck after that finishes alone. A thread's body must own
// (or share) everything it touches. A thread that has said it is ending is joined (which then
// takes microseconds), so that none is still unwinding when the process exits.
class WorkerGroup {
public:
    static constexpr std::chrono::seconds endWait{2};

    WorkerGroup() = default;
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;
    ~WorkerGroup();

    void start(std::function<void()> body);
    // Whether every thread of the group has ended.
    bool idle() const;

private:
    struct Shared {
        mutable std::mutex mutex;
        std::condition_variable ended;
        int running = 0;
        std::vector<std::thread::id> ending;
    };
    // Joins the threads that have said they are ending.
    void reap();

    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::vector<std::thread> threads_;
};
