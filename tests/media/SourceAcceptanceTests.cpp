// The inspector's rules on synthetic movies: names, tracks, formats, frame timing, colour.
#include "SourceTestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace MediaTest;

namespace {
QString inspectionOf(const QString& path) {
    try {
        MediaInspector::inspect(QUrl::fromLocalFile(path));
        return QStringLiteral("accepted");
    } catch (const std::exception& error) {
        return localizedDescription(error);
    }
}
} // namespace

TEST(MediaInspector, MeasuresAConstantRateSource) {
    const ExportMediaInfo info = inspectMovie(equirectangularMovie(300));
    EXPECT_EQ(info.width, 5760);
    EXPECT_EQ(info.height, 2880);
    EXPECT_EQ(info.frameDuration.value, 1001);
    EXPECT_EQ(info.frameDuration.timescale, 30000);
    // Counted in frames and reduced: 300 × 1001/30000 = 1001/100.
    EXPECT_EQ(info.duration.value, 1001);
    EXPECT_EQ(info.duration.timescale, 100);
    EXPECT_EQ(info.sourceStart, MediaTime::zero());
    EXPECT_EQ(info.channels, 0);
    EXPECT_EQ(info.sampleRate, 0);
    EXPECT_FALSE(info.colorSpace);
}

TEST(MediaInspector, RefusesFilesByNameAndNamesThoseItCannotOpen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString wrongFile = QStringLiteral("Choose a stitched 360° MP4 or MOV. Export "
                                             "camera-original media as a full 360° video first.");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.mp4"))), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(dir.filePath(QStringLiteral("folder.mov"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("dev.m4v"))));
    QFile text(dir.filePath(QStringLiteral("notes.mp4")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("Not a movie.\n") > 0);
    text.close();
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("/nonexistent/clip.insv"), wrongFile},
        {QStringLiteral("/nonexistent/clip.mkv"), wrongFile},
        {QStringLiteral("/nonexistent/clip"), wrongFile},
        {QStringLiteral("/nonexistent/.mp4"), wrongFile},
        {QStringLiteral("/nonexistent/clip.MP4"),
         QStringLiteral("The file “clip.MP4” couldn’t be opened because there is no such file.")},
        {dir.filePath(QStringLiteral("pipe.mp4")),
         QStringLiteral("The file “pipe.mp4” is not a movie file.")},
        {dir.filePath(QStringLiteral("folder.mov")),
         QStringLiteral("The file “folder.mov” is not a movie file.")},
        {dir.filePath(QStringLiteral("dev.m4v")),
         QStringLiteral("The file “dev.m4v” is not a movie file.")},
        {dir.filePath(QStringLiteral("notes.mp4")), damagedText},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(inspectionOf(path), expected) << path.toStdString();
    EXPECT_THROW(MediaInspector::inspect(QUrl(QStringLiteral("https://example.com/a.mp4"))),
                 ExportError);

    // A name that is not UTF-8 reaches the file through the same encoding that named it.
    const QString odd = dir.filePath(QFile::decodeName("clip-\xFF\xFE.mov"));
    ASSERT_TRUE(Mp4::writeMovieFile(equirectangularMovie(30), odd));
    EXPECT_EQ(MediaInspector::inspect(QUrl::fromLocalFile(odd)).duration, t(1001, 1000));
}

TEST(MediaInspector, CountsVideoAndAudioTracksFirst) {
    Mp4::MoviePlan none;
    none.tracks.push_back(Mp4::audioTrack());
    EXPECT_EQ(refusalOf(none), QStringLiteral("Expected one stitched video stream; found 0. "
                                              "Stitch raw camera media first."));
    Mp4::MoviePlan three = equirectangularMovie();
    three.tracks.push_back(Mp4::videoTrack(3840, 1920, 10));
    three.tracks.push_back(Mp4::videoTrack(3840, 1920, 0));
    EXPECT_EQ(refusalOf(three), QStringLiteral("Expected one stitched video stream; found 3. "
                                               "Stitch raw camera media first."));
    // Two audio tracks are refused before any timing is read: the video here is irregular.
    Mp4::MoviePlan audio = equirectangularMovie();
    audio.tracks[0].durations = {{10, 1001}, {1, 1000}};
    audio.tracks.push_back(Mp4::audioTrack());
    audio.tracks.push_back(Mp4::audioTrack(1));
    EXPECT_EQ(refusalOf(audio), QStringLiteral("This app supports one audio stream. Retain or mix "
                                               "the desired audio in the stitched export."));
}

TEST(MediaInspector, RequiresOneFormatOfExactlyTwoToOne) {
    const QString formatText =
        QStringLiteral("The video changes format or has no readable format description. Export "
                       "a constant-format stitched source first.");
    const std::pair<std::vector<QByteArray>, QString> cases[] = {
        {{Mp4::visualEntry("avc1", 5760, 2880), Mp4::visualEntry("avc1", 3840, 1920)}, formatText},
        {{}, formatText},
        {{Mp4::box("avc1", QByteArray(20, '\0'))}, formatText},
        {{Mp4::visualEntry("hvc1", 5760, 2881)},
         QStringLiteral("Expected a full monoscopic 2:1 equirectangular image; received 5760 × "
                        "2881.")},
        {{Mp4::visualEntry("hvc1", 0, 0)},
         QStringLiteral("Expected a full monoscopic 2:1 equirectangular image; received 0 × 0.")},
    };
    for (const auto& [entries, expected] : cases) {
        Mp4::MoviePlan plan = equirectangularMovie(4);
        plan.tracks[0].sampleEntries = entries;
        EXPECT_EQ(refusalOf(plan), expected) << entries.size();
    }
}

TEST(MediaInspector, ReportsTracksWithoutUsableTimingOrFrames) {
    const QString noCursor = QStringLiteral("Cannot inspect this video's exact frame timing. "
                                            "Export a constant-frame-rate MP4 or MOV first.");
    for (std::uint32_t timescale : {0u, 0x80000000u}) {
        Mp4::MoviePlan plan = equirectangularMovie();
        plan.tracks[0].timescale = timescale;
        EXPECT_EQ(refusalOf(plan), noCursor) << timescale;
    }
    EXPECT_EQ(refusalOf(equirectangularMovie(0)),
              QStringLiteral("The source has no readable video frames."));
}

TEST(MediaInspector, FindsAnyFrameOffByOneTick) {
    // The odd frame at the start, in the middle and at the end; as a duration or as a time.
    for (std::uint32_t at : {0u, 1u, 150u, 298u, 299u}) {
        Mp4::MoviePlan plan = equirectangularMovie(300);
        plan.tracks[0].durations = {{at, 1001}, {1, 1002}, {299 - at, 1001}};
        EXPECT_EQ(refusalOf(plan), timingText) << "duration at " << at;
        Mp4::MoviePlan shifted = equirectangularMovie(300);
        shifted.tracks[0].compositionOffsets = {{at, 0}, {1, 1}, {299 - at, 0}};
        EXPECT_EQ(refusalOf(shifted), timingText) << "time at " << at;
    }
    Mp4::MoviePlan zero = equirectangularMovie(3);
    zero.tracks[0].durations = {{3, 0}};
    EXPECT_EQ(refusalOf(zero), timingText);
}

TEST(MediaInspector, WalksReorderedFramesFromTheFirstPresented) {
    // Presented as decode indices 2 0 3 1 5 4 6: the first decoded frame is shown second.
    Mp4::MoviePlan plan = equirectangularMovie(7);
    plan.tracks[0].compositionOffsets = {{1, 1001}, {1, 2002},  {1, -2002}, {1, -1001},
                                         {1, 1001}, {1, -1001}, {1, 0}};
    const ExportMediaInfo info = inspectMovie(plan);
    EXPECT_EQ(info.frameDuration, t(1001, 30000));
    EXPECT_EQ(info.duration, t(7007, 30000));
    // One B-frame lands on an occupied time (a repeat and a gap), or between two frames.
    for (std::int32_t offset : {0, -1000, -3003}) {
        plan.tracks[0].compositionOffsets[5] = {1, offset};
        EXPECT_EQ(refusalOf(plan), timingText) << offset;
    }
}

TEST(MediaInspector, LabelsOnlyTheThreeKnownColourSpaces) {
    struct Case {
        const char* kind;
        std::uint16_t primaries, transfer, matrix;
        std::optional<QString> label;
    };
    const Case cases[] = {
        {"nclx", 1, 1, 1, QStringLiteral("1-1-1 (Rec. 709)")},
        {"nclc", 1, 1, 1, QStringLiteral("1-1-1 (Rec. 709)")},
        {"nclx", 9, 18, 9, QStringLiteral("9-18-9 (Rec. 2020 HLG)")},
        {"nclx", 9, 16, 9, QStringLiteral("9-16-9 (Rec. 2020 PQ)")},
        {"nclx", 9, 1, 9, std::nullopt},
        {"nclx", 1, 1, 2, std::nullopt},
        {"nclx", 12, 16, 9, std::nullopt},
        {"prof", 1, 1, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        Mp4::MoviePlan plan = equirectangularMovie(2);
        plan.tracks[0].sampleEntries = {Mp4::visualEntry(
            "avc1", 5760, 2880, Mp4::colorBox(c.kind, c.primaries, c.transfer, c.matrix))};
        EXPECT_EQ(inspectMovie(plan).colorSpace, c.label) << c.kind << c.primaries << c.matrix;
    }
    FormatDescription format; // a matrix that is not stated is no Rec. 709 matrix
    format.color.primaries = format.color.transferFunction = 1;
    EXPECT_FALSE(MediaInspector::colorSpace(format));
}

TEST(MediaInspector, StopsWhenCancelled) {
    std::stop_source stop;
    stop.request_stop();
    const QByteArray bytes = Mp4::writeMovie(equirectangularMovie(10));
    MemoryByteSource source(bytes);
    EXPECT_THROW(MediaInspector::inspect(source, stop.get_token()), CancellationError);
}
