#include "preview/player/TrackProbe.h"

#include "preview/player/FFmpegHandles.h"

PlayerAssetTracks TrackProbe::probe(const QString& path) {
    PlayerAssetTracks tracks;
    QString error;
    ffmpeg::FormatContext format = ffmpeg::openInput(path, error);
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
            }
        } else if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            ++tracks.audioTrackCount;
        }
    }
    return tracks;
}
