// Clips made by ffmpeg, checked against ffprobe's and ffmpeg's own independent readings.
#include "SourceTestSupport.h"
#include "media/FrameWalk.h"
#include "media/Movie.h"

#include <QRegularExpression>
#include <QUrl>

using namespace MediaTest;

namespace {

// ffprobe's fields of the first stream of a kind ("v:0", "a:0"), a line per stream or packet.
QStringList probe(const QString& path, const char* stream, const char* entries) {
    return Clips::run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries",
                                  entries, "-of", "csv=p=0", path})
        .split('\n', Qt::SkipEmptyParts);
}

ExportMediaInfo inspectFile(const QString& path) {
    return MediaInspector::inspect(QUrl::fromLocalFile(path));
}

// Every presented time from ffprobe's packets must be ours: the first presented frame's time plus
// a whole number of frames, each lasting one frame duration.
void checkFramesAgainstProbe(const QString& path) {
    const QStringList stream = probe(path, "v:0", "stream=time_base:stream_tags=timecode")
                                   .value(0)
                                   .split(QRegularExpression("[/,]"));
    const auto inBase = [&](const QString& ticks) {
        return t(ticks.toLongLong() * stream.value(0).toLongLong(), stream.value(1).toInt());
    };
    std::vector<std::pair<MediaTime, MediaTime>> packets;
    for (const QString& packet : probe(path, "v:0", "packet=pts,duration"))
        packets.emplace_back(inBase(packet.section(',', 0, 0)), inBase(packet.section(',', 1)));
    std::sort(packets.begin(), packets.end());
    FileByteSource source(path);
    const Movie movie = Movie::read(source);
    const auto frames = walkFrames(*movie.track(MediaKind::video), movie.timescale());
    ASSERT_TRUE(frames.has_value()) << path.toStdString();
    EXPECT_EQ(frames->frameCount, packets.size()) << path.toStdString();
    MediaTime expected = frames->firstPresentationTime;
    for (const auto& [time, duration] : packets) {
        EXPECT_EQ(time, expected) << path.toStdString();
        EXPECT_EQ(duration, frames->frameDuration);
        expected = expected + frames->frameDuration;
    }
    const QString timecode = stream.value(2);
    const ExportMediaInfo info = inspectFile(path);
    EXPECT_EQ(info.duration, reduced(*multiplied(frames->frameDuration, packets.size())));
    // ffprobe's label is the timecode at time 0, where the timecode sample is.
    EXPECT_EQ(info.sourceStart,
              timecode.isEmpty()
                  ? MediaTime::zero()
                  : reduced(MediaInspector::parseTimecode(timecode, info.frameDuration) +
                            frames->firstPresentationTime));
}

QStringList video(const char* rate, const char* codec, const char* seconds = "1") {
    return args(QStringLiteral("-f lavfi -i testsrc2=size=64x32:rate=%1 -f lavfi -i "
                               "sine=sample_rate=48000 -t %2 -c:v %3 -pix_fmt yuv420p -c:a aac")
                    .arg(rate, seconds, codec));
}

} // namespace

TEST(RealFiles, VideoTimingAndTimecodeAsFfprobeReadsThem) {
    const QString timecode = " -timecode 00:59:59;28";
    const std::tuple<const char*, const char*, const char*, QString> clips[] = {
        {"h264.mp4", "25", "libx264", "-bf 3 -g 12"},
        {"hevc.mp4", "25", "libx265", "-x265-params log-level=none:bframes=2 -tag:v hvc1"},
        {"ntsc.mp4", "30000/1001", "libx264",
         "-color_primaries bt709 -color_trc bt709 -colorspace bt709"},
        {"pal.mp4", "25", "libx264", "-timecode 01:00:00:00"},
        {"df.mov", "60000/1001", "libx264", "-timecode 01:00:00;00"},
        {"whole.mov", "30000/1001", "libx264", timecode},
        {"fragmented.mp4", "30000/1001", "libx264",
         "-g 15 -movflags frag_keyframe+empty_moov" + timecode},
        {"clip.mov", "24000/1001", "libx264", ""}};
    for (const auto& [name, rate, codec, options] : clips)
        checkFramesAgainstProbe(clip(name, video(rate, codec) + args(options)));
    const ExportMediaInfo ntsc = inspectFile(clip("ntsc.mp4", {}));
    EXPECT_EQ(ntsc.colorSpace, "1-1-1 (Rec. 709)");
    EXPECT_EQ(ntsc.duration, t(1001, 1000));
    EXPECT_EQ(inspectFile(clip("df.mov", {})).sourceStart, t(8999991, 2500)); // 4 dropped a minute
}

// Files trimmed without re-encoding: what ffmpeg decodes from them is what is presented.
TEST(RealFiles, TrimmedFilesPresentWhatFfmpegDecodes) {
    const QString source =
        clip("source.mp4", video("30", "libx264", "4") + args("-bf 2 -g 30 -timecode 01:00:00:00"));
    const std::pair<QStringList, QString> trims[] = {
        {{"-ss", "1.5"}, "no error"}, // on a frame, hiding the frames before it
        {{"-ss", "1"}, "no error"},
        {{"-ss", "1.52"}, timingText}, // inside a frame
        // Cut in decoding order, which leaves out two B-frames before the last one copied.
        {{"-t", "2.5"}, timingText},
        {{"-ss", "0.5", "-t", "1.3"}, timingText}};
    for (const auto& [trim, expected] : trims) {
        const QString path =
            clip(trim.join('_') + ".mp4", trim + QStringList{"-i", source, "-c", "copy"});
        EXPECT_EQ(messageOf([&] { inspectFile(path); }), expected) << path.toStdString();
        if (expected != "no error")
            continue;
        const QStringList decoded =
            Clips::run("ffmpeg", args("-v error -i " + path + " -map 0:v -f framecrc -"))
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
        return args(QStringLiteral("-f lavfi -i sine=sample_rate=%1 -f lavfi -i "
                                   "color=size=64x32:rate=25 -t 0.5 -c:v libx264 -c:a %2 -ac %3 "
                                   "-strict -2")
                        .arg(rate, codec, channels));
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
        const ExportMediaInfo info = inspectFile(path);
        EXPECT_EQ(QStringLiteral("%1,%2").arg(info.sampleRate).arg(info.channels),
                  probe(path, "a:0", "stream=sample_rate,channels").value(0).section(',', 0, 1))
            << name;
    }
    // MPEG audio layer 3 keeps its channels in its frames, which are never read.
    EXPECT_EQ(messageOf([&] { inspectFile(clip("mp3.mp4", tone("libmp3lame", "1"))); }), audioText);
}
