#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QString>
#include <memory>

// Owners for the FFmpeg objects the player holds.
namespace ffmpeg {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
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

// FFmpeg's own description of an error code.
inline QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

// Opens a local file for demuxing; on failure returns null and sets error to FFmpeg's text.
inline FormatContext openInput(const QString& path, QString& error) {
    AVFormatContext* raw = nullptr;
    const int result = avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr);
    if (result < 0) {
        error = errorText(result);
        return nullptr;
    }
    return FormatContext(raw);
}

} // namespace ffmpeg
