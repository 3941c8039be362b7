#include "support/Waiting.h"

#include "model/UserError.h"

#include <QCoreApplication>
#include <QTest>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <memory>

namespace Waiting {

namespace {

struct Outcome {
    bool done = false;
    std::exception_ptr error;
};

QCoro::Task<> capture(QCoro::Task<>* task, std::shared_ptr<Outcome> outcome) {
    try {
        co_await *task;
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

} // namespace

bool until(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(condition, int(timeout.count()));
}

std::exception_ptr finish(QCoro::Task<>& task, std::chrono::milliseconds timeout) {
    auto outcome = std::make_shared<Outcome>();
    auto watcher = capture(&task, outcome);
    EXPECT_TRUE(until([&] { return outcome->done; }, timeout)) << "the task did not finish";
    return outcome->error;
}

std::exception_ptr finish(QCoro::Task<>&& task, std::chrono::milliseconds timeout) {
    return finish(task, timeout);
}

QString errorOf(QCoro::Task<>& task) {
    return localizedDescription(finish(task));
}

void settle() {
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace Waiting
