#include "media/MediaInspector.h"

#include "media/ByteSource.h"
#include "media/FrameWalk.h"
#include "media/Movie.h"
#include "media/MovieFormatError.h"
#include "model/FileNames.h"
#include "model/UserError.h"

#include <cmath>
#include <limits>

namespace MediaInspector {

namespace {

const QString wrongFileText = QStringLiteral(
    "Choose a stitched 360° MP4 or MOV. Export camera-original media as a full 360° video first.");
const QString multipleAudioText = QStringLiteral(
    "This app supports one audio stream. Retain or mix the desired audio in the stitched export.");
const QString formatText =
    QStringLiteral("The video changes format or has no readable format description. Export a "
                   "constant-format stitched source first.");
const QString noCursorText = QStringLiteral("Cannot inspect this video's exact frame timing. "
                                            "Export a constant-frame-rate MP4 or MOV first.");
const QString noFramesText = QStringLiteral("The source has no readable video frames.");
const QString timingText =
    QStringLiteral("The video has variable, incomplete, or ambiguous frame timing. Export a "
                   "constant-frame-rate stitched source first.");
const QString audioText =
    QStringLiteral("Cannot determine a constant audio channel count and sample rate. Export the "
                   "audio as a single standard track first.");

bool canProvideSampleCursors(const Track& track) {
    return track.hasSampleTable && track.timescale >= 1 &&
           track.timescale <= std::uint32_t(std::numeric_limits<std::int32_t>::max());
}

struct MeasuredTiming {
    MediaTime firstPresentationTime;
    MediaTime frameDuration;
    MediaTime duration;
};

// Every frame, in presentation order, must start exactly one frame duration after the one
// before and last exactly that long.
MeasuredTiming measureFrameTiming(const Movie& movie, const Track& video, std::stop_token stop) {
    if (!canProvideSampleCursors(video))
        throw ExportError(noCursorText);
    if (video.timing.sampleCount() == 0)
        throw ExportError(noFramesText);
    const auto frames = walkFrames(video, movie.timescale(), std::move(stop));
    if (!frames || frames->frameCount > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
        throw ExportError(timingText);
    MeasuredTiming timing;
    timing.firstPresentationTime = frames->firstPresentationTime;
    timing.frameDuration = reduced(frames->frameDuration);
    const auto total = multiplied(timing.frameDuration, std::int64_t(frames->frameCount));
    if (!timing.frameDuration.isExactNumeric() || timing.frameDuration.value < 1 || !total)
        throw ExportError(timingText);
    timing.duration = reduced(*total);
    return timing;
}

struct AudioFacts {
    std::int64_t channels = 0;
    std::int64_t sampleRate = 0;
};

// No decoder produces more channels or a higher rate; anything outside is a damaged description.
constexpr std::uint32_t mostChannels = 64;
constexpr double highestRate = 768000;

AudioFacts measureAudio(const Track& audio) {
    if (audio.formatCount != 1 || !audio.formats.front().audio)
        throw ExportError(audioText);
    const AudioStreamDescription& stream = *audio.formats.front().audio;
    const double rate = stream.sampleRate;
    if (stream.channelsPerFrame == 0 || stream.channelsPerFrame > mostChannels ||
        !std::isfinite(rate) || rate != std::trunc(rate) || rate < 1 || rate > highestRate)
        throw ExportError(audioText);
    return {std::int64_t(stream.channelsPerFrame), std::int64_t(rate)};
}

ExportMediaInfo inspectMovie(ByteSource& source, std::stop_token stop);

} // namespace

ExportMediaInfo inspect(const QUrl& url, std::stop_token stop) {
    if (!url.isLocalFile() || !FileNames::isAcceptedMovieExtension(FileNames::pathExtension(url)))
        throw ExportError(wrongFileText);
    FileByteSource source(url.toLocalFile());
    return inspect(source, std::move(stop));
}

ExportMediaInfo inspect(ByteSource& source, std::stop_token stop) {
    try {
        return inspectMovie(source, std::move(stop));
    } catch (const std::bad_alloc&) {
        throw MovieTooLargeError();
    }
}

namespace {

ExportMediaInfo inspectMovie(ByteSource& source, std::stop_token stop) {
    Movie movie = Movie::read(source, stop);
    const std::size_t videoTracks = movie.trackCount(MediaKind::video);
    if (videoTracks != 1)
        throw ExportError(QStringLiteral("Expected one stitched video stream; found %1. Stitch raw "
                                         "camera media first.")
                              .arg(qulonglong(videoTracks)));
    if (movie.trackCount(MediaKind::audio) > 1)
        throw ExportError(multipleAudioText);

    const Track& video = *movie.track(MediaKind::video);
    if (video.formatCount != 1 || !video.formats.front().dimensions)
        throw ExportError(formatText);
    const FormatDescription& format = video.formats.front();
    const VideoDimensions dimensions = *format.dimensions;
    if (dimensions.height < 1 || dimensions.width < 1 ||
        std::int64_t(dimensions.width) != 2 * std::int64_t(dimensions.height))
        throw ExportError(QStringLiteral("Expected a full monoscopic 2:1 equirectangular image; "
                                         "received %1 × %2.")
                              .arg(dimensions.width)
                              .arg(dimensions.height));

    const MeasuredTiming timing = measureFrameTiming(movie, video, stop);
    ExportMediaInfo info;
    info.width = dimensions.width;
    info.height = dimensions.height;
    info.frameDuration = timing.frameDuration;
    info.duration = timing.duration;
    info.sourceStart =
        inspectTimecode(movie, video, timing.frameDuration, timing.firstPresentationTime, stop);
    if (const Track* audioTrack = movie.track(MediaKind::audio)) {
        const AudioFacts audio = measureAudio(*audioTrack);
        info.channels = audio.channels;
        info.sampleRate = audio.sampleRate;
    }
    info.colorSpace = colorSpace(format);
    return info;
}

} // namespace

std::optional<QString> colorSpace(const FormatDescription& format) {
    const ColorCodePoints& color = format.color;
    if (!color.primaries || !color.transferFunction || !color.matrix)
        return std::nullopt;
    const auto is = [&](int primaries, int transfer, int matrix) {
        return *color.primaries == primaries && *color.transferFunction == transfer &&
               *color.matrix == matrix;
    };
    if (is(1, 1, 1))
        return QStringLiteral("1-1-1 (Rec. 709)");
    if (is(9, 18, 9))
        return QStringLiteral("9-18-9 (Rec. 2020 HLG)");
    if (is(9, 16, 9))
        return QStringLiteral("9-16-9 (Rec. 2020 PQ)");
    return std::nullopt;
}

} // namespace MediaInspector
