// Clips made by the ffmpeg program, checked against ffprobe and ffmpeg's own decoding of the same
// file as independent readings: frame times, trimmed files, and audio as the decoder produces it.
#include "SourceTestSupport.h"
#include "media/FrameWalk.h"
#include "media/Movie.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

using namespace MediaTest;

namespace {

QJsonObject firstStream(const QString& path, const char* type, const QString& entries) {
    const QJsonObject probed =
        QJsonDocument::fromJson(
            runTool("ffprobe", {"-v", "error", "-show_entries", entries, "-of", "json", path})
                .toUtf8())
            .object();
    for (const QJsonValue& stream : probed.value("streams").toArray())
        if (stream.toObject().value("codec_type").toString() == QLatin1String(type)) {
            QJsonObject found = stream.toObject();
            found.insert("packets", probed.value("packets"));
            return found;
        }
    return {};
}

ExportMediaInfo inspectFile(const QString& path) {
    return MediaInspector::inspect(QUrl::fromLocalFile(path));
}

// Every presented video time from ffprobe's packets must be ours: the first presented frame's
// time plus a whole number of frames, each frame lasting one frame duration. ffprobe's timecode
// label is the timecode of the first frame.
void checkFramesAgainstProbe(const QString& path) {
    const QJsonObject video = firstStream(
        path, "video",
        "stream=index,codec_type,time_base:stream_tags=timecode:packet=stream_index,pts,duration");
    const QStringList base = video.value("time_base").toString().split('/');
    std::vector<std::pair<std::int64_t, std::int64_t>> packets;
    for (const QJsonValue& value : video.value("packets").toArray())
        if (value.toObject().value("stream_index").toInt() == video.value("index").toInt())
            packets.emplace_back(value.toObject().value("pts").toInteger(),
                                 value.toObject().value("duration").toInteger());
    std::sort(packets.begin(), packets.end());
    FileByteSource source(path);
    const Movie movie = Movie::read(source);
    const auto frames = walkFrames(*movie.track(MediaKind::video), movie.timescale());
    ASSERT_TRUE(frames.has_value()) << path.toStdString();
    EXPECT_EQ(frames->frameCount, packets.size()) << path.toStdString();
    MediaTime expected = frames->firstPresentationTime;
    for (const auto& [pts, duration] : packets) {
        EXPECT_EQ(t(pts * base.value(0).toLongLong(), base.value(1).toInt()), expected) << pts;
        EXPECT_EQ(t(duration * base.value(0).toLongLong(), base.value(1).toInt()),
                  frames->frameDuration);
        expected = expected + frames->frameDuration;
    }
    const QString timecode = video.value("tags").toObject().value("timecode").toString();
    const ExportMediaInfo info = inspectFile(path);
    EXPECT_EQ(info.duration, reduced(*multiplied(frames->frameDuration, packets.size())));
    // ffprobe's label is the timecode at the timecode sample's time, 0; the start is the first
    // presented frame's.
    EXPECT_EQ(info.sourceStart,
              timecode.isEmpty()
                  ? MediaTime::zero()
                  : reduced(MediaInspector::parseTimecode(timecode, info.frameDuration) +
                            frames->firstPresentationTime));
}

QStringList video(const char* rate, const char* codec, const char* seconds = "1") {
    return {"-f",       "lavfi",   "-i",   QStringLiteral("testsrc2=size=64x32:rate=") + rate,
            "-f",       "lavfi",   "-i",   "sine=sample_rate=48000",
            "-t",       seconds,   "-c:v", codec,
            "-pix_fmt", "yuv420p", "-c:a", "aac"};
}

} // namespace

TEST(RealFiles, VideoTimingAndTimecodeAsFfprobeReadsThem) {
    const QStringList hevc{"-x265-params", "log-level=none:bframes=2", "-tag:v", "hvc1"};
    const QStringList rec709{"-color_primaries", "bt709", "-color_trc", "bt709",
                             "-colorspace",      "bt709"};
    const QStringList fragmented{"-g", "15", "-movflags", "frag_keyframe+empty_moov"};
    const std::pair<const char*, QStringList> clips[] = {
        {"h264.mp4", video("25", "libx264", "2") + QStringList{"-bf", "3", "-g", "12"}},
        {"hevc.mp4", video("25", "libx265") + hevc},
        {"ntsc.mp4", video("30000/1001", "libx264") + rec709},
        {"pal.mp4", video("25", "libx264") + QStringList{"-timecode", "01:00:00:00"}},
        {"df.mov", video("60000/1001", "libx264") + QStringList{"-timecode", "01:00:00;00"}},
        {"whole.mov", video("30000/1001", "libx264") + QStringList{"-timecode", "00:59:59;28"}},
        {"fragmented.mp4",
         video("30000/1001", "libx264") + fragmented + QStringList{"-timecode", "00:59:59;28"}},
        {"clip.mov", video("24000/1001", "libx264")}};
    for (const auto& [name, arguments] : clips)
        checkFramesAgainstProbe(clip(name, arguments));
    const ExportMediaInfo ntsc = inspectFile(clip("ntsc.mp4", {}));
    EXPECT_EQ(ntsc.colorSpace, "1-1-1 (Rec. 709)");
    EXPECT_EQ(ntsc.duration, t(1001, 1000));
    EXPECT_EQ(inspectFile(clip("df.mov", {})).sourceStart, t(8999991, 2500)); // 4 dropped a minute
    // Fragments read like the same movie in one piece, though presented two frames later: ffmpeg
    // writes no edit list there to hide the reordering delay.
    const ExportMediaInfo whole = inspectFile(clip("whole.mov", {}));
    const ExportMediaInfo pieces = inspectFile(clip("fragmented.mp4", {}));
    EXPECT_EQ(pieces.duration, whole.duration);
    EXPECT_EQ(pieces.sourceStart, whole.sourceStart + t(2002, 30000));
    EXPECT_EQ(pieces.channels, whole.channels);
}

// Files trimmed without re-encoding: what ffmpeg decodes from them is what is presented.
TEST(RealFiles, TrimmedFilesPresentWhatFfmpegDecodes) {
    const QString source =
        clip("source.mp4", video("30", "libx264", "4") +
                               QStringList{"-bf", "2", "-g", "30", "-timecode", "01:00:00:00"});
    const std::pair<QStringList, QString> trims[] = {
        {{"-ss", "1.5"}, "accepted"}, // on a frame, hiding the frames before it
        {{"-ss", "1"}, "accepted"},
        {{"-ss", "1.52"}, timingText}, // inside a frame
        // Cut in decoding order, which leaves out two B-frames before the last one copied.
        {{"-t", "2.5"}, timingText},
        {{"-ss", "0.5", "-t", "1.3"}, timingText}};
    for (const auto& [trim, expected] : trims) {
        const QString path =
            clip(trim.join('_') + ".mp4", trim + QStringList{"-i", source, "-c", "copy"});
        EXPECT_EQ(outcomeOf([&] { inspectFile(path); }), expected) << path.toStdString();
        if (expected != "accepted")
            continue;
        const QStringList decoded =
            runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v", "-f", "framecrc", "-"})
                .split('\n', Qt::SkipEmptyParts)
                .filter(QRegularExpression("^[^#]"));
        const ExportMediaInfo info = inspectFile(path);
        EXPECT_EQ(info.duration, reduced(*multiplied(info.frameDuration, decoded.size())));
        EXPECT_EQ(info.sourceStart,
                  MediaInspector::parseTimecode("01:00:00:00", info.frameDuration));
    }
}

TEST(RealFiles, AudioAsTheDecoderProducesIt) {
    const auto tone = [](const char* codec, const char* channels, const char* rate = "48000") {
        return QStringList{"-f",      "lavfi", "-i",   QStringLiteral("sine=sample_rate=") + rate,
                           "-f",      "lavfi", "-i",   "color=size=64x32:rate=25",
                           "-t",      "0.5",   "-c:v", "libx264",
                           "-c:a",    codec,   "-ac",  channels,
                           "-strict", "-2"};
    };
    const std::pair<const char*, QStringList> clips[] = {
        {"aac1.mp4", tone("aac", "1")},          {"aac2.mp4", tone("aac", "2")},
        {"aac4.mp4", tone("aac", "4")},          {"aac6.mp4", tone("aac", "6")},
        {"aac8.mp4", tone("aac", "8")},          {"aac1.mov", tone("aac", "1")},
        {"aac4.mov", tone("aac", "4")},          {"aac6.mov", tone("aac", "6")},
        {"aac8.mov", tone("aac", "8")},          {"aac96k.mp4", tone("aac", "2", "96000")},
        {"s16.mov", tone("pcm_s16le", "2")},     {"s24.mov", tone("pcm_s24le", "6")},
        {"f32.mov", tone("pcm_f32le", "1")},     {"f32-96k.mov", tone("pcm_f32be", "3", "96000")},
        {"alac.m4v", tone("alac", "6")},         {"opus.mp4", tone("libopus", "6", "24000")},
        {"ac3.mp4", tone("ac3", "6")},           {"eac3.mp4", tone("eac3", "1", "44100")},
        {"flac.mp4", tone("flac", "4", "96000")}};
    for (const auto& [name, arguments] : clips) {
        const QString path = clip(name, arguments);
        const QJsonObject audio =
            firstStream(path, "audio", "stream=codec_type,channels,sample_rate");
        const ExportMediaInfo info = inspectFile(path);
        EXPECT_EQ(info.channels, audio.value("channels").toInt()) << name;
        EXPECT_EQ(info.sampleRate, audio.value("sample_rate").toString().toLongLong()) << name;
    }
    // MPEG audio layer 3 keeps its channels in its frames, which are never read.
    EXPECT_EQ(outcomeOf([&] { inspectFile(clip("mp3.mp4", tone("libmp3lame", "1"))); }), audioText);
}
