#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QString>
#include <functional>
#include <memory>

// Owners for the FFmpeg objects the player holds.
namespace ffmpeg {

// Also frees what openInput attached to the context.
struct FormatCloser {
    void operator()(AVFormatContext* context) const;
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct SwrFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct SwsFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using FormatContext = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Resampler = std::unique_ptr<SwrContext, SwrFreer>;
using Scaler = std::unique_ptr<SwsContext, SwsFreer>;

// A sentence for the user around FFmpeg's own description of an error code.
inline QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    QString detail = QString::fromUtf8(text);
    if (!detail.isEmpty())
        detail[0] = detail[0].toLower();
    return QStringLiteral("The video could not be read (%1).").arg(detail);
}

// Opens a local file for demuxing; on failure returns null and sets error to FFmpeg's text.
// Every blocking read of the context asks `interrupt` first and gives up (AVERROR_EXIT) once it
// answers true. The path is taken byte for byte, whatever characters it holds.
FormatContext openInput(const QString& path, QString& error, std::function<bool()> interrupt);

// Whether a read of a context from openInput was given up since the last call. A read given up
// may have handed out a cut packet and left the demuxer anywhere: the caller must seek before
// reading again, and decoder state fed since is suspect. Afterwards reads work again.
bool takeInterruption(AVFormatContext* context);

} // namespace ffmpeg
