#include "preview/player/TrackProbe.h"

#include "preview/player/FFmpegHandles.h"

#include <chrono>

PlayerAssetTracks TrackProbe::probe(const QString& path) {
    PlayerAssetTracks tracks;
    QString error;
    // A drive that stops answering must not hold a worker thread for good.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    ffmpeg::FormatContext format = ffmpeg::openInput(
        path, error, [deadline] { return std::chrono::steady_clock::now() > deadline; });
    if (!format) {
        tracks.error = error;
        return tracks;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (tracks.videoTrackCount++ == 0) {
                const AVRational rate =
                    stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
                tracks.nominalFrameRate = rate.den > 0 ? float(av_q2d(rate)) : 0.0f;
                if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
                    tracks.duration = double(stream->duration) * av_q2d(stream->time_base);
            }
        } else if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++tracks.audioTrackCount;
        }
    }
    if (tracks.duration <= 0 && format->duration > 0)
        tracks.duration = double(format->duration) / AV_TIME_BASE;
    return tracks;
}
