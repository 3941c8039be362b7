// The inspector's rules on synthetic movies: names, tracks, formats, frame timing, edit lists,
// colour, audio wherever a format keeps its facts; box sizes, and what the reader reads.
#include "SourceTestSupport.h"

#include <QTemporaryDir>
#include <QUrl>
#include <sys/stat.h>

using namespace MediaTest;

namespace {

QString describe(const std::function<ExportMediaInfo()>& inspect) {
    ExportMediaInfo i;
    const QString outcome = messageOf([&] { i = inspect(); });
    const MediaTime frames = reduced(t(i.duration.value * i.frameDuration.timescale,
                                       i.duration.timescale * std::int32_t(i.frameDuration.value)));
    return outcome != "no error" ? outcome
                                 : QStringLiteral("%1 × %2, %3/%4 s, %5 frames")
                                       .arg(i.width)
                                       .arg(i.height)
                                       .arg(i.duration.value)
                                       .arg(i.duration.timescale)
                                       .arg(frames.value);
}

QString describe(const Mp4::MoviePlan& plan) {
    return describe([&] { return inspectMovie(plan); });
}

} // namespace

TEST(MediaInspector, MeasuresAConstantRateSource) {
    // Counted in frames and reduced: 300 × 1001/30000 = 1001/100.
    EXPECT_EQ(describe(equirectangularMovie(300)), "5760 × 2880, 1001/100 s, 300 frames");
    const ExportMediaInfo info = inspectMovie(equirectangularMovie(300));
    EXPECT_TRUE(info.frameDuration.timescale == 30000 && info.sourceStart == MediaTime::zero() &&
                info.channels + info.sampleRate == 0 && !info.colorSpace);
}

TEST(MediaInspector, RefusesFilesByNameAndNamesThoseItCannotOpen) {
    QTemporaryDir dir;
    const QString wrongFile = "Choose a stitched 360° MP4 or MOV. Export camera-original media as "
                              "a full 360° video first.";
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.mp4")), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(dir.filePath("folder.mov")));
    ASSERT_TRUE(QFile::link("/dev/null", dir.filePath("dev.m4v")));
    QFile text(dir.filePath("notes.mp4"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("Not a movie.\n") > 0);
    text.close();
    // A name that is not UTF-8 reaches the file through the same encoding that named it.
    const QString odd = dir.filePath(QFile::decodeName("clip-\xFF\xFE.mov"));
    ASSERT_TRUE(Mp4::writeMovieFile(equirectangularMovie(30), odd));
    const QString notMovie = "The file “%1” is not a movie file.";
    // clang-format off
    const std::pair<QString, QString> cases[] = {
        {"/nonexistent/clip.insv", wrongFile}, {"/nonexistent/clip.mkv", wrongFile},
        {"/nonexistent/clip", wrongFile}, {"/nonexistent/.mp4", wrongFile},
        {"/nonexistent/clip.MP4",
         "The file “clip.MP4” couldn’t be opened because there is no such file."},
        {dir.filePath("pipe.mp4"), notMovie.arg("pipe.mp4")},
        {dir.filePath("folder.mov"), notMovie.arg("folder.mov")},
        {dir.filePath("dev.m4v"), notMovie.arg("dev.m4v")},
        {dir.filePath("notes.mp4"), damagedText}, {odd, "5760 × 2880, 1001/1000 s, 30 frames"}};
    // clang-format on
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(describe([&] { return MediaInspector::inspect(QUrl::fromLocalFile(path)); }),
                  expected)
            << path.toStdString();
    EXPECT_THROW(MediaInspector::inspect(QUrl("https://example.com/a.mp4")), ExportError);
}

TEST(MediaInspector, CountsTracksFirstThenRequiresOneFormatOfExactlyTwoToOne) {
    const QString formatText = "The video changes format or has no readable format description. "
                               "Export a constant-format stitched source first.";
    const auto video = [](std::optional<std::vector<QByteArray>> entries = {},
                          std::uint32_t frames = 4) {
        Mp4::TrackPlan track = Mp4::videoTrack(5760, 2880, frames);
        track.sampleEntries = entries.value_or(track.sampleEntries);
        return track;
    };
    Mp4::TrackPlan irregular = video(), noTimescale = video(), huge = video();
    irregular.durations.push_back({1, 1000});
    noTimescale.timescale = 0;
    huge.timescale = 0x80000000u;
    const QString noCursor = "Cannot inspect this video's exact frame timing. Export a "
                             "constant-frame-rate MP4 or MOV first.";
    const QString found = "Expected one stitched video stream; found %1. Stitch raw camera media "
                          "first.";
    const QString received = "Expected a full monoscopic 2:1 equirectangular image; received %1.";
    // clang-format off
    const std::pair<std::vector<Mp4::TrackPlan>, QString> cases[] = {
        {{Mp4::audioTrack()}, found.arg(0)},
        {{video(), video(), video({}, 0)}, found.arg(3)},
        // Two audio tracks are refused before any timing is read.
        {{irregular, Mp4::audioTrack(), Mp4::audioTrack(1)},
         "This app supports one audio stream. Retain or mix the desired audio in the stitched "
         "export."},
        {{video({{Mp4::visualEntry("avc1", 5760, 2880), Mp4::visualEntry("avc1", 3840, 1920)}})},
         formatText},
        {{video(std::vector<QByteArray>{})}, formatText},
        {{video({{Mp4::box("avc1", QByteArray(20, '\0'))}})}, formatText},
        {{video({{Mp4::visualEntry("hvc1", 5760, 2881)}})}, received.arg("5760 × 2881")},
        {{video({{Mp4::visualEntry("hvc1", 0, 0)}})}, received.arg("0 × 0")},
        {{noTimescale}, noCursor}, {{huge}, noCursor},
        {{video({}, 0)}, "The source has no readable video frames."},
        {{irregular}, timingText}};
    // clang-format on
    for (const auto& [tracks, expected] : cases) {
        Mp4::MoviePlan plan;
        plan.tracks = tracks;
        EXPECT_EQ(describe(plan), expected);
    }
}

TEST(MediaInspector, FindsAnyFrameOffByOneTickAndWalksReorderedFrames) {
    // The odd frame at the start, in the middle and at the end; as a duration or as a time.
    for (std::uint32_t at : {0u, 1u, 150u, 298u, 299u}) {
        Mp4::MoviePlan plan = equirectangularMovie(300), shifted = plan;
        plan.tracks[0].durations = {{at, 1001}, {1, 1002}, {299 - at, 1001}};
        shifted.tracks[0].compositionOffsets = {{at, 0}, {1, 1}, {299 - at, 0}};
        EXPECT_EQ(describe(plan), timingText) << "duration at " << at;
        EXPECT_EQ(describe(shifted), timingText) << "time at " << at;
    }
    Mp4::MoviePlan zero = equirectangularMovie(3);
    zero.tracks[0].durations = {{3, 0}};
    EXPECT_EQ(describe(zero), timingText);
    // Presented as decode indices 2 0 3 1 5 4 6: the first decoded frame is shown second.
    Mp4::MoviePlan plan = equirectangularMovie(7);
    plan.tracks[0].compositionOffsets = {{1, 1001}, {1, 2002},  {1, -2002}, {1, -1001},
                                         {1, 1001}, {1, -1001}, {1, 0}};
    EXPECT_EQ(describe(plan), "5760 × 2880, 7007/30000 s, 7 frames");
    // One B-frame lands on an occupied time (a repeat and a gap), or between two frames.
    for (std::int32_t offset : {0, -1000, -3003}) {
        plan.tracks[0].compositionOffsets[5] = {1, offset};
        EXPECT_EQ(describe(plan), timingText) << offset;
    }
}

// The frames presented are those inside the edit list's one media segment: ten frames of 1001
// ticks, the movie counting in the same ticks, every frame delayed by `offset`.
TEST(MediaInspector, PresentsTheFramesInsideTheEditList) {
    // clang-format off
    const std::tuple<std::vector<Mp4::Edit>, std::int32_t, QString> cases[] = {
        {{{10010, 0}}, 0, "10 frames"}, {{{5005, 2002}}, 0, "5 frames"},
        {{{5005, 4004}}, 2002, "5 frames"},
        {{{100000, 2002}}, 0, "8 frames"}, // ends after the media: no frame cut
        {{{0, 3003}}, 0, "7 frames"},      // no length: to the end of the media
        {{{1500, -1}, {5005, 2002}}, 0, "5 frames"},
        {{{3003, 1000}}, 0, timingText},   // begins inside a frame
        {{{3000, 0}}, 0, timingText},      // ends inside a frame
        {{{1001, 10010}}, 0, timingText},  // after the last frame
        {{{1001, 0}, {1001, 2002}}, 0, timingText}, {{{1001, 0, 2, 0}}, 0, timingText},
        {{{1001, 0, 1, 1}}, 0, timingText}, {{{1001, -1}}, 0, timingText}, // nothing of the media
        {{{1001, 0}, {1001, -1}}, 0, timingText}};
    // clang-format on
    for (const auto& [edits, offset, expected] : cases) {
        Mp4::MoviePlan plan = equirectangularMovie(10);
        plan.timescale = 30000;
        plan.tracks[0].edits = edits;
        plan.tracks[0].compositionOffsets = {{10, offset}};
        const QString outcome = describe(plan);
        EXPECT_EQ(outcome.endsWith("frames") ? outcome.section(", ", 2) : outcome, expected);
    }
    // The timecode origin follows the first presented frame, whatever the segment hides; an empty
    // edit moves it half a second into a timecode that reads 30 frames at time 0.
    Mp4::MoviePlan plan = equirectangularMovie(5);
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002}};
    plan.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 30));
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(30 * 1001, 30000));
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{500, -1}, {100, 2002}};
    EXPECT_EQ(inspectMovie(plan).sourceStart, t(1501, 1000));
}

TEST(MediaInspector, LabelsOnlyTheThreeKnownColourSpacesAndStopsWhenCancelled) {
    // clang-format off
    const std::tuple<const char*, std::uint16_t, std::uint16_t, std::uint16_t,
                     std::optional<QString>> cases[] = {
        {"nclx", 1, 1, 1, "1-1-1 (Rec. 709)"}, {"nclc", 1, 1, 1, "1-1-1 (Rec. 709)"},
        {"nclx", 9, 18, 9, "9-18-9 (Rec. 2020 HLG)"}, {"nclx", 9, 16, 9, "9-16-9 (Rec. 2020 PQ)"},
        {"nclx", 9, 1, 9, std::nullopt}, {"nclx", 1, 1, 2, std::nullopt},
        {"nclx", 12, 16, 9, std::nullopt}, {"prof", 1, 1, 1, std::nullopt}};
    // clang-format on
    for (const auto& [kind, primaries, transfer, matrix, label] : cases) {
        Mp4::MoviePlan plan = equirectangularMovie(2);
        plan.tracks[0].sampleEntries = {
            Mp4::visualEntry("avc1", 5760, 2880, Mp4::colorBox(kind, primaries, transfer, matrix))};
        EXPECT_EQ(inspectMovie(plan).colorSpace, label) << kind << primaries << matrix;
    }
    FormatDescription format; // a matrix that is not stated is no Rec. 709 matrix
    format.color.primaries = format.color.transferFunction = 1;
    EXPECT_FALSE(MediaInspector::colorSpace(format));
    std::stop_source stop;
    stop.request_stop();
    const QByteArray bytes = Mp4::writeMovie(equirectangularMovie(10));
    MemoryByteSource source(bytes);
    EXPECT_THROW(MediaInspector::inspect(source, stop.get_token()), CancellationError);
}

TEST(MovieReader, ReadsEveryFormOfBoxSizeAndTablesNotMediaData) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    // A last box whose size is 0 runs to the end of the file; a 64-bit size is read as such.
    Mp4::BoxWriter large;
    large.u32s({1, 0x736B6970, 0, 16 + 3}); // "skip"
    large.bytes("abc");
    // QuickTime may end user data with four zero bytes.
    Mp4::MoviePlan terminated = equirectangularMovie(5);
    terminated.userData = Mp4::userDataText("\xA9"
                                            "nam",
                                            "x") +
                          QByteArray(4, '\0');
    for (const QByteArray& file : {movie + QByteArray("\0\0\0\0free", 8) + QByteArray(100, 'x'),
                                   movie + large.data, Mp4::writeMovie(terminated)})
        EXPECT_EQ(inspectMovie(file).duration, t(1001, 6000));
    // Large tables are read to find the frames' bytes, which never are.
    Mp4::MoviePlan plan = equirectangularMovie(20000);
    plan.tracks[0].sampleSizes.assign(20000, 500);
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    MediaInspector::inspect(source);
    EXPECT_GT(bytes.size(), 10'000'000);
    EXPECT_LT(source.bytesRead(), 200'000u);
}

namespace {

// Big-endian bit fields, {width, value} each, padded with zeros to a whole byte.
QByteArray bits(std::initializer_list<std::pair<int, std::uint64_t>> fields) {
    QByteArray bytes;
    int used = 0;
    for (const auto& [width, value] : fields)
        for (int bit = width - 1; bit >= 0; --bit, ++used) {
            if (used % 8 == 0)
                bytes.append('\0');
            const int set = bit < 64 ? int((value >> bit) & 1) : 0; // wide fields are zeros
            bytes[bytes.size() - 1] = char(bytes.back() | set << (7 - used % 8));
        }
    return bytes;
}

QByteArray fullBox(const char* type, const QByteArray& payload) {
    return Mp4::box(type, QByteArray(4, '\0') + payload);
}

QString audioOf(const QByteArray& entry, const QByteArray& second = {}) {
    Mp4::MoviePlan plan = equirectangularMovie(2);
    plan.tracks.push_back(Mp4::audioTrack());
    plan.tracks[1].sampleEntries = {entry};
    if (!second.isEmpty())
        plan.tracks[1].sampleEntries.push_back(second);
    ExportMediaInfo info;
    const QString outcome = messageOf([&] { info = inspectMovie(plan); });
    return outcome != "no error"
               ? outcome
               : QStringLiteral("%1 × %2").arg(info.channels).arg(info.sampleRate);
}

QByteArray aac(const QByteArray& config) {
    return Mp4::audioEntry(2, 0, 0, "mp4a", Mp4::esds(config));
}

// An ISO entry whose own fields say two channels at 48 kHz.
QByteArray coded(const char* type, const QByteArray& children = {}) {
    return Mp4::audioEntry(2, 48000, 0, type, children);
}

} // namespace

TEST(Audio, ReadsChannelsAndRateWhereTheFormatKeepsThem) {
    const QByteArray lc24k = bits({{5, 2}, {4, 6}, {4, 1}, {3, 0}});
    const QByteArray fivePointOne = fullBox("chnl", bits({{8, 1}, {8, 6}, {64, 0}}));
    // clang-format off
    const std::pair<QByteArray, QString> cases[] = {
        {aac(Mp4::aacConfig(0, 1)), "1 × 96000"}, {aac(Mp4::aacConfig(3, 7)), "8 × 48000"},
        {aac(Mp4::aacConfig(4, 11)), "7 × 44100"},
        {aac(lc24k), "1 × 24000"}, // SBR that only the stream reveals: the core rate
        {aac(bits({{5, 5}, {4, 6}, {4, 2}, {4, 3}, {5, 2}, {3, 0}})), "2 × 48000"},
        {aac(bits({{5, 29}, {4, 6}, {4, 1}, {4, 3}, {5, 2}, {3, 0}})), "2 × 48000"},
        {aac(lc24k + bits({{11, 0x2B7}, {5, 5}, {1, 1}, {4, 3}, {11, 0x548}, {1, 1}})),
         "2 × 48000"},
        {aac(lc24k + bits({{11, 0x2B7}, {5, 5}, {1, 0}})), "1 × 24000"},
        {aac(bits({{5, 31}, {6, 0}, {4, 15}, {24, 88000}, {4, 2}})), "2 × 88000"},
        // A program configuration: a mono and a stereo element in front, a pair at the back, LFE.
        {aac(bits({{16, 0x1180}, {4, 0}, {2, 1}, {4, 3}, {4, 2}, {4, 0}, {4, 1}, {2, 1}, {10, 0},
                   {5, 0}, {5, 16}, {5, 16}, {4, 0}, {3, 0}, {8, 0}})), "6 × 48000"},
        {coded("mp4a", Mp4::box("wave", Mp4::esds(Mp4::aacConfig(4, 6)))), "6 × 44100"},
        {coded("ac-3", Mp4::box("dac3", bits({{2, 1}, {5, 8}, {3, 0}, {3, 2}, {1, 0}}))),
         "2 × 44100"},
        // 5.1 and a dependent substream's pair of rear surrounds.
        {coded("ec-3", Mp4::box("dec3", QByteArray::fromHex("0000200f0280"))), "8 × 48000"},
        {coded("Opus", Mp4::box("dOps", bits({{8, 0}, {8, 3}, {16, 0}, {32, 16000}}))),
         "3 × 48000"},
        {coded("alac", fullBox("alac", bits({{72, 0}, {8, 5}, {80, 0}, {32, 176400}}))),
         "5 × 176400"},
        {coded("fLaC", fullBox("dfLa", bits({{32, 0x80000022}, {80, 0}, {20, 192000}, {3, 7},
                                             {169, 0}}))), "8 × 192000"},
        {coded("ipcm", fivePointOne), "2 × 48000"}, // its own count
        {coded("xyz1", fivePointOne), "6 × 48000"},
        {coded("xyz1", fullBox("chnl", bits({{8, 1}, {8, 6}, {64, 0x9}}))), "4 × 48000"},
        {coded("xyz1", fullBox("chan", bits({{32, 0x10000}, {32, 0x3F}, {32, 0}}))), "6 × 48000"},
        {coded("xyz1", fullBox("chan", bits({{32, 0x00830005}, {64, 0}}))), "5 × 48000"},
        {Mp4::audioEntry(3, 32000, 1, "ima4"), "3 × 32000"},
        {Mp4::audioEntry(3, 96000, 2, "lpcm"), "3 × 96000"},
        {Mp4::audioEntry(6, 44100, 1, "in24"), "6 × 44100"},
        {coded("sowt", Mp4::box("srat", bits({{32, 0}, {32, 384000}}))), "2 × 384000"},
        // Nothing to know the facts from, or facts no decoder produces.
        {coded("mp4a"), audioText},
        {coded("mp4a", Mp4::esds(QByteArray(1, '\0'), 0x6B)), audioText},
        {coded("xyz1"), audioText}, {aac(Mp4::aacConfig(3, 0)), audioText},
        {aac(Mp4::aacConfig(13, 2)), audioText},
        {coded("ac-3", Mp4::box("dac3", bits({{2, 3}, {22, 0}}))), audioText},
        {Mp4::audioEntry(2, 44100.5, 0, "lpcm"), audioText},
        {Mp4::box("mp4a", QByteArray(12, '\0')), audioText}};
    // clang-format on
    for (const auto& [entry, expected] : cases)
        EXPECT_EQ(audioOf(entry), expected) << entry.toHex().toStdString();
    for (const auto& [channels, rate] : std::initializer_list<std::pair<std::uint16_t, double>>{
             {0, 48000}, {65, 48000}, {2, 0}, {2, -48000}, {2, 768001}, {2, 44100.5}})
        EXPECT_EQ(audioOf(Mp4::audioEntry(channels, rate, 2, "lpcm")), audioText) << rate;
    EXPECT_EQ(audioOf(aac(Mp4::aacConfig(3, 2)), aac(Mp4::aacConfig(3, 1))), audioText);
}
