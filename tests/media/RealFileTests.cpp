// Clips made by the ffmpeg program, checked against ffprobe's packet list as an independent
// reading of the same file.
#include "ClipTools.h"
#include "SourceTestSupport.h"
#include "media/Movie.h"
#include "media/PresentationCursor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>

using namespace MediaTest;

namespace {

struct ProbedVideo {
    MediaTime timeBase;
    std::vector<std::int64_t> presentationTimes; // sorted, in time-base units
    std::vector<std::int64_t> durations;
    QString timecode;
    std::int64_t channels = 0;
    std::int64_t sampleRate = 0;
};

ProbedVideo probe(const QString& path) {
    const QJsonObject root =
        QJsonDocument::fromJson(
            runTool(QStringLiteral("ffprobe"),
                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                     QStringLiteral("stream=index,codec_type,time_base,channels,sample_rate:"
                                    "stream_tags=timecode:packet=stream_index,pts,duration"),
                     QStringLiteral("-of"), QStringLiteral("json"), path})
                .toUtf8())
            .object();
    ProbedVideo probed;
    int videoIndex = -1;
    for (const QJsonValue& value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QStringLiteral("codec_type")).toString();
        if (type == QLatin1String("video") && videoIndex < 0) {
            videoIndex = stream.value(QStringLiteral("index")).toInt();
            const QStringList base =
                stream.value(QStringLiteral("time_base")).toString().split(QLatin1Char('/'));
            probed.timeBase = MediaTime::make(base.value(0).toLongLong(), base.value(1).toInt());
            probed.timecode = stream.value(QStringLiteral("tags"))
                                  .toObject()
                                  .value(QStringLiteral("timecode"))
                                  .toString();
        } else if (type == QLatin1String("audio") && probed.channels == 0) {
            probed.channels = stream.value(QStringLiteral("channels")).toInt();
            probed.sampleRate = stream.value(QStringLiteral("sample_rate")).toString().toLongLong();
        }
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> rows;
    for (const QJsonValue& value : root.value(QStringLiteral("packets")).toArray()) {
        const QJsonObject packet = value.toObject();
        if (packet.value(QStringLiteral("stream_index")).toInt() == videoIndex)
            rows.emplace_back(std::int64_t(packet.value(QStringLiteral("pts")).toDouble()),
                              std::int64_t(packet.value(QStringLiteral("duration")).toDouble()));
    }
    std::sort(rows.begin(), rows.end());
    for (const auto& [pts, duration] : rows) {
        probed.presentationTimes.push_back(pts);
        probed.durations.push_back(duration);
    }
    return probed;
}

MediaTime inBase(const ProbedVideo& probed, std::int64_t value) {
    return MediaTime::make(value * probed.timeBase.value, probed.timeBase.timescale);
}

// Inspects the clip and checks every fact ffprobe can confirm; returns the inspection.
ExportMediaInfo inspectAgainstProbe(const QString& path) {
    const ProbedVideo probed = probe(path);
    EXPECT_FALSE(probed.presentationTimes.empty());
    if (probed.presentationTimes.empty())
        return {};
    const ExportMediaInfo info = MediaInspector::inspect(QUrl::fromLocalFile(path));

    // Every presented time, in order, from our cursor and from ffprobe.
    FileByteSource source(path);
    const Movie movie = Movie::read(source);
    auto cursor = PresentationCursor::atFirstPresentedSample(*movie.tracks(MediaKind::video)[0],
                                                             movie.timescale());
    EXPECT_TRUE(cursor.has_value());
    for (std::size_t i = 0; cursor && i < probed.presentationTimes.size(); ++i) {
        EXPECT_EQ(cursor->presentationTime(), inBase(probed, probed.presentationTimes[i])) << i;
        EXPECT_EQ(cursor->duration(), inBase(probed, probed.durations[i])) << i;
        EXPECT_EQ(cursor->stepForward(), i + 1 < probed.presentationTimes.size()) << i;
    }

    const auto count = std::int64_t(probed.presentationTimes.size());
    const MediaTime frame = reduced(inBase(probed, probed.durations.front()));
    EXPECT_EQ(info.frameDuration, frame);
    EXPECT_EQ(info.frameDuration.timescale, frame.timescale); // reduced the same way
    EXPECT_EQ(info.duration, reduced(*multiplied(frame, count)));
    EXPECT_EQ(info.channels, probed.channels);
    EXPECT_EQ(info.sampleRate, probed.sampleRate);
    // ffprobe's label is the timecode of the first frame ffmpeg wrote, presented first here.
    if (!probed.timecode.isEmpty()) {
        EXPECT_EQ(info.sourceStart, MediaInspector::parseTimecode(probed.timecode, frame));
    }
    return info;
}

QStringList video(const char* rate, const char* codec, const char* duration = "2") {
    return {QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("testsrc2=size=128x64:rate=") + QLatin1String(rate),
            QStringLiteral("-t"),
            QLatin1String(duration),
            QStringLiteral("-c:v"),
            QLatin1String(codec),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p")};
}

QStringList withTone(const QStringList& arguments, const char* codec) {
    return QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=440:sample_rate=48000")} +
           arguments +
           QStringList{QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                       QLatin1String(codec), QStringLiteral("-shortest")};
}

class RealFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QDir folder() const { return QDir(dir.path()); }
};

} // namespace

TEST_F(RealFiles, H264WithBFrames) {
    const QString path =
        makeClip(folder(), QStringLiteral("h264.mp4"),
                 video("25", "libx264") + QStringList{QStringLiteral("-bf"), QStringLiteral("3"),
                                                      QStringLiteral("-g"), QStringLiteral("12")});
    const ExportMediaInfo info = inspectAgainstProbe(path);
    EXPECT_EQ(info.width, 128);
    EXPECT_EQ(info.height, 64);
    EXPECT_EQ(info.duration, MediaTime::make(2, 1));
    EXPECT_EQ(info.sourceStart, MediaTime::zero());
}

TEST_F(RealFiles, Hevc) {
    const QString path = makeClip(
        folder(), QStringLiteral("hevc.mp4"),
        video("25", "libx265", "1") +
            QStringList{QStringLiteral("-x265-params"), QStringLiteral("log-level=none:bframes=2"),
                        QStringLiteral("-tag:v"), QStringLiteral("hvc1")});
    EXPECT_EQ(inspectAgainstProbe(path).duration, MediaTime::make(1, 1));
}

TEST_F(RealFiles, NtscWithAacAndRec709) {
    const QString path =
        makeClip(folder(), QStringLiteral("ntsc.mp4"),
                 withTone(video("30000/1001", "libx264"), "aac") +
                     QStringList{QStringLiteral("-color_primaries"), QStringLiteral("bt709"),
                                 QStringLiteral("-color_trc"), QStringLiteral("bt709"),
                                 QStringLiteral("-colorspace"), QStringLiteral("bt709")});
    const ExportMediaInfo info = inspectAgainstProbe(path);
    EXPECT_EQ(info.frameDuration, MediaTime::make(1001, 30000));
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.colorSpace, QStringLiteral("1-1-1 (Rec. 709)"));
}

TEST_F(RealFiles, PalTimecodeTrack) {
    const QString path =
        makeClip(folder(), QStringLiteral("pal.mp4"),
                 video("25", "libx264") +
                     QStringList{QStringLiteral("-timecode"), QStringLiteral("01:00:00:00")});
    EXPECT_EQ(inspectAgainstProbe(path).sourceStart, MediaTime::make(3600, 1));
}

TEST_F(RealFiles, DropFrameTimecodeAt5994) {
    const QString path =
        makeClip(folder(), QStringLiteral("df.mov"),
                 video("60000/1001", "libx264", "1") +
                     QStringList{QStringLiteral("-timecode"), QStringLiteral("01:00:00;00")});
    // 215784 frames of 1001/60000: what "01:00:00;00" names with four labels dropped a minute.
    EXPECT_EQ(inspectAgainstProbe(path).sourceStart,
              reduced(MediaTime::make(215784 * 1001, 60000)));
}

TEST_F(RealFiles, FragmentedMp4) {
    const QString path = makeClip(folder(), QStringLiteral("fragmented.mp4"),
                                  withTone(video("30000/1001", "libx264"), "aac") +
                                      QStringList{QStringLiteral("-g"), QStringLiteral("15"),
                                                  QStringLiteral("-movflags"),
                                                  QStringLiteral("frag_keyframe+empty_moov")});
    const ExportMediaInfo info = inspectAgainstProbe(path);
    EXPECT_EQ(info.duration, MediaTime::make(1001 * 60, 30000));
}

TEST_F(RealFiles, QuickTimeMovieWithPcm) {
    const QString path = makeClip(folder(), QStringLiteral("clip.mov"),
                                  withTone(video("24000/1001", "libx264"), "pcm_s16le"));
    const ExportMediaInfo info = inspectAgainstProbe(path);
    EXPECT_EQ(info.frameDuration, MediaTime::make(1001, 24000));
    EXPECT_EQ(info.sampleRate, 48000);
}
