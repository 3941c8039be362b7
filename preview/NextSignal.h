#pragma once

#include <QObject>
#include <QPointer>

#include <coroutine>
#include <memory>

// Awaits the next emission of a signal, or the sender's destruction, whichever comes first. The
// coroutine resumes on a later turn of the event loop, never inside the emission, so whatever
// emitted has finished its own work first. Unlike a plain signal awaiter it never leaves the
// coroutine suspended for good when the sender goes away.
template <typename Sender, typename Signal> class NextSignal {
public:
    NextSignal(Sender* sender, Signal signal) : sender_(sender), signal_(signal) {}
    NextSignal(NextSignal&&) noexcept = default;
    NextSignal& operator=(NextSignal&&) = delete;
    ~NextSignal() {
        // A coroutine destroyed while it waits must not be resumed by an event still queued.
        if (state_)
            state_->resumed = true;
    }

    bool await_ready() const noexcept { return sender_.isNull(); }

    void await_suspend(std::coroutine_handle<> waiting) {
        state_ = std::make_shared<State>(waiting);
        receiver_.reset(new QObject);
        const auto resume = [state = state_] {
            if (state->resumed)
                return;
            state->resumed = true;
            state->waiting.resume();
        };
        QObject::connect(sender_, signal_, receiver_.get(), resume, Qt::QueuedConnection);
        QObject::connect(sender_, &QObject::destroyed, receiver_.get(), resume,
                         Qt::QueuedConnection);
    }

    void await_resume() const noexcept {}

private:
    struct State {
        explicit State(std::coroutine_handle<> h) : waiting(h) {}
        std::coroutine_handle<> waiting;
        bool resumed = false;
    };
    // Deleted on a later turn too: the resumption runs inside one of its own slot calls.
    struct DeleteLater {
        void operator()(QObject* object) const { object->deleteLater(); }
    };

    QPointer<Sender> sender_;
    Signal signal_;
    std::shared_ptr<State> state_;
    std::unique_ptr<QObject, DeleteLater> receiver_;
};
