#include "preview/player/DecodeMailbox.h"

void DecodeMailbox::requestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        // Let go here, on the main thread, where the display's resources they hold belong.
        queue_.clear();
        provisional_.reset();
    }
    changed_.notify_all();
}

std::uint64_t DecodeMailbox::requestSeek(SeekTarget target) {
    std::uint64_t epoch;
    {
        std::lock_guard lock(mutex_);
        epoch = ++epoch_;
        pendingSeek_ = target;
        queue_.clear();
        // A picture on the way, offered only while dragging, stays: it is still the newest on
        // the way to the thumb, and the next one comes only a provisional interval later. With
        // targets every few ticks, dropping it left the previews still for twice that interval.
    }
    changed_.notify_all();
    return epoch;
}

void DecodeMailbox::setClock(bool running, double anchorTime, Clock::time_point anchorWall) {
    std::lock_guard lock(mutex_);
    clockRunning_ = running;
    anchorTime_ = anchorTime;
    anchorWall_ = anchorWall;
}

bool DecodeMailbox::hasFrameDue(double time) const {
    std::lock_guard lock(mutex_);
    return !queue_.empty() && queue_.front().time <= time + dueTolerance;
}

std::optional<QueuedFrame> DecodeMailbox::takeFrameFor(double time, bool takeEarlyFrame) {
    std::optional<QueuedFrame> taken;
    {
        std::lock_guard lock(mutex_);
        while (!queue_.empty() && queue_.front().time <= time + dueTolerance) {
            if (taken)
                ++dropped_;
            taken = std::move(queue_.front());
            queue_.pop_front();
        }
        if (!taken && takeEarlyFrame && !queue_.empty()) {
            taken = std::move(queue_.front());
            queue_.pop_front();
        }
    }
    if (taken)
        changed_.notify_all();
    return taken;
}

DecodeMailbox::Work DecodeMailbox::waitForWork(bool wantsRoom) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] {
        return stop_ || pendingSeek_ || (wantsRoom && !scrubbing_ && queue_.size() < capacity_);
    });
    Work work;
    work.stop = stop_;
    work.seek = pendingSeek_;
    pendingSeek_.reset();
    work.epoch = epoch_;
    return work;
}

bool DecodeMailbox::isAbandoned(std::uint64_t epoch) const {
    std::lock_guard lock(mutex_);
    return stop_ || epoch != epoch_;
}

bool DecodeMailbox::shouldGiveUpRead(std::uint64_t epoch) const {
    std::lock_guard lock(mutex_);
    return stop_ || (!scrubbing_ && epoch != epoch_);
}

bool DecodeMailbox::push(QueuedFrame frame, std::uint64_t epoch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stop_ || epoch != epoch_ || queue_.size() < capacity_; });
    if (stop_ || epoch != epoch_)
        return false;
    queue_.push_back(std::move(frame));
    // A frame that lands is newer than any picture on the way to it.
    provisional_.reset();
    return true;
}

std::optional<QueuedFrame> DecodeMailbox::takeProvisional() {
    std::lock_guard lock(mutex_);
    std::optional<QueuedFrame> taken = std::move(provisional_);
    provisional_.reset();
    return taken;
}

void DecodeMailbox::offerProvisional(QueuedFrame frame, std::uint64_t epoch) {
    std::lock_guard lock(mutex_);
    if (!stop_ && epoch == epoch_ && scrubbing_)
        provisional_ = std::move(frame);
}

void DecodeMailbox::setScrubbing(bool scrubbing) {
    {
        std::lock_guard lock(mutex_);
        scrubbing_ = scrubbing;
        if (!scrubbing)
            provisional_.reset();
    }
    changed_.notify_all();
}

bool DecodeMailbox::scrubbing() const {
    std::lock_guard lock(mutex_);
    return scrubbing_;
}

bool DecodeMailbox::holdsFrameAhead() const {
    std::lock_guard lock(mutex_);
    return !scrubbing_ && !queue_.empty();
}

void DecodeMailbox::countKeyFrameSeek() {
    std::lock_guard lock(mutex_);
    ++keyFrameSeeks_;
}

std::int64_t DecodeMailbox::keyFrameSeeks() const {
    std::lock_guard lock(mutex_);
    return keyFrameSeeks_;
}

std::int64_t DecodeMailbox::droppedCount() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::optional<double> DecodeMailbox::runningClockTime() const {
    std::lock_guard lock(mutex_);
    if (!clockRunning_)
        return std::nullopt;
    return anchorTime_ + std::chrono::duration<double>(Clock::now() - anchorWall_).count();
}
