#pragma once

#include "preview/player/Player.h"

#include <QFuture>
#include <QTimer>

// A player that is ready at once, lands every seek on the next event-loop turn, and shows
// whichever decoded frame the test hands it.
class FramePlayer : public Player {
    Q_OBJECT
public:
    // The next frame on screen; it counts as new until the session copies it.
    void show(VideoFrame frame) {
        frame_ = std::move(frame);
        time_ = time_ + MediaTime::make(1, 30);
        newFrame_ = true;
    }

    QFuture<PlayerAssetTracks> loadTracks(const QUrl&) override {
        return QtFuture::makeReadyFuture(PlayerAssetTracks{std::nullopt, 1, 0, 30.0f});
    }
    ItemId replaceCurrentItem(const QUrl&) override {
        time_ = MediaTime::zero();
        return item_ = ++lastItem_;
    }
    void removeCurrentItem() override { item_ = 0; }
    ItemId currentItem() const override { return item_; }
    PlayerItemStatus status() const override {
        return item_ ? PlayerItemStatus::ReadyToPlay : PlayerItemStatus::Unknown;
    }
    std::optional<QString> itemError() const override { return std::nullopt; }
    void play() override {}
    void pause() override {}
    PlayerTimeControl timeControlStatus() const override { return PlayerTimeControl::Paused; }
    MediaTime currentTime() const override { return item_ ? time_ : MediaTime::invalid(); }
    void seek(const MediaTime& target, std::function<void(bool)> completion) override {
        time_ = target;
        QTimer::singleShot(0, this, [completion = std::move(completion)] { completion(true); });
    }
    void cancelPendingSeeks() override {}
    bool hasNewFrame(const MediaTime&) const override { return newFrame_; }
    std::optional<PlayerFrame> copyFrame(const MediaTime& itemTime) override {
        if (frame_.isNull()) {
            return std::nullopt;
        }
        newFrame_ = false;
        return PlayerFrame{frame_, itemTime};
    }
    void setMuted(bool) override {}
    bool isMuted() const override { return true; }

private:
    VideoFrame frame_;
    MediaTime time_ = MediaTime::zero();
    bool newFrame_ = false;
    ItemId item_ = 0;
    ItemId lastItem_ = 0;
};
