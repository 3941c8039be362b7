#pragma once

#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// The outcome of work done on a worker thread: its value, or what it threw.
template <typename T> struct Attempt {
    std::optional<T> value;
    std::exception_ptr error;
};

// Runs work on Qt's global thread pool. Whatever it throws travels back inside the result,
// unchanged, so the main thread can show the error's own description.
template <typename Work> auto runOffMainThread(Work work) {
    using Result = std::invoke_result_t<const Work&>;
    using Value = std::conditional_t<std::is_void_v<Result>, std::monostate, Result>;
    return QtConcurrent::run([work = std::move(work)]() -> Attempt<Value> {
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
                return {Value{}, nullptr};
            } else {
                return {work(), nullptr};
            }
        } catch (...) {
            return {std::nullopt, std::current_exception()};
        }
    });
}
