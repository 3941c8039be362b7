// Threads that are let go of without waiting: they are joined once they have ended, what must
// follow them runs on the GUI thread, and none is still running when the application goes.
#include "preview/player/EndingThread.h"
#include "preview/player/WorkerGroup.h"
#include "support/Waiting.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

using namespace std::chrono_literals;

// A thread body that waits until the test lets it go.
struct Gate {
    std::promise<void> opened;
    std::shared_future<void> open = opened.get_future().share();
    std::function<void()> waiter() {
        return [open = open] { open.wait(); };
    }
};

TEST(RetiredThreads, AreJoinedWhenTheyEndAndWhatFollowsRunsOnTheGuiThreadAfterThem) {
    // Let go of while still running: what follows waits for the thread, and runs in the event
    // loop without anyone joining explicitly.
    Gate gate;
    std::atomic<bool> bodyDone = false;
    QThread* followedOn = nullptr;
    bool doneBeforeFollowing = false;
    EndingThread running([&, open = gate.open] {
        open.wait();
        bodyDone = true;
    });
    EXPECT_FALSE(running.hasEnded());
    RetiredThreads::retire(std::move(running), [&] {
        followedOn = QThread::currentThread();
        doneBeforeFollowing = bodyDone;
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(followedOn, nullptr);
    gate.opened.set_value();
    ASSERT_TRUE(Waiting::until([&] { return followedOn != nullptr; }));
    EXPECT_EQ(followedOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(doneBeforeFollowing);

    // A thread that retires another as it ends (a decoder letting go of the last frame of a
    // renderer): joining them all waits for both, within the bound.
    Gate second;
    int followed = 0;
    EndingThread outer([&followed, open = second.open] {
        open.wait();
        RetiredThreads::retire(EndingThread([] { std::this_thread::sleep_for(20ms); }),
                               [&followed] { ++followed; });
    });
    RetiredThreads::retire(std::move(outer), [&followed] { ++followed; });
    second.opened.set_value();
    EXPECT_EQ(RetiredThreads::joinAll(5s), 0);
    EXPECT_EQ(followed, 2);

    // One that waits to be let go (an upload thread destroying contexts while the window is torn
    // down would slow both): let go when the event loop turns, or when everything is joined.
    for (const bool turnTheLoop : {true, false}) {
        Gate release;
        std::atomic<bool> releasedEnded = false;
        RetiredThreads::retire(EndingThread([&releasedEnded, open = release.open] {
                                   open.wait();
                                   releasedEnded = true;
                               }),
                               {}, [&release] { release.opened.set_value(); });
        if (turnTheLoop) {
            ASSERT_TRUE(Waiting::until([&] { return bool(releasedEnded); }));
        }
        EXPECT_EQ(RetiredThreads::joinAll(5s), 0);
        EXPECT_TRUE(releasedEnded);
    }

    // One that does not end within the bound is left alone, and what follows it never runs while
    // it may still use it.
    Gate stuck;
    bool stuckFollowed = false;
    RetiredThreads::retire(EndingThread(stuck.waiter()), [&] { stuckFollowed = true; });
    EXPECT_EQ(RetiredThreads::joinAll(50ms), 1);
    EXPECT_FALSE(stuckFollowed);
    stuck.opened.set_value();
    EXPECT_EQ(RetiredThreads::joinAll(1s), 0);
    EXPECT_FALSE(stuckFollowed);
}

TEST(WorkerGroup, GoesWithoutWaitingForItsThreadsWhichEndAndAreJoinedLater) {
    Gate gate;
    std::atomic<int> ended = 0;
    auto group = std::make_unique<WorkerGroup>();
    for (int i = 0; i < 3; ++i) {
        group->start([&ended, open = gate.open] {
            open.wait();
            ++ended;
        });
    }
    // The group goes while every thread still waits: nothing here blocks on them.
    group.reset();
    EXPECT_EQ(ended, 0);
    gate.opened.set_value();
    EXPECT_EQ(RetiredThreads::joinAll(5s), 0);
    EXPECT_EQ(ended, 3);

    // Threads that have ended are joined as new ones start, so a long-lived group does not
    // gather them.
    WorkerGroup lasting;
    std::atomic<int> runs = 0;
    for (int i = 0; i < 50; ++i) {
        lasting.start([&runs] { ++runs; });
    }
    ASSERT_TRUE(Waiting::until([&] { return runs == 50; }));
}

} // namespace
