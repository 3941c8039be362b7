#pragma once

#include "preview/player/DecodeMailbox.h"
#include "preview/player/Player.h"
#include "preview/player/WorkerGroup.h"

#include <QTimer>

#include <memory>

class AudioOutput;

// The player over FFmpeg. Each item gets its own decoding thread (DecodeWorker) that owns the
// demuxer and decoder; this object keeps the item's status, the playback clock and the pending
// seek on the main thread, and reads decoded frames from the short queue the thread fills. A
// dropped item's thread is told to stop and ends by itself: the main thread never waits for it.
class FFmpegPlayer : public Player {
    Q_OBJECT
public:
    explicit FFmpegPlayer(QObject* parent = nullptr);
    ~FFmpegPlayer() override;

    QFuture<PlayerAssetTracks> loadTracks(const QUrl& url) override;
    ItemId replaceCurrentItem(const QUrl& url) override;
    void removeCurrentItem() override;
    ItemId currentItem() const override;
    PlayerItemStatus status() const override;
    std::optional<QString> itemError() const override;
    void play() override;
    void pause() override;
    PlayerTimeControl timeControlStatus() const override;
    MediaTime currentTime() const override;
    void seek(const MediaTime& target, std::function<void(bool)> completion) override;
    void cancelPendingSeeks() override;
    void setScrubbing(bool scrubbing) override;
    std::optional<PlayerFrame> takeProvisionalFrame() override;
    qint64 droppedFrameCount() const override;
    // Seeks of the current item that had to go back to a key frame.
    qint64 keyFrameSeekCount() const;
    bool hasNewFrame(const MediaTime& itemTime) const override;
    std::optional<PlayerFrame> copyFrame(const MediaTime& itemTime) override;
    void setFramePreparer(FramePreparer prepare) override { prepare_ = std::move(prepare); }
    void setMuted(bool muted) override;
    bool isMuted() const override { return muted_; }

    // Decoded frames kept ahead of the clock.
    static constexpr std::size_t queueCapacity = 2;

private:
    using Clock = DecodeMailbox::Clock;

    struct PendingSeek {
        std::uint64_t epoch = 0;
        std::function<void(bool)> completion;
    };
    struct Item {
        ItemId id = 0;
        QString path;
        std::shared_ptr<DecodeMailbox> mailbox;
        PlayerItemStatus status = PlayerItemStatus::Unknown;
        std::optional<QString> error;
        double frameDuration = 1.0 / 30.0;
        double end = 0;
        int audioStream = -1;
        bool reachedEnd = false;
        bool takeEarlyFrame = true;
        std::optional<PendingSeek> pendingSeek;
        std::optional<QueuedFrame> shown;
    };

    double clockSeconds() const;
    bool earlyFrameWanted() const;
    void setClock(bool running, double time);
    void checkEnd();
    void finishSeek(bool finished);
    void failItem(ItemId id, const QString& message);
    void retireCurrentItem();
    void updateAudio();

    // Declared first, so that it is the last to go: it waits a bounded time for the threads.
    WorkerGroup workers_;
    std::unique_ptr<Item> item_;
    ItemId nextItemId_ = 1;
    FramePreparer prepare_;
    bool playing_ = false;
    MediaTime anchorTime_ = MediaTime::zero();
    Clock::time_point anchorWall_;
    bool muted_ = true;
    bool scrubbing_ = false;
    // Frames dropped by items already gone, so the count runs on across items.
    qint64 droppedBefore_ = 0;
    QTimer endTimer_;
    std::unique_ptr<AudioOutput> audio_;
    ItemId audioCheckedItem_ = 0;
};
