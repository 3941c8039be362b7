#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// A thread that says when its body has returned, so that joining it then takes microseconds and
// the thread that let it go never has to wait for its work.
class EndingThread {
public:
    EndingThread() = default;
    explicit EndingThread(std::function<void()> body);
    EndingThread(EndingThread&&) noexcept = default;
    EndingThread& operator=(EndingThread&& other) noexcept;
    // Joins a thread that has ended; one still running is left to finish alone.
    ~EndingThread();

    bool joinable() const { return thread_.joinable(); }
    bool hasEnded() const;
    // Waits until the body has returned or the deadline has passed; true if it has returned.
    bool waitUntil(std::chrono::steady_clock::time_point deadline) const;
    void join();
    // Called once, on the thread, as soon as the body has returned (at once if it already has).
    void whenEnded(std::function<void()> call);

private:
    void letGo();

    struct State;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Threads told to end that nobody waits for: decoders still freeing their frames, contexts still
// being destroyed. Each is joined once it has ended, and what must follow on the GUI thread (a
// surface the thread drew on) runs then. Whatever is still running when the application object
// goes is waited for, within a bound, before Qt is torn down.
namespace RetiredThreads {

// From any thread. `thenOnGuiThread` runs on the GUI thread once the thread has been joined.
// `release`, for a thread whose last work would compete with what the GUI thread is doing now
// (freeing under the same locks while a window is torn down), is called once on the GUI thread
// when its event loop next turns, or when the application ends; the thread waits for it.
void retire(EndingThread thread, std::function<void()> thenOnGuiThread = {},
            std::function<void()> release = {});
// On the GUI thread: releases and waits for every retired thread, at most `bound` in all, and
// runs what follows them; a thread still running after that is left to finish alone. Returns how
// many were.
int joinAll(std::chrono::milliseconds bound);

} // namespace RetiredThreads
