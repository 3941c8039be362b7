#include "preview/player/FFmpegPlayer.h"

#include "preview/player/AudioOutput.h"
#include "preview/player/DecodeWorker.h"
#include "preview/player/TrackProbe.h"

#include <QCoreApplication>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {
constexpr std::int32_t clockTimescale = 1'000'000'000;
constexpr auto endCheckInterval = std::chrono::milliseconds(10);
} // namespace

FFmpegPlayer::FFmpegPlayer(QObject* parent) : Player(parent) {
    endTimer_.setTimerType(Qt::PreciseTimer);
    endTimer_.setInterval(endCheckInterval);
    connect(&endTimer_, &QTimer::timeout, this, &FFmpegPlayer::checkEnd);
}

FFmpegPlayer::~FFmpegPlayer() {
    audio_.reset();
    retireCurrentItem();
}

QFuture<PlayerAssetTracks> FFmpegPlayer::loadTracks(const QUrl& url) {
    const QString path = url.isLocalFile() ? url.toLocalFile() : url.toString();
    return QtConcurrent::run([path] { return TrackProbe::probe(path); });
}

Player::ItemId FFmpegPlayer::replaceCurrentItem(const QUrl& url) {
    retireCurrentItem();
    setClock(false, 0);

    auto item = std::make_unique<Item>();
    item->id = nextItemId_++;
    item->path = url.isLocalFile() ? url.toLocalFile() : url.toString();
    item->mailbox = std::make_shared<DecodeMailbox>(queueCapacity);
    item->mailbox->setScrubbing(scrubbing_);

    // The decoding thread reports through queued calls to the main thread, which may find this
    // player gone; each call first checks that the player and its item are still current.
    const ItemId id = item->id;
    QPointer<FFmpegPlayer> self(this);
    auto post = [self](auto call) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, call] {
                if (self)
                    call();
            },
            Qt::QueuedConnection);
    };
    DecodeEvents events;
    events.opened = [this, id, post](const DecodedStreamFacts& facts) {
        post([this, id, facts] {
            if (!item_ || item_->id != id || item_->status != PlayerItemStatus::Unknown)
                return;
            item_->status = PlayerItemStatus::ReadyToPlay;
            item_->frameDuration = facts.frameDuration;
            item_->end = facts.expectedEnd;
            item_->audioStream = facts.audioStream;
            updateAudio();
            emit itemStatusChanged(id);
        });
    };
    events.failed = [this, id, post](const QString& message) {
        post([this, id, message] { failItem(id, message); });
    };
    events.seekLanded = [this, id, post](std::uint64_t epoch) {
        post([this, id, epoch] {
            if (!item_ || item_->id != id || !item_->pendingSeek ||
                item_->pendingSeek->epoch != epoch)
                return;
            item_->takeEarlyFrame = true;
            setClock(playing_, anchorTime_.seconds());
            finishSeek(true);
        });
    };
    events.reachedEnd = [this, id, post](double end) {
        post([this, id, end] {
            if (!item_ || item_->id != id)
                return;
            item_->reachedEnd = true;
            item_->end = end;
            checkEnd();
        });
    };

    workers_.start(
        [worker = std::make_shared<DecodeWorker>(item->path, item->mailbox, std::move(events),
                                                 prepare_)] { worker->run(); });
    item_ = std::move(item);
    return id;
}

void FFmpegPlayer::removeCurrentItem() {
    retireCurrentItem();
    setClock(false, 0);
}

void FFmpegPlayer::retireCurrentItem() {
    if (!item_)
        return;
    endTimer_.stop();
    playing_ = false;
    if (audio_)
        audio_->stop();
    if (item_->pendingSeek)
        finishSeek(false);
    // The thread may be in the middle of decoding a frame or of a read; it ends by itself.
    droppedBefore_ += item_->mailbox->droppedCount();
    item_->mailbox->requestStop();
    item_.reset();
}

Player::ItemId FFmpegPlayer::currentItem() const {
    return item_ ? item_->id : 0;
}

PlayerItemStatus FFmpegPlayer::status() const {
    return item_ ? item_->status : PlayerItemStatus::Unknown;
}

std::optional<QString> FFmpegPlayer::itemError() const {
    return item_ ? item_->error : std::nullopt;
}

void FFmpegPlayer::failItem(ItemId id, const QString& message) {
    if (!item_ || item_->id != id || item_->status == PlayerItemStatus::Failed)
        return;
    item_->status = PlayerItemStatus::Failed;
    item_->error = message;
    setClock(false, clockSeconds());
    if (item_->pendingSeek)
        finishSeek(false);
    updateAudio();
    emit itemStatusChanged(id);
}

double FFmpegPlayer::clockSeconds() const {
    double seconds = anchorTime_.seconds();
    // The sound's own clock while it plays, so that picture follows sound; else monotonic time.
    const std::optional<double> heard = playing_ && audio_ ? audio_->clockSeconds() : std::nullopt;
    if (heard)
        seconds = std::max(*heard, seconds);
    else if (playing_)
        seconds += std::chrono::duration<double>(Clock::now() - anchorWall_).count();
    if (item_ && item_->end > 0)
        seconds = std::min(seconds, std::max(item_->end, anchorTime_.seconds()));
    return seconds;
}

void FFmpegPlayer::setClock(bool running, double time) {
    anchorTime_ = MediaTime::fromSeconds(time, clockTimescale);
    anchorWall_ = Clock::now();
    playing_ = running;
    if (item_)
        item_->mailbox->setClock(running, time, anchorWall_);
    if (running)
        endTimer_.start();
    else
        endTimer_.stop();
    updateAudio();
}

void FFmpegPlayer::play() {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay || playing_)
        return;
    setClock(true, clockSeconds());
    checkEnd();
}

void FFmpegPlayer::pause() {
    if (!playing_)
        return;
    setClock(false, clockSeconds());
}

PlayerTimeControl FFmpegPlayer::timeControlStatus() const {
    return playing_ ? PlayerTimeControl::Playing : PlayerTimeControl::Paused;
}

MediaTime FFmpegPlayer::currentTime() const {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay)
        return MediaTime::invalid();
    if (!playing_)
        return anchorTime_;
    return MediaTime::fromSeconds(clockSeconds(), clockTimescale);
}

void FFmpegPlayer::checkEnd() {
    if (!item_ || !playing_ || !item_->reachedEnd || clockSeconds() < item_->end)
        return;
    // Pause on the last frame, as a player set to pause at the end of its item does.
    setClock(false, item_->end);
    emit itemDidPlayToEnd(item_->id);
}

void FFmpegPlayer::seek(const MediaTime& target, std::function<void(bool)> completion) {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay || !target.isNumeric()) {
        QMetaObject::invokeMethod(
            this, [completion] { completion(false); }, Qt::QueuedConnection);
        return;
    }
    if (item_->pendingSeek)
        finishSeek(false);
    const MediaTime exact = target.timescale > 0 ? target : MediaTime::zero();
    const std::uint64_t epoch =
        item_->mailbox->requestSeek(SeekTarget{exact.value, exact.timescale});
    item_->pendingSeek = PendingSeek{epoch, std::move(completion)};
    item_->reachedEnd = false;
    item_->takeEarlyFrame = false;
    // What was shown before stands for nothing now; a frame taken before the seek reports back
    // is the seek's own, and must not be passed over for the one after it when it lands.
    item_->shown.reset();
    const bool running = playing_;
    setClock(false, exact.seconds());
    anchorTime_ = exact;
    playing_ = running; // resumes from the target once the seek has landed
    if (running)
        endTimer_.start();
}

void FFmpegPlayer::cancelPendingSeeks() {
    if (item_ && item_->pendingSeek)
        finishSeek(false);
}

void FFmpegPlayer::finishSeek(bool finished) {
    std::function<void(bool)> completion = std::move(item_->pendingSeek->completion);
    item_->pendingSeek.reset();
    if (!completion)
        return;
    if (finished)
        completion(true);
    else
        QMetaObject::invokeMethod(
            this, [completion] { completion(false); }, Qt::QueuedConnection);
}

void FFmpegPlayer::setScrubbing(bool scrubbing) {
    scrubbing_ = scrubbing;
    if (item_)
        item_->mailbox->setScrubbing(scrubbing);
}

std::optional<PlayerFrame> FFmpegPlayer::takeProvisionalFrame() {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay || !item_->pendingSeek)
        return std::nullopt;
    std::optional<QueuedFrame> frame = item_->mailbox->takeProvisional();
    if (!frame)
        return std::nullopt;
    return PlayerFrame{std::move(frame->pixels),
                       MediaTime::fromSeconds(frame->time, clockTimescale)};
}

qint64 FFmpegPlayer::keyFrameSeekCount() const {
    return item_ ? item_->mailbox->keyFrameSeeks() : 0;
}

qint64 FFmpegPlayer::droppedFrameCount() const {
    return droppedBefore_ + (item_ ? item_->mailbox->droppedCount() : 0);
}

// A frame ahead of the clock is shown only when nothing has been shown since the item opened or
// the seek landed: a target before the first frame shows that frame.
bool FFmpegPlayer::earlyFrameWanted() const {
    return item_->takeEarlyFrame && !item_->shown;
}

bool FFmpegPlayer::hasNewFrame(const MediaTime& itemTime) const {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay || !itemTime.isNumeric())
        return false;
    const double time = earlyFrameWanted() ? INFINITY : itemTime.seconds();
    return item_->mailbox->hasFrameDue(time);
}

std::optional<PlayerFrame> FFmpegPlayer::copyFrame(const MediaTime& itemTime) {
    if (!item_ || item_->status != PlayerItemStatus::ReadyToPlay || !itemTime.isNumeric())
        return std::nullopt;
    if (std::optional<QueuedFrame> taken =
            item_->mailbox->takeFrameFor(itemTime.seconds(), earlyFrameWanted())) {
        item_->shown = std::move(taken);
        item_->takeEarlyFrame = false;
    }
    if (!item_->shown)
        return std::nullopt;
    return PlayerFrame{item_->shown->pixels,
                       MediaTime::fromSeconds(item_->shown->time, clockTimescale)};
}

void FFmpegPlayer::setMuted(bool muted) {
    muted_ = muted;
    updateAudio();
}

void FFmpegPlayer::updateAudio() {
    const bool audible = item_ && item_->status == PlayerItemStatus::ReadyToPlay && playing_ &&
                         !muted_ && !item_->pendingSeek;
    if (!audible) {
        if (audio_)
            audio_->stop();
        return;
    }
    if (!audio_ || audio_->path() != item_->path) {
        audio_.reset();
        // Looked for once per item: without a device or a sound track the picture plays alone.
        if (audioCheckedItem_ == item_->id)
            return;
        audioCheckedItem_ = item_->id;
        audio_ = AudioOutput::create(item_->path, item_->audioStream, workers_);
        if (!audio_)
            return;
    }
    if (!audio_->isRunning())
        audio_->start(anchorTime_.seconds());
}
