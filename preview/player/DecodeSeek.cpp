// Exact seeks of the decoding thread. Every seek ends with the frame on screen at its target in
// the queue; while the user scrubs, the decoder also decodes on from where it is when the target
// lies ahead, and offers pictures met on the way so that the previews follow the thumb.
#include "preview/player/DecodeWorker.h"

#include <algorithm>
#include <cmath>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr double decodeOnSeconds = 1.0;
// While dragging, the next target may come back this far from the one being decoded to: frames
// this near a target are decoded even when nothing refers to them, so that decoding on can serve
// the next target instead of going back to the key frame for a frame skipped on the way.
constexpr double draggedBackSeconds = 0.5;

// Emptying the decoder for a key-frame seek makes H.264's free its tables for every picture (some
// 100 MB at 8K) and make them again. Frames and pictures drawn meanwhile take parts of the holes,
// so the heap grows by what no longer fits; past this much held free, it goes back to the system.
constexpr std::size_t spareHeapLimit = std::size_t(64) << 20;

void giveBackSpareHeap() {
#if defined(__GLIBC__)
    if (mallinfo2().fordblks > spareHeapLimit)
        malloc_trim(0);
#endif
}

} // namespace

QString DecodeWorker::unconvertibleText() {
    return QStringLiteral("A decoded video frame could not be converted for display.");
}

QString DecodeWorker::incompleteText() {
    return QStringLiteral("This video file is incomplete: it ends before its last frame.");
}

DecodeWorker::Step DecodeWorker::seekExactly(const SeekTarget& target, std::uint64_t epoch) {
    lastFileCheck_ = {};
    if (QString gone; fileIsGone(gone))
        return fail(gone);
    const std::int64_t targetTs =
        startPts_ + av_rescale_q_rnd(target.value, AVRational{1, target.timescale},
                                     stream_->time_base, AV_ROUND_DOWN);
    const bool scrubbing = mailbox_->scrubbing();
    nextHeldBack_ = false;
    // After a read cut short by this seek, only a fresh start from a key frame is sure.
    const bool interrupted = ffmpeg::takeInterruption(format_.get());
    // Only frames kept while scrubbing let the decoder decode on; they outlive the release until
    // the decoder moves on, so that the seek a drag left waiting decodes on after it too.
    if (!interrupted && canDecodeOnTo(targetTs)) {
        bool unused = false;
        return decodeTo(targetTs, epoch, true, false, unused);
    }
    return seekFromKeyFrame(targetTs, epoch, scrubbing);
}

// Ahead of the decoder within the same group of pictures, or near enough that decoding on costs
// less than going back to a key frame.
bool DecodeWorker::canDecodeOnTo(std::int64_t targetTs) const {
    if (servesFromRetained(targetTs))
        return true;
    // Once the file's end has been read the decoder still gives out what it holds; only when it
    // has given out everything is there nothing to decode on to.
    if (recentPts_ == AV_NOPTS_VALUE || atEnd_)
        return false;
    if (targetTs < recentPts_)
        return false;
    if (skippedUpTo_ != AV_NOPTS_VALUE && targetTs <= skippedUpTo_ + 2 * frameDurationTs_)
        return false;
    if (itemSeconds(targetTs) - itemSeconds(recentPts_) <= decodeOnSeconds)
        return true;
    const int key = av_index_search_timestamp(stream_, targetTs, AVSEEK_FLAG_BACKWARD);
    const AVIndexEntry* entry = key >= 0 ? avformat_index_get_entry(stream_, key) : nullptr;
    return entry && entry->timestamp <= recentPts_;
}

// The target lies on the frame landed on last, and the decoder's newest frame is the one right
// after it.
bool DecodeWorker::servesFromRetained(std::int64_t targetTs) const {
    return answerPts_ != AV_NOPTS_VALUE && recentPts_ != AV_NOPTS_VALUE && answerPts_ <= targetTs &&
           targetTs < recentPts_ && 2 * (recentPts_ - answerPts_) <= 3 * frameDurationTs_;
}

DecodeWorker::Step DecodeWorker::seekFromKeyFrame(std::int64_t targetTs, std::uint64_t epoch,
                                                  bool scrubbing) {
    std::int64_t seekTs = targetTs;
    std::int64_t stepBack = av_rescale_q(1, AVRational{1, 1}, stream_->time_base);
    for (;;) {
        if (const Step step = positionAt(seekTs, epoch); step != Step::Continue)
            return step;
        // The demuxer finds key frames by decoding time, and with pictures reordered the one it
        // found may be shown after the target: a target just before a key frame, which every
        // backward drag meets. Decoding it first only to learn that costs a picture or three.
        if (seekTs > startPts_ && keyFrameShowsAfter(targetTs)) {
            seekTs = std::max(seekTs - stepBack, startPts_);
            stepBack *= 2;
            continue;
        }
        bool needsEarlierStart = false;
        const Step step =
            decodeTo(targetTs, epoch, scrubbing, seekTs <= startPts_, needsEarlierStart);
        if (!needsEarlierStart) {
            // Not while scrubbing: the next target may need the holes at once.
            if (step == Step::Continue && !scrubbing)
                giveBackSpareHeap();
            return step;
        }
        seekTs = std::max(seekTs - stepBack, startPts_);
        stepBack *= 2;
    }
}

// With the demuxer just put on a key frame: whether that frame is shown after targetTs.
bool DecodeWorker::keyFrameShowsAfter(std::int64_t targetTs) {
    return nextVideoPacket() == 0 && (packet_->flags & AV_PKT_FLAG_KEY) &&
           packet_->pts != AV_NOPTS_VALUE && packet_->pts > targetTs;
}

// Puts the demuxer on the key frame at or before seekTs and empties the decoder.
DecodeWorker::Step DecodeWorker::positionAt(std::int64_t seekTs, std::uint64_t epoch) {
    int result = av_seek_frame(format_.get(), streamIndex_, seekTs, AVSEEK_FLAG_BACKWARD);
    if (result < 0)
        result = avformat_seek_file(format_.get(), streamIndex_, INT64_MIN, seekTs, seekTs, 0);
    if (result < 0)
        return readFailure(result, epoch);
    mailbox_->countKeyFrameSeek();
    avcodec_flush_buffers(video_.get());
    av_packet_unref(packet_.get());
    packetWaiting_ = false;
    draining_ = false;
    atEnd_ = false;
    lastPts_ = AV_NOPTS_VALUE;
    skippedUpTo_ = AV_NOPTS_VALUE;
    forgetRetainedFrames();
    offerNextAtOnce_ = true;
    return Step::Continue;
}

// Decodes on to the frame on screen at targetTs. Frames before the target are decoded only to be
// dropped (or, while scrubbing, offered as provisional pictures); those nothing refers to are not
// even decoded unless they might be the answer.
DecodeWorker::Step DecodeWorker::decodeTo(std::int64_t targetTs, std::uint64_t epoch,
                                          bool scrubbing, bool fromStart, bool& needsEarlierStart) {
    ffmpeg::Frame candidate(av_frame_alloc());
    bool haveCandidate = false;
    if (scrubbing && servesFromRetained(targetTs)) {
        // Already decoded: the frame landed on before, with the one after it.
        ffmpeg::Frame next(av_frame_alloc());
        av_frame_ref(next.get(), recent_.get());
        return landOn(answer_, answerPts_, next.get(), epoch);
    }
    if (scrubbing && recentPts_ != AV_NOPTS_VALUE && recentPts_ <= targetTs) {
        av_frame_ref(candidate.get(), recent_.get());
        haveCandidate = true;
        // The first picture after a key frame may have come as its target was superseded.
        offerProvisional(candidate.get(), epoch);
    }
    bool draining = draining_;
    // While scrubbing a superseded target still decodes to the next frame, so that a drag faster
    // than the first frame after a key frame cannot keep every target from showing anything.
    bool atFrameBoundary = !scrubbing;
    for (;;) {
        if (atFrameBoundary && mailbox_->isAbandoned(epoch))
            return Step::Abandoned;
        if (!draining) {
            int result = nextVideoPacket();
            if (result == AVERROR_EOF) {
                draining = true;
                avcodec_send_packet(video_.get(), nullptr);
            } else if (result < 0) {
                return readFailure(result, epoch);
            } else {
                const std::int64_t near =
                    mailbox_->scrubbing()
                        ? std::max(2 * frameDurationTs_,
                                   av_rescale_q(std::llround(draggedBackSeconds * 1000),
                                                AVRational{1, 1000}, stream_->time_base))
                        : 2 * frameDurationTs_;
                const bool wellBefore =
                    packet_->pts != AV_NOPTS_VALUE && packet_->pts + near < targetTs;
                video_->skip_frame = wellBefore ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
                if (wellBefore)
                    skippedUpTo_ = std::max(skippedUpTo_, packet_->pts);
                if (result = sendPacket(); result < 0)
                    return fail(ffmpeg::errorText(result));
            }
        }
        for (;;) {
            const int result = avcodec_receive_frame(video_.get(), frame_.get());
            if (result == AVERROR(EAGAIN))
                break;
            if (result == AVERROR_EOF) {
                video_->skip_frame = AVDISCARD_DEFAULT;
                draining_ = true;
                atEnd_ = true;
                if (!haveCandidate) {
                    if (!fromStart) {
                        needsEarlierStart = true;
                        return Step::Continue;
                    }
                    return fail(QStringLiteral("This video has no frame that can be decoded."));
                }
                // The target lies on the last frame: nothing follows it.
                const std::int64_t lastPts = framePts(candidate.get());
                if (itemSeconds(lastPts) + frameDuration_ < expectedEnd_ - 1.5 * frameDuration_)
                    return fail(incompleteText());
                if (const Step step = land(candidate.get(), nullptr, epoch, false);
                    step != Step::Continue)
                    return step;
                events_.reachedEnd(itemSeconds(lastPts) + frameDuration_);
                return Step::Continue;
            }
            if (result < 0)
                return fail(ffmpeg::errorText(result));
            const std::int64_t pts = framePts(frame_.get());
            lastPts_ = pts;
            atFrameBoundary = true;
            if (scrubbing)
                retain(recent_, recentPts_, frame_.get());
            if (pts <= targetTs) {
                av_frame_unref(candidate.get());
                av_frame_move_ref(candidate.get(), frame_.get());
                haveCandidate = true;
                if (scrubbing) {
                    // A newer target stops the work at this frame; it decodes on from here when
                    // that serves it, and shows the frame then.
                    if (mailbox_->isAbandoned(epoch))
                        return Step::Abandoned;
                    offerProvisional(candidate.get(), epoch);
                }
                continue;
            }
            if (!haveCandidate && !fromStart) {
                // The key frame found was already past the target (open GOPs, or an index
                // that points late): start further back.
                av_frame_unref(frame_.get());
                needsEarlierStart = true;
                return Step::Continue;
            }
            video_->skip_frame = AVDISCARD_DEFAULT;
            draining_ = draining;
            // The frame on screen at the target, then the one after it for playback.
            if (!haveCandidate)
                return land(frame_.get(), nullptr, epoch, scrubbing);
            return land(candidate.get(), frame_.get(), epoch, scrubbing);
        }
    }
}

DecodeWorker::Step DecodeWorker::land(AVFrame* answer, AVFrame* next, std::uint64_t epoch,
                                      bool scrubbing) {
    const std::int64_t pts = framePts(answer);
    // The frame landed on before is replaced; let go of its textures before taking new ones.
    if (scrubbing) {
        answer_ = {};
        answerPts_ = AV_NOPTS_VALUE;
    }
    const VideoFrame shown = displayed(answer, pts);
    if (shown.isNull()) {
        if (next)
            av_frame_unref(next);
        return fail(unconvertibleText());
    }
    if (scrubbing) {
        answer_ = shown;
        answerPts_ = pts;
    }
    return landOn(shown, pts, next, epoch);
}

// The frame on screen at the target, then the one after it for playback.
DecodeWorker::Step DecodeWorker::landOn(const VideoFrame& answer, std::int64_t answerPts,
                                        AVFrame* next, std::uint64_t epoch) {
    if (const Step step = push(answer, answerPts, epoch); step != Step::Continue) {
        if (next)
            av_frame_unref(next);
        return step;
    }
    events_.seekLanded(epoch);
    if (!next)
        return Step::Continue;
    if (mailbox_->scrubbing() && recent_ && framePts(next) == recentPts_) {
        av_frame_unref(next);
        nextHeldBack_ = true;
        return Step::Continue;
    }
    return deliver(next, epoch);
}

void DecodeWorker::retain(ffmpeg::Frame& slot, std::int64_t& slotPts, const AVFrame* frame) {
    if (!slot)
        slot.reset(av_frame_alloc());
    av_frame_unref(slot.get());
    if (slot && av_frame_ref(slot.get(), frame) == 0)
        slotPts = framePts(slot.get());
    else
        slotPts = AV_NOPTS_VALUE;
}

void DecodeWorker::forgetRetainedFrames() {
    nextHeldBack_ = false;
    recent_.reset();
    answer_ = {};
    recentPts_ = AV_NOPTS_VALUE;
    answerPts_ = AV_NOPTS_VALUE;
}

void DecodeWorker::offerProvisional(const AVFrame* frame, std::uint64_t epoch) {
    // Once the thumb is let go the seek goes on to its exact frame, and a picture on the way would
    // only be uploaded to be refused: a whole 8K frame's copy each time.
    if (!mailbox_->scrubbing())
        return;
    const auto now = DecodeMailbox::Clock::now();
    if (!offerNextAtOnce_ && now - lastOffer_ < provisionalInterval)
        return;
    offerNextAtOnce_ = false;
    lastOffer_ = now;
    AVFrame* copy = av_frame_clone(frame);
    if (!copy)
        return;
    const std::int64_t pts = framePts(copy);
    VideoFrame pixels = takeDisplayable(copy);
    av_frame_free(&copy);
    if (!pixels.isNull()) {
        const double time = itemSeconds(pts);
        mailbox_->offerProvisional(QueuedFrame{prepared(std::move(pixels), time), time}, epoch);
    }
}
