#pragma once

#include <QString>
#include <qcoro/qcorotask.h>

#include <chrono>
#include <exception>
#include <functional>

// Waiting in tests: always for a condition, with a deadline so that a broken program fails the
// test instead of hanging it; never a fixed sleep.
namespace Waiting {

using namespace std::chrono_literals;

// Runs the event loop until the condition holds or the time is up; true when it holds.
bool until(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 30s);

// Runs the task to its end in the event loop and returns what it threw, if anything. (QCoro's own
// waitFor never returns from a task that throws.) Fails the test when it does not finish.
std::exception_ptr finish(QCoro::Task<>&& task, std::chrono::milliseconds timeout = 30s);
std::exception_ptr finish(QCoro::Task<>& task, std::chrono::milliseconds timeout = 30s);

// The text of what the task threw (empty when it succeeded), once it has finished.
QString errorOf(QCoro::Task<>& task);

// Lets every worker of the global thread pool finish and delivers what they posted.
void settle();

} // namespace Waiting
