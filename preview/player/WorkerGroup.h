#pragma once

#include "preview/player/EndingThread.h"

#include <functional>
#include <vector>

// Threads that are told to stop and then end on their own: nobody waits for their work, since a
// decoder busy with a frame, or a read stuck on a vanished drive, would freeze the window. A
// thread's body must own (or share) everything it touches. Those still running when the group
// goes are retired, so that they are joined before the application is torn down.
class WorkerGroup {
public:
    WorkerGroup() = default;
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;
    ~WorkerGroup();

    void start(std::function<void()> body);

private:
    std::vector<EndingThread> threads_;
};
