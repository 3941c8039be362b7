#pragma once

#include <QCoreApplication>
#include <QTest>
#include <qcoro/qcorotask.h>

#include <chrono>

// The event loop the engine's timers, polls and queued callbacks need.
inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "preview_tests";
    static char* argv[] = {name, nullptr};
    [[maybe_unused]] static QCoreApplication* app = nullptr;
    if (!QCoreApplication::instance())
        app = new QCoreApplication(argc, argv);
}

// Runs the event loop until the task has finished or the time is up.
template <typename Task>
bool runUntilDone(Task& task, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    return QTest::qWaitFor([&] { return task.isReady(); }, int(limit.count()));
}

namespace detail {
template <typename Task> QCoro::Task<> catchError(Task* task, QString* error, bool* done) {
    try {
        co_await *task;
    } catch (const std::exception& caught) {
        *error = QString::fromUtf8(caught.what());
    }
    *done = true;
}
} // namespace detail

// The task's error text, or an empty text when it succeeded. Waits for it to finish.
template <typename Task> QString errorOf(Task& task) {
    QString error;
    bool done = false;
    auto watcher = detail::catchError(&task, &error, &done);
    if (!QTest::qWaitFor([&] { return done; }, 30000))
        return QStringLiteral("(still running)");
    return error;
}
