#pragma once

#include "model/UserError.h"
#include "preview/PreviewRenderer.h"
#include "preview/player/Player.h"

#include <QFuture>
#include <QObject>

#include <vector>

// A player whose every answer the test sets, and whose seeks the test completes by hand.
class ScriptedPlayer : public Player {
    Q_OBJECT
public:
    struct Seek {
        MediaTime target;
        std::function<void(bool)> completion;
    };

    PlayerAssetTracks tracks{std::nullopt, 1, 1, 30.0f};
    PlayerItemStatus statusOnOpen = PlayerItemStatus::ReadyToPlay;
    PlayerItemStatus itemStatus = PlayerItemStatus::Unknown;
    std::optional<QString> error;
    MediaTime time = MediaTime::invalid();
    PlayerTimeControl control = PlayerTimeControl::Paused;
    bool newFrame = false;
    bool hasFrame = true;
    std::optional<MediaTime> displayTime; // the copied frame's; the item time when unset
    std::vector<Seek> seeks;
    int plays = 0;
    int copies = 0;
    int cancels = 0;
    bool mutedFlag = false;
    ItemId item = 0;
    ItemId lastItem = 0;

    QFuture<PlayerAssetTracks> loadTracks(const QUrl&) override {
        return QtFuture::makeReadyFuture(tracks);
    }
    ItemId replaceCurrentItem(const QUrl&) override {
        item = ++lastItem;
        itemStatus = statusOnOpen;
        time = MediaTime::zero();
        return item;
    }
    void removeCurrentItem() override {
        item = 0;
        itemStatus = PlayerItemStatus::Unknown;
        time = MediaTime::invalid();
    }
    ItemId currentItem() const override { return item; }
    PlayerItemStatus status() const override { return itemStatus; }
    std::optional<QString> itemError() const override { return error; }
    void play() override {
        ++plays;
        control = PlayerTimeControl::Playing;
    }
    void pause() override { control = PlayerTimeControl::Paused; }
    PlayerTimeControl timeControlStatus() const override { return control; }
    MediaTime currentTime() const override { return time; }
    void seek(const MediaTime& target, std::function<void(bool)> completion) override {
        time = target;
        seeks.push_back({target, std::move(completion)});
    }
    void cancelPendingSeeks() override { ++cancels; }
    bool hasNewFrame(const MediaTime&) const override { return newFrame; }
    std::optional<PlayerFrame> copyFrame(const MediaTime& itemTime) override {
        ++copies;
        if (!hasFrame)
            return std::nullopt;
        newFrame = false;
        return PlayerFrame{VideoFrame(), displayTime.value_or(itemTime)};
    }
    void setMuted(bool muted) override { mutedFlag = muted; }
    bool isMuted() const override { return mutedFlag; }

    // Test controls.
    void complete(std::size_t index, bool finished) { seeks.at(index).completion(finished); }
    void completeLast(bool finished = true) { complete(seeks.size() - 1, finished); }
    void changeStatus(PlayerItemStatus status, std::optional<QString> text = std::nullopt,
                      ItemId forItem = 0) {
        itemStatus = status;
        error = std::move(text);
        emit itemStatusChanged(forItem ? forItem : item);
    }
    void reachEnd(double seconds, ItemId forItem = 0) {
        time = MediaTime::fromSeconds(seconds, 600);
        control = PlayerTimeControl::Paused;
        emit itemDidPlayToEnd(forItem ? forItem : item);
    }
};

// Wraps frames without a GPU; can be told to refuse.
class WrappingRenderer : public PreviewRenderer {
public:
    struct Frame : PreviewFrame {
        explicit Frame(VideoFrame pixels, double time) : pixels(std::move(pixels)), t(time) {}
        double time() const override { return t; }
        VideoFrame pixels;
        double t;
    };
    std::optional<QString> refusal;
    std::shared_ptr<const PreviewFrame> makeFrame(const VideoFrame& pixels, double time) override {
        if (refusal)
            throw PreviewError(*refusal);
        return std::make_shared<Frame>(pixels, time);
    }
};
