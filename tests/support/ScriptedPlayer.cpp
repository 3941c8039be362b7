#include "support/ScriptedPlayer.h"

#include <QTimer>

QFuture<PlayerAssetTracks> ScriptedPlayer::loadTracks(const QUrl&) {
    return QtFuture::makeReadyFuture(tracks);
}

Player::ItemId ScriptedPlayer::replaceCurrentItem(const QUrl&) {
    item = ++lastItem;
    itemStatus = statusOnOpen;
    time = MediaTime::zero();
    return item;
}

void ScriptedPlayer::removeCurrentItem() {
    item = 0;
    itemStatus = PlayerItemStatus::Unknown;
    time = MediaTime::invalid();
}

void ScriptedPlayer::play() {
    ++plays;
    control = PlayerTimeControl::Playing;
}

void ScriptedPlayer::seek(const MediaTime& target, std::function<void(bool)> completion) {
    time = target;
    if (!landSeeks) {
        seeks.push_back({target, std::move(completion)});
        return;
    }
    seeks.push_back({target, {}});
    newFrame = true;
    QTimer::singleShot(0, this, [completion = std::move(completion)] { completion(true); });
}

std::optional<PlayerFrame> ScriptedPlayer::copyFrame(const MediaTime& itemTime) {
    ++copies;
    if (!hasFrame)
        return std::nullopt;
    newFrame = false;
    return PlayerFrame{pixels, displayTime.value_or(itemTime)};
}

void ScriptedPlayer::changeStatus(PlayerItemStatus status, std::optional<QString> text,
                                  ItemId forItem) {
    itemStatus = status;
    error = std::move(text);
    emit itemStatusChanged(forItem ? forItem : item);
}

void ScriptedPlayer::reachEnd(double seconds, ItemId forItem) {
    time = MediaTime::fromSeconds(seconds, 600);
    control = PlayerTimeControl::Paused;
    emit itemDidPlayToEnd(forItem ? forItem : item);
}

void ScriptedPlayer::show(VideoFrame frame) {
    pixels = std::move(frame);
    time = time + MediaTime::make(1, 30);
    newFrame = true;
}
