// Playback, seeking, scrubbing, the refresh timer, the end of the item, muting, the consumer
// registry and the property setters of LivePreviewSession.
#include "preview/LivePreviewSession.h"

#include "model/UserError.h"

#include <algorithm>
#include <cmath>

namespace {
const QString playbackFailedText = QStringLiteral("Playback failed.");
const QString seekTimeoutText = QStringLiteral(
    "Seeking timed out. Check that the source drive is available, then reopen the video.");
} // namespace

void LivePreviewSession::play() {
    if (!itemIsReady() || !isReady_)
        return;
    wantsPlayback_ = true;
    if (time_ >= duration_ - 0.5 * frameDuration_) {
        // Playing from the end starts over; the landing seek starts the player.
        seek(0);
        return;
    }
    if (!isSeeking_ && !isScrubbing_) {
        player_->play();
        setIsPlaying(true);
    }
}

void LivePreviewSession::pause() {
    wantsPlayback_ = false;
    player_->pause();
    setIsPlaying(false);
}

void LivePreviewSession::togglePlayback() {
    if (wantsPlayback_ || isPlaying_)
        pause();
    else
        play();
}

void LivePreviewSession::seek(double seconds) {
    // A failed session waits for the next load: with its timer stopped nothing would ever end
    // this seek.
    if (!std::isfinite(seconds) || !itemIsReady() || errorMessage_)
        return;
    const double target =
        std::min(std::max(seconds, 0.0), std::max(duration_ - frameDuration_, 0.0));
    const qint64 seekGeneration = ++seekGeneration_;
    const qint64 loadGeneration = loadGeneration_;
    player_->pause();
    setIsPlaying(false);
    player_->cancelPendingSeeks();
    setIsSeeking(true);
    pendingSeekTarget_ = target;
    pendingSeekDecoded_ = false;
    seekDeadline_ = now_() + seekTimeout;
    setTime(target);

    QPointer<LivePreviewSession> self(this);
    const Player::ItemId item = item_;
    player_->seek(MediaTime::fromSeconds(target, seekTimescale),
                  [self, item, loadGeneration, seekGeneration, target](bool finished) {
                      if (self)
                          self->seekDidComplete(item, loadGeneration, seekGeneration, target,
                                                finished);
                  });
}

void LivePreviewSession::stepFrames(int frames) {
    if (!isReady_ && !isSeeking_)
        return;
    const double from = pendingSeekTarget_.value_or(currentFrameTime_);
    // Aimed at the middle of the wanted frame, so rounding on either side cannot miss it; a
    // frame start, or the middle a step aimed at, both count as that frame.
    const double shown = std::floor(from / frameDuration_ + 0.25);
    seek((shown + frames + 0.5) * frameDuration_);
}

void LivePreviewSession::stepSeconds(double seconds) {
    if (!isReady_ && !isSeeking_)
        return;
    seek(pendingSeekTarget_.value_or(currentFrameTime_) + seconds);
}

void LivePreviewSession::seekDidComplete(Player::ItemId item, qint64 loadGeneration,
                                         qint64 seekGeneration, double target, bool finished) {
    if (!item_ || item != item_ || loadGeneration != loadGeneration_ ||
        seekGeneration != seekGeneration_)
        return;
    if (!finished) {
        setIsSeeking(false);
        pendingSeekTarget_.reset();
        seekDeadline_.reset();
        setTime(playerTimeInRange(target));
        emit loadProgressed();
        return;
    }
    pendingSeekDecoded_ = true;
    setTime(playerTimeInRange(target));
    acquireFrame(true);
}

void LivePreviewSession::beginScrubbing() {
    if (isScrubbing_)
        return;
    resumeAfterScrubbing_ = wantsPlayback_ || isPlaying_;
    isScrubbing_ = true;
    player_->setScrubbing(true);
    wantsPlayback_ = false;
    player_->pause();
    setIsPlaying(false);
}

void LivePreviewSession::endScrubbing() {
    if (!isScrubbing_)
        return;
    isScrubbing_ = false;
    player_->setScrubbing(false);
    const bool resume = resumeAfterScrubbing_;
    resumeAfterScrubbing_ = false;
    if (resume) {
        wantsPlayback_ = true;
        if (!isSeeking_)
            play();
    }
}

void LivePreviewSession::setMuted(bool muted) {
    player_->setMuted(muted);
    if (muted_ == muted)
        return;
    muted_ = muted;
    emit mutedChanged();
}

void LivePreviewSession::startTimer() {
    stopTimer();
    timer_ = std::make_unique<QTimer>();
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(std::chrono::milliseconds(std::lround(refreshInterval * 1000)));
    // Qt timers keep firing in the nested event loops of slider drags and menus.
    connect(timer_.get(), &QTimer::timeout, this, &LivePreviewSession::tick);
    timer_->start();
}

void LivePreviewSession::stopTimer() {
    if (timer_)
        timer_->stop();
    timer_.reset();
}

void LivePreviewSession::tick() {
    if (!item_)
        return;
    if (loadDeadline_ && !(now_() < *loadDeadline_))
        emit loadProgressed();
    if (player_->status() == PlayerItemStatus::Failed) {
        fail(player_->itemError().value_or(playbackFailedText));
        return;
    }
    if (isSeeking_ && seekDeadline_ && now_() > *seekDeadline_) {
        fail(seekTimeoutText);
        return;
    }
    if (!isSeeking_ && !isScrubbing_) {
        const MediaTime now = player_->currentTime();
        if (now.isValid() && std::isfinite(now.seconds()))
            setTime(std::clamp(now.seconds(), 0.0, duration_));
        setIsPlaying(wantsPlayback_ && player_->timeControlStatus() != PlayerTimeControl::Paused);
    }
    if (isScrubbing_ && isSeeking_)
        showProvisionalFrame();
    acquireFrame(!hasFrame_);
}

// A picture on the way to the target while the user drags: shown so that the previews follow the
// thumb, but it lands nothing; the target's exact frame still arrives and lands as always.
void LivePreviewSession::showProvisionalFrame() {
    if (!renderer_ || errorMessage_)
        return;
    const std::optional<PlayerFrame> provisional = player_->takeProvisionalFrame();
    if (!provisional || !provisional->displayTime.isNumeric())
        return;
    if (present(provisional->pixels, provisional->displayTime.seconds()))
        consumers_.notifyAll();
}

void LivePreviewSession::itemDidPlayToEnd(Player::ItemId item) {
    if (!item_ || item != item_ || isSeeking_ || errorMessage_)
        return;
    const MediaTime now = player_->currentTime();
    if (!(now.isValid() && now.seconds() >= duration_ - 1.5 * frameDuration_))
        return;
    wantsPlayback_ = false;
    player_->pause();
    setIsPlaying(false);
    setTime(duration_);
    acquireFrame(true);
}

QUuid LivePreviewSession::registerConsumer(LivePreviewFrameConsumer* consumer) {
    return consumers_.add(consumer);
}

void LivePreviewSession::unregisterConsumer(const QUuid& id) {
    consumers_.remove(id);
}

void LivePreviewSession::setTime(double value) {
    if (time_ == value)
        return;
    time_ = value;
    emit timeChanged();
}

void LivePreviewSession::setDuration(double value) {
    if (duration_ == value)
        return;
    duration_ = value;
    emit durationChanged();
}

void LivePreviewSession::setIsPlaying(bool value) {
    if (isPlaying_ == value)
        return;
    isPlaying_ = value;
    emit isPlayingChanged();
}

void LivePreviewSession::setIsReady(bool value) {
    if (isReady_ == value)
        return;
    isReady_ = value;
    emit isReadyChanged();
}

void LivePreviewSession::setIsSeeking(bool value) {
    if (isSeeking_ == value)
        return;
    isSeeking_ = value;
    emit isSeekingChanged();
}

void LivePreviewSession::setDecodedFrameCount(qint64 value) {
    if (decodedFrameCount_ == value)
        return;
    decodedFrameCount_ = value;
    emit decodedFrameCountChanged();
}

void LivePreviewSession::setCurrentFrameTime(double value) {
    if (currentFrameTime_ == value)
        return;
    currentFrameTime_ = value;
    emit currentFrameTimeChanged();
}

void LivePreviewSession::setErrorMessage(std::optional<QString> value) {
    if (errorMessage_ == value)
        return;
    errorMessage_ = std::move(value);
    emit errorMessageChanged();
}
