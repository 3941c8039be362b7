#include "preview/LivePreviewSession.h"

#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "preview/NextSignal.h"

#include <qcoro/qcorofuture.h>

#include <algorithm>
#include <cmath>

namespace {

const QString noDurationText = QStringLiteral("This video has no usable duration.");
const QString noRendererText = PlatformTexts::text(PlatformTexts::Text::gpuUnavailable);
const QString noVideoTrackText = QStringLiteral("This source has no video track.");
const QString openTimeoutText =
    QStringLiteral("Timed out while opening this video. Check that the source drive is available.");
const QString noFirstFrameText =
    QStringLiteral("The video opened but did not produce a preview frame.");
const QString itemFailedText = QStringLiteral("This video could not be played.");

bool isFinite(const MediaTime& time) {
    return time.isValid() && std::isfinite(time.seconds());
}

} // namespace

LivePreviewSession::LivePreviewSession(std::unique_ptr<Player> player,
                                       PreviewRendererFactory rendererFactory, QObject* parent)
    : QObject(parent), player_(std::move(player)) {
    player_->setMuted(muted_);
    connect(player_.get(), &Player::itemStatusChanged, this,
            &LivePreviewSession::itemStatusDidChange);
    connect(player_.get(), &Player::itemDidPlayToEnd, this, &LivePreviewSession::itemDidPlayToEnd);
    if (rendererFactory) {
        try {
            renderer_ = rendererFactory();
            if (renderer_)
                player_->setFramePreparer(renderer_->framePreparer());
        } catch (const std::exception& error) {
            errorMessage_ = localizedDescription(error);
        }
    }
}

LivePreviewSession::~LivePreviewSession() {
    stopTimer();
    player_->disconnect(this);
}

QCoro::Task<> LivePreviewSession::load(QUrl url, double duration, double initialTime,
                                       double frameDuration) {
    shutdown();
    const qint64 generation = loadGeneration_;
    if (!std::isfinite(duration) || !(duration > 0))
        throw PreviewError(noDurationText);
    if (!renderer_)
        throw PreviewError(errorMessage_.value_or(noRendererText));
    setErrorMessage(std::nullopt);
    setDuration(duration);

    QPointer<LivePreviewSession> self(this);
    std::exception_ptr failure;
    try {
        co_await runLoad(std::move(url), initialTime, frameDuration, generation);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self && self->loadGeneration_ == generation)
        self->loadDeadline_.reset();
    if (!failure)
        co_return;
    bool cancelled = false;
    try {
        std::rethrow_exception(failure);
    } catch (const CancellationError&) {
        cancelled = true;
    } catch (...) {
    }
    // A load that has been overtaken leaves the state of its successor alone.
    if (!cancelled && self && self->loadGeneration_ == generation)
        self->fail(localizedDescription(failure));
    std::rethrow_exception(failure);
}

void LivePreviewSession::checkGeneration(const QPointer<LivePreviewSession>& self,
                                         qint64 generation) {
    if (!self || self->loadGeneration_ != generation)
        throw CancellationError();
}

QCoro::Task<> LivePreviewSession::waitForProgress() {
    co_await NextSignal(this, &LivePreviewSession::loadProgressed);
}

QCoro::Task<> LivePreviewSession::runLoad(QUrl url, double initialTime, double frameDuration,
                                          qint64 generation) {
    QPointer<LivePreviewSession> self(this);
    const PlayerAssetTracks tracks = co_await player_->loadTracks(url);
    // Checked before anything is applied: a superseded load must not leave its frame rate behind.
    checkGeneration(self, generation);
    if (tracks.error)
        throw PreviewError(*tracks.error);
    if (tracks.videoTrackCount <= 0)
        throw PreviewError(noVideoTrackText);
    const double rate = tracks.nominalFrameRate;
    if (std::isfinite(frameDuration) && frameDuration > 0)
        frameDuration_ = frameDuration;
    else
        frameDuration_ = (std::isfinite(rate) && rate > 0) ? 1.0 / rate : 1.0 / 30.0;

    item_ = player_->replaceCurrentItem(url);
    player_->setMuted(muted_);
    const Clock::time_point deadline = now_() + loadTimeout;
    loadDeadline_ = deadline;
    startTimer();

    // Woken by the item's status, new frames, failures, a shutdown and the refresh timer once
    // the deadline has passed; never by a timer of its own.
    for (;;) {
        checkGeneration(self, generation);
        if (!(now_() < deadline))
            throw PreviewError(openTimeoutText);
        const PlayerItemStatus status = player_->status();
        if (status == PlayerItemStatus::Failed)
            throw PreviewError(player_->itemError().value_or(itemFailedText));
        if (status == PlayerItemStatus::ReadyToPlay)
            break;
        co_await waitForProgress();
    }
    seek(initialTime);
    for (;;) {
        if (isReady_ && !isSeeking_)
            co_return;
        co_await waitForProgress();
        checkGeneration(self, generation);
        if (errorMessage_)
            throw PreviewError(*errorMessage_);
        if (!(now_() < deadline))
            throw PreviewError(noFirstFrameText);
        acquireFrame(!hasFrame_);
    }
}

void LivePreviewSession::shutdown() {
    ++loadGeneration_;
    ++seekGeneration_;
    stopTimer();
    player_->pause();
    if (item_) {
        player_->cancelPendingSeeks();
        player_->removeCurrentItem();
    }
    item_ = 0;
    if (renderer_ && hasFrame_)
        renderer_->clearFrame();
    hasFrame_ = false;
    loadDeadline_.reset();
    wantsPlayback_ = false;
    if (isScrubbing_)
        player_->setScrubbing(false);
    isScrubbing_ = false;
    resumeAfterScrubbing_ = false;
    setIsPlaying(false);
    setIsReady(false);
    setIsSeeking(false);
    clearPendingSeek();
    setTime(0);
    setDuration(0);
    setDecodedFrameCount(0);
    setCurrentFrameTime(0);
    consumers_.notifyAll();
    emit loadProgressed();
}

void LivePreviewSession::fail(const QString& message) {
    setErrorMessage(message);
    wantsPlayback_ = false;
    player_->pause();
    setIsPlaying(false);
    setIsReady(false);
    setIsSeeking(false);
    clearPendingSeek();
    // A failed session stays idle until the next load: a seek still running in the player must
    // not land afterwards and bring the failed source back to life.
    ++seekGeneration_;
    if (item_)
        player_->cancelPendingSeeks();
    stopTimer();
    emit loadProgressed();
}

void LivePreviewSession::acquireFrame(bool force) {
    if (!item_ || !renderer_ || errorMessage_ || player_->status() != PlayerItemStatus::ReadyToPlay)
        return;
    const MediaTime itemTime = player_->currentTime();
    if (!isFinite(itemTime))
        return;
    if (!force && !player_->hasNewFrame(itemTime))
        return;
    std::optional<PlayerFrame> copied = player_->copyFrame(itemTime);
    if (!copied)
        return;
    const double frameTime =
        isFinite(copied->displayTime) ? copied->displayTime.seconds() : itemTime.seconds();
    if (!present(copied->pixels, frameTime))
        return;
    setIsReady(true);
    if (pendingSeekDecoded_ && pendingSeekTarget_ &&
        std::abs(frameTime - *pendingSeekTarget_) <= 1.5 * frameDuration_) {
        setIsSeeking(false);
        clearPendingSeek();
        if (wantsPlayback_ && !isScrubbing_) {
            player_->play();
            setIsPlaying(true);
        }
    }
    consumers_.notifyAll();
    emit loadProgressed();
}

bool LivePreviewSession::present(const VideoFrame& pixels, double frameTime) {
    try {
        renderer_->showFrame(pixels, frameTime);
    } catch (const std::exception& error) {
        fail(localizedDescription(error));
        return false;
    }
    hasFrame_ = true;
    setCurrentFrameTime(frameTime);
    setDecodedFrameCount(decodedFrameCount_ + 1);
    return true;
}

void LivePreviewSession::clearPendingSeek() {
    pendingSeekTarget_.reset();
    pendingSeekDecoded_ = false;
    seekDeadline_.reset();
}

bool LivePreviewSession::itemIsReady() const {
    return item_ && player_->status() == PlayerItemStatus::ReadyToPlay;
}

double LivePreviewSession::playerTimeInRange(double fallback) const {
    const MediaTime now = player_->currentTime();
    if (!isFinite(now))
        return fallback;
    return std::clamp(now.seconds(), 0.0, duration_);
}

void LivePreviewSession::itemStatusDidChange(Player::ItemId item) {
    if (!item_ || item != item_)
        return;
    if (player_->status() == PlayerItemStatus::Failed)
        fail(player_->itemError().value_or(itemFailedText));
    else
        emit loadProgressed();
}
