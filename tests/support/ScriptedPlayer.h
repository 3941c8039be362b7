#pragma once

#include "preview/player/Player.h"

#include <QFuture>

#include <utility>
#include <vector>

// A player whose every answer the test sets. Seeks are completed by the test, or, with
// landSeeks, land with a new frame on the next turn of the event loop.
class ScriptedPlayer : public Player {
    Q_OBJECT
public:
    struct Seek {
        MediaTime target;
        std::function<void(bool)> completion;
    };

    PlayerAssetTracks tracks{std::nullopt, 1, 1, 30.0f, 10.0};
    PlayerItemStatus statusOnOpen = PlayerItemStatus::ReadyToPlay;
    PlayerItemStatus itemStatus = PlayerItemStatus::Unknown;
    std::optional<QString> error;
    MediaTime time = MediaTime::invalid();
    PlayerTimeControl control = PlayerTimeControl::Paused;
    bool newFrame = false;
    bool hasFrame = true;
    VideoFrame pixels;                    // what a copy hands out
    std::optional<MediaTime> displayTime; // the copied frame's; the item time when unset
    bool landSeeks = false;
    bool scrubbing = false;
    std::optional<PlayerFrame> provisional; // offered once while scrubbing

    std::vector<Seek> seeks;
    int plays = 0;
    int copies = 0;
    int cancels = 0;
    bool mutedFlag = false;
    ItemId item = 0;
    ItemId lastItem = 0;

    QFuture<PlayerAssetTracks> loadTracks(const QUrl&) override;
    ItemId replaceCurrentItem(const QUrl&) override;
    void removeCurrentItem() override;
    ItemId currentItem() const override { return item; }
    PlayerItemStatus status() const override { return itemStatus; }
    std::optional<QString> itemError() const override { return error; }
    void play() override;
    void pause() override { control = PlayerTimeControl::Paused; }
    PlayerTimeControl timeControlStatus() const override { return control; }
    MediaTime currentTime() const override { return time; }
    void seek(const MediaTime& target, std::function<void(bool)> completion) override;
    void cancelPendingSeeks() override { ++cancels; }
    void setScrubbing(bool on) override { scrubbing = on; }
    std::optional<PlayerFrame> takeProvisionalFrame() override {
        return std::exchange(provisional, std::nullopt);
    }
    bool hasNewFrame(const MediaTime&) const override { return newFrame; }
    std::optional<PlayerFrame> copyFrame(const MediaTime& itemTime) override;
    void setMuted(bool muted) override { mutedFlag = muted; }
    bool isMuted() const override { return mutedFlag; }

    // Test controls.
    void complete(std::size_t index, bool finished) { seeks.at(index).completion(finished); }
    void completeLast(bool finished = true) { complete(seeks.size() - 1, finished); }
    void changeStatus(PlayerItemStatus status, std::optional<QString> text = std::nullopt,
                      ItemId forItem = 0);
    void reachEnd(double seconds, ItemId forItem = 0);
    // The next frame on screen, one frame later; new until the session copies it.
    void show(VideoFrame frame);
    bool isPlaying() const { return control == PlayerTimeControl::Playing; }
    double lastSeekTarget() const { return seeks.empty() ? -1 : seeks.back().target.seconds(); }
};
