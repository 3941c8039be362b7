#include "preview/player/DecodeWorker.h"

#include "model/FileNames.h"

#include <QThread>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

const QString replacedText =
    QStringLiteral("The video file was replaced while it was open. Open it again.");
const QString goneText = QStringLiteral(
    "The video file was moved or deleted while it was open. Check that the source drive is "
    "available, then reopen the video.");

constexpr int decodingNiceness = 10;
constexpr auto fileCheckInterval = std::chrono::milliseconds(500);

bool isDeliverable(int format) {
    return format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ||
           format == AV_PIX_FMT_YUV420P10LE || format == AV_PIX_FMT_P010LE;
}

// What takeDisplayable makes of a decoder's pixel format.
AVPixelFormat deliveredFormat(AVPixelFormat decoded) {
    if (decoded == AV_PIX_FMT_YUVJ420P)
        return AV_PIX_FMT_YUV420P;
    if (isDeliverable(decoded))
        return decoded;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(decoded);
    return descriptor && descriptor->comp[0].depth > 8 ? AV_PIX_FMT_YUV420P10LE
                                                       : AV_PIX_FMT_YUV420P;
}

} // namespace

DecodeWorker::DecodeWorker(QString path, std::shared_ptr<DecodeMailbox> mailbox,
                           DecodeEvents events, FramePreparer prepare)
    : path_(std::move(path)), mailbox_(std::move(mailbox)), events_(std::move(events)),
      prepare_(std::move(prepare)) {}

void DecodeWorker::run() {
    // Below the window and the software renderer's threads, which draw what this decodes: on a
    // busy machine a late picture is better than a frozen window. FFmpeg's own decoding threads
    // inherit this when the decoder opens.
    setpriority(PRIO_PROCESS, id_t(gettid()), decodingNiceness);
    if (!open()) {
        // Nothing more to do but to wait until the item is dropped.
        while (!mailbox_->waitForWork(false).stop) {
        }
        return;
    }
    std::uint64_t epoch = 0;
    for (;;) {
        const bool wantsRoom = !atEnd_ && !failed_;
        const DecodeMailbox::Work work = mailbox_->waitForWork(wantsRoom);
        if (work.stop)
            return;
        epoch = work.epoch;
        workingEpoch_ = epoch;
        Step step = Step::Continue;
        if (!mailbox_->scrubbing() && !work.seek) {
            if (!failed_)
                step = deliverHeldBack(epoch);
            forgetRetainedFrames();
        }
        if (failed_ || step != Step::Continue)
            continue;
        if (work.seek)
            step = seekExactly(*work.seek, epoch);
        else
            step = decodeAhead(epoch);
        if (step == Step::Failed)
            failed_ = true;
    }
}

bool DecodeWorker::open() {
    struct stat info {};
    if (::stat(FileNames::encodedPath(path_).constData(), &info) != 0) {
        fail(FileNames::openFailure(path_, errno));
        return false;
    }
    device_ = info.st_dev;
    inode_ = info.st_ino;
    lastFileCheck_ = DecodeMailbox::Clock::now();

    QString error;
    format_ = ffmpeg::openInput(path_, error, [mailbox = mailbox_, this] {
        return mailbox->shouldGiveUpRead(workingEpoch_);
    });
    if (!format_) {
        fail(error);
        return false;
    }
    if (const int result = avformat_find_stream_info(format_.get(), nullptr); result < 0) {
        fail(ffmpeg::errorText(result));
        return false;
    }
    const AVCodec* codec = nullptr;
    streamIndex_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || !codec) {
        fail(QStringLiteral("This source has no video track."));
        return false;
    }
    stream_ = format_->streams[streamIndex_];
    const int audioStream =
        av_find_best_stream(format_.get(), AVMEDIA_TYPE_AUDIO, -1, streamIndex_, nullptr, 0);
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (int(i) != streamIndex_)
            format_->streams[i]->discard = AVDISCARD_ALL;

    video_.reset(avcodec_alloc_context3(codec));
    if (!video_) {
        fail(ffmpeg::errorText(AVERROR(ENOMEM)));
        return false;
    }
    if (const int result = avcodec_parameters_to_context(video_.get(), stream_->codecpar);
        result < 0) {
        fail(ffmpeg::errorText(result));
        return false;
    }
    // One per core. libavcodec's own choice adds a frame thread, which at 6K holds another set of
    // frames (some 50 MB) and lengthens the pipeline that every seek refills, for playback no
    // faster on a machine that decodes faster than real time.
    video_->thread_count = std::max(1, QThread::idealThreadCount());
    video_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    video_->pkt_timebase = stream_->time_base;
    framePool_.installOn(video_.get());
    if (const int result = avcodec_open2(video_.get(), codec, nullptr); result < 0) {
        fail(ffmpeg::errorText(result));
        return false;
    }
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());

    const AVRational rate =
        stream_->avg_frame_rate.num > 0 ? stream_->avg_frame_rate : stream_->r_frame_rate;
    if (rate.num > 0 && rate.den > 0)
        frameDuration_ = av_q2d(av_inv_q(rate));
    frameDurationTs_ = std::max<std::int64_t>(
        1, av_rescale_q(1, av_inv_q(rate.num > 0 ? rate : AVRational{30, 1}), stream_->time_base));
    startPts_ = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
    if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0)
        expectedEnd_ = stream_->duration * av_q2d(stream_->time_base);
    else if (format_->duration > 0)
        expectedEnd_ = double(format_->duration) / AV_TIME_BASE;

    events_.opened(DecodedStreamFacts{frameDuration_, expectedEnd_, std::max(audioStream, -1)});
    if (prepare_.expect)
        prepare_.expect(video_->width, video_->height, deliveredFormat(video_->pix_fmt));
    return true;
}

DecodeWorker::Step DecodeWorker::fail(const QString& message) {
    failed_ = true;
    events_.failed(message);
    return Step::Failed;
}

bool DecodeWorker::fileIsGone(QString& message) {
    // An open file stays readable after it is deleted, so ask the file system, at most twice a
    // second: a source that is no longer there should stop the preview, not play on unseen.
    const auto now = DecodeMailbox::Clock::now();
    if (now - lastFileCheck_ < fileCheckInterval)
        return false;
    lastFileCheck_ = now;
    struct stat info {};
    if (::stat(FileNames::encodedPath(path_).constData(), &info) != 0) {
        message =
            errno == ENOENT || errno == ENOTDIR ? goneText : FileNames::openFailure(path_, errno);
        return true;
    }
    if (info.st_dev != device_ || info.st_ino != inode_) {
        message = replacedText;
        return true;
    }
    return false;
}

double DecodeWorker::itemSeconds(std::int64_t pts) const {
    return double(pts - startPts_) * av_q2d(stream_->time_base);
}

std::int64_t DecodeWorker::framePts(const AVFrame* frame) {
    std::int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        pts = lastPts_ == AV_NOPTS_VALUE ? startPts_ : lastPts_ + frameDurationTs_;
    return pts;
}

VideoFrame DecodeWorker::takeDisplayable(AVFrame* frame) {
    if (frame->format == AV_PIX_FMT_YUVJ420P) {
        // The same layout as yuv420p, only marked full range.
        frame->format = AV_PIX_FMT_YUV420P;
        frame->color_range = AVCOL_RANGE_JPEG;
    }
    AVFrame* out = av_frame_alloc();
    if (!out)
        return {};
    if (isDeliverable(frame->format)) {
        av_frame_move_ref(out, frame);
        return VideoFrame(out);
    }
    out->format = deliveredFormat(AVPixelFormat(frame->format));
    out->width = frame->width;
    out->height = frame->height;
    scaler_.reset(sws_getCachedContext(
        scaler_.release(), frame->width, frame->height, AVPixelFormat(frame->format), out->width,
        out->height, AVPixelFormat(out->format), SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler_ || av_frame_get_buffer(out, 0) < 0 ||
        sws_scale_frame(scaler_.get(), out, frame) < 0) {
        av_frame_free(&out);
        av_frame_unref(frame);
        return {};
    }
    av_frame_copy_props(out, frame);
    av_frame_unref(frame);
    return VideoFrame(out);
}

VideoFrame DecodeWorker::prepared(VideoFrame pixels, double time, bool mayWaitForTextures) const {
    if (!prepare_.prepare || pixels.isNull())
        return pixels;
    std::shared_ptr<const PreparedPicture> picture =
        prepare_.prepare(pixels, time, mayWaitForTextures);
    if (!picture)
        return pixels;
    VideoFrame made = pixels.preparedAs(std::move(picture));
    return made.isNull() ? pixels : made;
}

DecodeWorker::Step DecodeWorker::deliver(AVFrame* frame, std::uint64_t epoch, bool playing) {
    const std::int64_t pts = framePts(frame);
    // The display lets go of a frame's textures as it draws the next one. With a frame queued
    // ahead of this one it has that to draw, so a wait for textures ends as soon as it does;
    // otherwise, unless the clock runs, the next thing it draws is this very frame.
    const bool mayWait = playing || mailbox_->holdsFrameAhead();
    const VideoFrame shown = displayed(frame, pts, mayWait);
    if (shown.isNull())
        return fail(unconvertibleText());
    return push(shown, pts, epoch);
}

VideoFrame DecodeWorker::displayed(AVFrame* frame, std::int64_t pts, bool mayWaitForTextures) {
    VideoFrame pixels = takeDisplayable(frame);
    return pixels.isNull() ? pixels
                           : prepared(std::move(pixels), itemSeconds(pts), mayWaitForTextures);
}

DecodeWorker::Step DecodeWorker::push(const VideoFrame& shown, std::int64_t pts,
                                      std::uint64_t epoch) {
    lastPts_ = pts;
    const double time = itemSeconds(pts);
    return mailbox_->push(QueuedFrame{shown, time}, epoch) ? Step::Continue : Step::Abandoned;
}

DecodeWorker::Step DecodeWorker::readFailure(int result, std::uint64_t epoch) {
    // A read given up because a newer seek or a stop came is no failure of the file.
    if (result == AVERROR_EXIT && mailbox_->isAbandoned(epoch))
        return Step::Abandoned;
    return fail(ffmpeg::errorText(result));
}

int DecodeWorker::nextVideoPacket() {
    if (packetWaiting_)
        return 0;
    for (;;) {
        const int result = av_read_frame(format_.get(), packet_.get());
        if (result < 0)
            return result;
        if (packet_->stream_index == streamIndex_) {
            packetWaiting_ = true;
            return 0;
        }
        av_packet_unref(packet_.get());
    }
}

int DecodeWorker::sendPacket() {
    const int sent = avcodec_send_packet(video_.get(), packet_.get());
    if (sent == AVERROR(EAGAIN))
        return 0;
    av_packet_unref(packet_.get());
    packetWaiting_ = false;
    return sent == AVERROR_INVALIDDATA ? 0 : sent;
}

// The thumb was let go where a seek had landed, with no seek since: playing goes on from there.
DecodeWorker::Step DecodeWorker::deliverHeldBack(std::uint64_t epoch) {
    if (!std::exchange(nextHeldBack_, false) || !recent_)
        return Step::Continue;
    ffmpeg::Frame next(av_frame_alloc());
    if (!next || av_frame_ref(next.get(), recent_.get()) < 0)
        return fail(ffmpeg::errorText(AVERROR(ENOMEM)));
    return deliver(next.get(), epoch);
}

DecodeWorker::Step DecodeWorker::decodeAhead(std::uint64_t epoch) {
    if (QString gone; fileIsGone(gone))
        return fail(gone);
    if (!draining_) {
        const int result = nextVideoPacket();
        if (result == AVERROR_EOF) {
            draining_ = true;
            avcodec_send_packet(video_.get(), nullptr);
        } else if (result < 0) {
            return readFailure(result, epoch);
        } else {
            // Behind the clock: leave out frames nothing else refers to, to catch up.
            const std::optional<double> now = mailbox_->runningClockTime();
            const bool late = now && lastPts_ != AV_NOPTS_VALUE &&
                              itemSeconds(lastPts_) < *now - 2 * frameDuration_;
            video_->skip_frame = late ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            if (const int sent = sendPacket(); sent < 0)
                return fail(ffmpeg::errorText(sent));
        }
    }
    for (;;) {
        const int result = avcodec_receive_frame(video_.get(), frame_.get());
        if (result == AVERROR(EAGAIN))
            return Step::Continue;
        if (result == AVERROR_EOF) {
            atEnd_ = true;
            const double end =
                lastPts_ == AV_NOPTS_VALUE ? 0 : itemSeconds(lastPts_) + frameDuration_;
            if (end < expectedEnd_ - 1.5 * frameDuration_)
                return fail(incompleteText());
            events_.reachedEnd(end);
            return Step::Continue;
        }
        if (result < 0)
            return fail(ffmpeg::errorText(result));
        const bool playing = mailbox_->runningClockTime().has_value();
        if (const Step step = deliver(frame_.get(), epoch, playing); step != Step::Continue)
            return step;
    }
}
