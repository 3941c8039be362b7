#pragma once

#include "preview/player/DecodeMailbox.h"
#include "preview/player/FFmpegHandles.h"
#include "preview/player/FrameBufferPool.h"

#include <QString>

#include <atomic>

#include <functional>
#include <memory>
#include <sys/types.h>

// What the decoding thread learnt about the item when it opened it.
struct DecodedStreamFacts {
    double frameDuration = 1.0 / 30.0;
    double expectedEnd = 0; // item time at which the container says the video ends
    int audioStream = -1;   // the sound to play with it, if any
};

// Reports from the decoding thread. They are called on that thread; the player turns them into
// queued calls on the main thread.
struct DecodeEvents {
    std::function<void(const DecodedStreamFacts&)> opened;
    std::function<void(const QString& message)> failed;
    std::function<void(std::uint64_t epoch)> seekLanded;
    std::function<void(double endTime)> reachedEnd;
};

// The body of a player item's decoding thread. It alone touches the FFmpeg contexts: it opens the
// file, decodes ahead into the mailbox's queue, and serves exact seeks by decoding forward from
// the key frame at or before the target.
class DecodeWorker {
public:
    DecodeWorker(QString path, std::shared_ptr<DecodeMailbox> mailbox, DecodeEvents events,
                 FramePreparer prepare = {});
    void run();

private:
    enum class Step { Continue, Abandoned, Failed };

    bool open();

    // Seeking (DecodeSeek.cpp): exact, from the key frame at or before the target; while
    // scrubbing, from where the decoder is when that is nearer, with provisional pictures.
    Step seekExactly(const SeekTarget& target, std::uint64_t epoch);
    Step seekFromKeyFrame(std::int64_t targetTs, std::uint64_t epoch, bool scrubbing);
    Step positionAt(std::int64_t seekTs, std::uint64_t epoch);
    bool keyFrameShowsAfter(std::int64_t targetTs);
    Step decodeTo(std::int64_t targetTs, std::uint64_t epoch, bool scrubbing, bool fromStart,
                  bool& needsEarlierStart);
    Step land(AVFrame* answer, AVFrame* next, std::uint64_t epoch, bool scrubbing);
    Step landOn(const VideoFrame& answer, std::int64_t answerPts, AVFrame* next,
                std::uint64_t epoch);
    bool canDecodeOnTo(std::int64_t targetTs) const;
    bool servesFromRetained(std::int64_t targetTs) const;
    void retain(ffmpeg::Frame& slot, std::int64_t& slotPts, const AVFrame* frame);
    void forgetRetainedFrames();
    void offerProvisional(const AVFrame* frame, std::uint64_t epoch);
    static QString incompleteText();
    static QString unconvertibleText();
    Step decodeAhead(std::uint64_t epoch);
    Step deliverHeldBack(std::uint64_t epoch);
    // `playing` while the clock runs and the frame is the next one due after those queued.
    Step deliver(AVFrame* frame, std::uint64_t epoch, bool playing = false);
    // The frame as it goes to the display; null when it could not be converted.
    VideoFrame displayed(AVFrame* frame, std::int64_t pts, bool mayWaitForTextures = false);
    Step push(const VideoFrame& shown, std::int64_t pts, std::uint64_t epoch);
    Step fail(const QString& message);
    Step readFailure(int result, std::uint64_t epoch);
    // Reads the next packet of the video stream unless one is still waiting to be sent;
    // AVERROR_EOF at the end.
    int nextVideoPacket();
    // Sends the waiting packet; keeps it when the decoder first wants frames taken out (EAGAIN).
    int sendPacket();
    bool fileIsGone(QString& message);
    VideoFrame takeDisplayable(AVFrame* frame);
    // The frame as the display prepared it, or as it is when it could not.
    VideoFrame prepared(VideoFrame pixels, double time, bool mayWaitForTextures = false) const;
    double itemSeconds(std::int64_t pts) const;
    std::int64_t framePts(const AVFrame* frame);

    QString path_;
    std::shared_ptr<DecodeMailbox> mailbox_;
    DecodeEvents events_;
    FramePreparer prepare_;

    ffmpeg::FormatContext format_;
    // Before the codec, which asks it for buffers until it is freed.
    FrameBufferPool framePool_;
    ffmpeg::CodecContext video_;
    ffmpeg::Packet packet_;
    ffmpeg::Frame frame_;
    ffmpeg::Scaler scaler_;
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    std::int64_t startPts_ = 0;
    std::int64_t frameDurationTs_ = 1;
    double frameDuration_ = 1.0 / 30.0;
    double expectedEnd_ = 0;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    // While scrubbing, and after it until the decoder moves on: the last frame the decoder gave
    // out and the last one a seek landed on, so that a target between or just after them needs
    // no seek at all. The one landed on is kept as it went to the display (in its textures, when
    // the display prepared it), so that it holds none of the decoder's buffers.
    ffmpeg::Frame recent_;
    std::int64_t recentPts_ = AV_NOPTS_VALUE;
    VideoFrame answer_;
    std::int64_t answerPts_ = AV_NOPTS_VALUE;
    // The frame after the one landed on while scrubbing, decoded (it is recent_) but not yet
    // queued: it is wanted only if the thumb is let go there, and queued it would hold a frame's
    // textures for every target of the drag.
    bool nextHeldBack_ = false;
    // The latest packet since the last key-frame jump that the decoder was allowed to skip (it
    // lay well before the target then); decoding on to a target near it could miss its frame.
    std::int64_t skippedUpTo_ = AV_NOPTS_VALUE;
    // The first picture after a jump to a key frame is offered at once, then at most every
    // provisionalInterval.
    bool offerNextAtOnce_ = false;
    DecodeMailbox::Clock::time_point lastOffer_;
    bool draining_ = false;
    bool packetWaiting_ = false;
    // The seek (or stretch of playback) being served; reads give up once it is abandoned.
    std::atomic<std::uint64_t> workingEpoch_{0};
    bool atEnd_ = false;
    bool failed_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    DecodeMailbox::Clock::time_point lastFileCheck_;
};
