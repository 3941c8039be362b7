#include "SourceTestSupport.h"

#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace MediaTest;

namespace {
MediaTime t(std::int64_t value, std::int32_t timescale) {
    return MediaTime::make(value, timescale);
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

TEST(MediaInspector, RefusesFilesByNameBeforeReadingThem) {
    const QString message = QStringLiteral(
        "Choose a stitched 360° MP4 or MOV. Export camera-original media as a full 360° video "
        "first.");
    for (const char* name : {"/nonexistent/clip.insv", "/nonexistent/clip.mkv", "/nonexistent/clip",
                             "/nonexistent/.mp4"}) {
        try {
            MediaInspector::inspect(QUrl::fromLocalFile(QString::fromUtf8(name)));
            ADD_FAILURE() << name;
        } catch (const ExportError& error) {
            EXPECT_EQ(error.message(), message) << name;
        }
    }
    EXPECT_THROW(MediaInspector::inspect(QUrl(QStringLiteral("https://example.com/a.mp4"))),
                 ExportError);

    // An accepted name in any case goes on to the file, whose absence is the system's error.
    try {
        MediaInspector::inspect(QUrl::fromLocalFile(QStringLiteral("/nonexistent/clip.MP4")));
        ADD_FAILURE();
    } catch (const std::system_error& error) {
        EXPECT_EQ(localizedDescription(error), QStringLiteral("No such file or directory"));
    }
}

TEST(MediaInspector, ReadsFilesOnDiskAndRejectsWhatIsNotAMovie) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString movie = dir.filePath(QStringLiteral("clip.mov"));
    ASSERT_TRUE(Mp4::writeMovieFile(equirectangularMovie(30), movie));
    EXPECT_EQ(MediaInspector::inspect(QUrl::fromLocalFile(movie)).duration, t(1001, 1000));

    const QString text = dir.filePath(QStringLiteral("notes.mp4"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("These are not the frames you are looking for.\n");
    file.close();
    try {
        MediaInspector::inspect(QUrl::fromLocalFile(text));
        ADD_FAILURE();
    } catch (const MessageError& error) {
        EXPECT_EQ(error.message(), QStringLiteral("This file could not be read as a movie; it "
                                                  "may be damaged or incomplete."));
    }
    const QString folder = dir.filePath(QStringLiteral("folder.mp4"));
    ASSERT_TRUE(QDir().mkdir(folder));
    try {
        MediaInspector::inspect(QUrl::fromLocalFile(folder));
        ADD_FAILURE();
    } catch (const std::system_error& error) {
        EXPECT_EQ(localizedDescription(error), QStringLiteral("Is a directory"));
    }
}

TEST(MediaInspector, CountsVideoAndAudioTracksFirst) {
    Mp4::MoviePlan none;
    none.tracks.push_back(Mp4::audioTrack(2, 48000));
    EXPECT_EQ(refusalOf(none), QStringLiteral("Expected one stitched video stream; found 0. "
                                              "Stitch raw camera media first."));

    Mp4::MoviePlan two = equirectangularMovie();
    two.tracks.push_back(Mp4::videoTrack(3840, 1920, 10));
    EXPECT_EQ(refusalOf(two), QStringLiteral("Expected one stitched video stream; found 2. "
                                             "Stitch raw camera media first."));

    // Two audio tracks are refused before any timing is read: the video here is irregular.
    Mp4::MoviePlan audio = equirectangularMovie();
    audio.tracks[0].durations = {{10, 1001}, {1, 1000}};
    audio.tracks.push_back(Mp4::audioTrack(2, 48000));
    audio.tracks.push_back(Mp4::audioTrack(1, 48000));
    EXPECT_EQ(refusalOf(audio), QStringLiteral("This app supports one audio stream. Retain or mix "
                                               "the desired audio in the stitched export."));
}

TEST(MediaInspector, RequiresOneFormatOfExactlyTwoToOne) {
    const QString formatText =
        QStringLiteral("The video changes format or has no readable format description. Export "
                       "a constant-format stitched source first.");
    Mp4::MoviePlan changing = equirectangularMovie(4);
    changing.tracks[0].sampleEntries.push_back(Mp4::visualEntry("avc1", 3840, 1920));
    changing.tracks[0].descriptionIndex = {1, 1, 2, 2};
    EXPECT_EQ(refusalOf(changing), formatText);

    Mp4::MoviePlan none = equirectangularMovie(4);
    none.tracks[0].sampleEntries.clear();
    EXPECT_EQ(refusalOf(none), formatText);

    Mp4::MoviePlan truncatedEntry = equirectangularMovie(4);
    truncatedEntry.tracks[0].sampleEntries = {Mp4::box("avc1", QByteArray(20, '\0'))};
    EXPECT_EQ(refusalOf(truncatedEntry), formatText);

    Mp4::MoviePlan tall = equirectangularMovie();
    tall.tracks[0].sampleEntries = {Mp4::visualEntry("hvc1", 5760, 2881)};
    EXPECT_EQ(refusalOf(tall), QStringLiteral("Expected a full monoscopic 2:1 equirectangular "
                                              "image; received 5760 × 2881."));
    Mp4::MoviePlan empty = equirectangularMovie();
    empty.tracks[0].sampleEntries = {Mp4::visualEntry("hvc1", 0, 0)};
    EXPECT_EQ(refusalOf(empty), QStringLiteral("Expected a full monoscopic 2:1 equirectangular "
                                               "image; received 0 × 0."));
}

TEST(MediaInspector, ReportsTracksWithoutUsableTimingOrFrames) {
    Mp4::MoviePlan noTimescale = equirectangularMovie();
    noTimescale.tracks[0].timescale = 0;
    EXPECT_EQ(refusalOf(noTimescale),
              QStringLiteral("Cannot inspect this video's exact frame timing. Export a "
                             "constant-frame-rate MP4 or MOV first."));
    Mp4::MoviePlan hugeTimescale = equirectangularMovie();
    hugeTimescale.tracks[0].timescale = 0x80000000u;
    EXPECT_EQ(refusalOf(hugeTimescale), refusalOf(noTimescale));

    Mp4::MoviePlan empty = equirectangularMovie(0);
    EXPECT_EQ(refusalOf(empty), QStringLiteral("The source has no readable video frames."));
}

TEST(MediaInspector, FindsAnyFrameOffByOneTick) {
    // The odd frame at the start, in the middle and at the end; as a duration or as a time.
    for (std::uint32_t at : {0u, 1u, 150u, 298u, 299u}) {
        Mp4::MoviePlan plan = equirectangularMovie(300);
        plan.tracks[0].durations.clear();
        if (at > 0)
            plan.tracks[0].durations.push_back({at, 1001});
        plan.tracks[0].durations.push_back({1, 1002});
        if (at < 299)
            plan.tracks[0].durations.push_back({299 - at, 1001});
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

    // The same order but one B-frame lands on an occupied time: a gap and a collision.
    plan.tracks[0].compositionOffsets[5] = {1, 0};
    EXPECT_EQ(refusalOf(plan), timingText);
    plan.tracks[0].compositionOffsets[5] = {1, -1000};
    EXPECT_EQ(refusalOf(plan), timingText);
}

TEST(MediaInspector, PlacesFramesByTheEditList) {
    // Composition offsets of two frames, and an edit list that starts the media there.
    Mp4::MoviePlan plan = equirectangularMovie(3);
    plan.tracks[0].compositionOffsets = {{3, 2002}};
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002, 1, 0}};
    EXPECT_EQ(inspectMovie(plan).duration, t(3003, 30000));

    // A leading empty edit moves the track later: P0 = 1/2 s, so the first frame is half a
    // second into a timecode that reads 30 frames at time 0.
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{500, -1, 1, 0}, {100, 2002, 1, 0}};
    plan.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 30));
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(1501, 1000));

    Mp4::MoviePlan twoSegments = equirectangularMovie(4);
    twoSegments.tracks[0].edits = std::vector<Mp4::Edit>{{33, 0, 1, 0}, {33, 2002, 1, 0}};
    EXPECT_EQ(refusalOf(twoSegments), timingText);
    Mp4::MoviePlan slow = equirectangularMovie(4);
    slow.tracks[0].edits = std::vector<Mp4::Edit>{{33, 0, 2, 0}};
    EXPECT_EQ(refusalOf(slow), timingText);
}

TEST(MediaInspector, MeasuresTheAudioTrack) {
    const QString audioText =
        QStringLiteral("Cannot determine a constant audio channel count and sample rate. Export "
                       "the audio as a single standard track first.");
    for (int version : {0, 1, 2}) {
        Mp4::MoviePlan plan = equirectangularMovie();
        plan.tracks.push_back(Mp4::audioTrack(2, 44100));
        plan.tracks[1].sampleEntries = {Mp4::audioEntry(6, 44100, version, "lpcm")};
        const ExportMediaInfo info = inspectMovie(plan);
        EXPECT_EQ(info.channels, 6) << version;
        EXPECT_EQ(info.sampleRate, 44100) << version;
    }
    // 16.16 fixed point and QuickTime's double both carry half a hertz.
    for (int version : {0, 2}) {
        Mp4::MoviePlan plan = equirectangularMovie();
        plan.tracks.push_back(Mp4::audioTrack(2, 44100));
        plan.tracks[1].sampleEntries = {Mp4::audioEntry(2, 44100.5, version)};
        EXPECT_EQ(refusalOf(plan), audioText) << version;
    }
    Mp4::MoviePlan silent = equirectangularMovie();
    silent.tracks.push_back(Mp4::audioTrack(0, 48000));
    EXPECT_EQ(refusalOf(silent), audioText);
    Mp4::MoviePlan twoFormats = equirectangularMovie();
    twoFormats.tracks.push_back(Mp4::audioTrack(2, 48000));
    twoFormats.tracks[1].sampleEntries.push_back(Mp4::audioEntry(1, 48000));
    EXPECT_EQ(refusalOf(twoFormats), audioText);
    Mp4::MoviePlan shortEntry = equirectangularMovie();
    shortEntry.tracks.push_back(Mp4::audioTrack(2, 48000));
    shortEntry.tracks[1].sampleEntries = {Mp4::box("mp4a", QByteArray(12, '\0'))};
    EXPECT_EQ(refusalOf(shortEntry), audioText);
}

TEST(MediaInspector, LabelsOnlyTheThreeKnownColourSpaces) {
    struct Case {
        const char* kind;
        int primaries, transfer, matrix;
        std::optional<QString> label;
    };
    const Case cases[] = {
        {"nclx", 1, 1, 1, QStringLiteral("1-1-1 (Rec. 709)")},
        {"nclc", 1, 1, 1, QStringLiteral("1-1-1 (Rec. 709)")},
        {"nclx", 9, 18, 9, QStringLiteral("9-18-9 (Rec. 2020 HLG)")},
        {"nclx", 9, 16, 9, QStringLiteral("9-16-9 (Rec. 2020 PQ)")},
        {"nclx", 9, 1, 9, std::nullopt},
        {"nclx", 1, 1, 2, std::nullopt}, // Rec. 709 without a matrix
        {"nclx", 12, 16, 9, std::nullopt},
        {"prof", 1, 1, 1, std::nullopt},
    };
    for (const Case& c : cases) {
        Mp4::MoviePlan plan = equirectangularMovie(2);
        plan.tracks[0].sampleEntries = {
            Mp4::visualEntry("avc1", 5760, 2880,
                             Mp4::colorBox(c.kind, std::uint16_t(c.primaries),
                                           std::uint16_t(c.transfer), std::uint16_t(c.matrix)))};
        EXPECT_EQ(inspectMovie(plan).colorSpace, c.label)
            << c.kind << c.primaries << c.transfer << c.matrix;
    }
    FormatDescription format;
    format.color.primaries = 1;
    format.color.transferFunction = 1;
    EXPECT_FALSE(MediaInspector::colorSpace(format));
    format.color.matrix = 1;
    EXPECT_EQ(MediaInspector::colorSpace(format), QStringLiteral("1-1-1 (Rec. 709)"));
}

TEST(MediaInspector, StopsWhenCancelled) {
    std::stop_source stop;
    stop.request_stop();
    const QByteArray bytes = Mp4::writeMovie(equirectangularMovie(10));
    MemoryByteSource source(bytes);
    EXPECT_THROW(MediaInspector::inspect(source, stop.get_token()), CancellationError);
}
