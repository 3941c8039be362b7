#pragma once

#include "model/MediaTime.h"
#include "preview/player/VideoFrame.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// What a quick look at a file's tracks found, without opening any decoder.
struct PlayerAssetTracks {
    std::optional<QString> error; // the reason the file could not be read at all
    int videoTrackCount = 0;
    int audioTrackCount = 0;
    float nominalFrameRate = 0; // of the first video track; 0 when unknown
    double duration = 0;        // seconds, of the first video track or else the file; 0 unknown
};

enum class PlayerItemStatus { Unknown, ReadyToPlay, Failed };
enum class PlayerTimeControl { Paused, WaitingToPlay, Playing };

// A decoded frame handed out for an item time, with the time it is meant to be displayed at
// (invalid when the player does not know it).
struct PlayerFrame {
    VideoFrame pixels;
    MediaTime displayTime;
};

// The media player behind the preview engine: one current item at a time, opened off the main
// thread, frames pulled by item time, exact seeks with a completion, an end-of-item signal and a
// muted flag. Every member is called on the main thread and every signal and completion is
// delivered there; no call blocks on decoding.
class Player : public QObject {
    Q_OBJECT
public:
    using ItemId = quint64; // 0 means no item

    using QObject::QObject;
    ~Player() override = default;

    // Reads the file's track list off the main thread.
    virtual QFuture<PlayerAssetTracks> loadTracks(const QUrl& url) = 0;

    // Drops the current item (if any) and starts opening a new one; its status starts Unknown.
    virtual ItemId replaceCurrentItem(const QUrl& url) = 0;
    // Drops the current item: stops its decoding and forgets its frames and pending seeks.
    virtual void removeCurrentItem() = 0;
    virtual ItemId currentItem() const = 0;
    virtual PlayerItemStatus status() const = 0;
    // The failure's text when the status is Failed; may be absent.
    virtual std::optional<QString> itemError() const = 0;

    virtual void play() = 0;
    virtual void pause() = 0;
    virtual PlayerTimeControl timeControlStatus() const = 0;
    // The item time now; invalid with no item or while the item is not ready.
    virtual MediaTime currentTime() const = 0;

    // Moves exactly to target. The completion runs once on the main thread: finished = true when
    // the frame on screen at target is ready to be copied, false when the seek was cancelled or
    // superseded by a newer one.
    virtual void seek(const MediaTime& target, std::function<void(bool finished)> completion) = 0;
    virtual void cancelPendingSeeks() = 0;

    // While the user drags the position, seeks may decode on from where the decoder is instead
    // of going back to a key frame, and pictures met on the way are offered as provisional.
    virtual void setScrubbing(bool scrubbing) = 0;
    // The newest picture decoded on the way to the pending seek's target, at most every 100 ms,
    // and only while scrubbing; it never stands for the target's own frame.
    virtual std::optional<PlayerFrame> takeProvisionalFrame() = 0;

    // Decoded frames that were never shown because the clock had passed them.
    virtual qint64 droppedFrameCount() const { return 0; }

    // Whether a frame not yet copied is due at itemTime.
    virtual bool hasNewFrame(const MediaTime& itemTime) const = 0;
    // The frame on screen at itemTime (frames due before it are dropped); nothing when no frame
    // is available.
    virtual std::optional<PlayerFrame> copyFrame(const MediaTime& itemTime) = 0;

    // Each decoded frame is handed to the preparer on the decoding thread before it is queued, so
    // that the display's work on it stays off the main thread. Applies from the next item on.
    virtual void setFramePreparer(FramePreparer) {}

    virtual void setMuted(bool muted) = 0;
    virtual bool isMuted() const = 0;

signals:
    void itemStatusChanged(Player::ItemId item);
    // The item played to its end; the player has paused on its last frame.
    void itemDidPlayToEnd(Player::ItemId item);
};
