// The box and sample-table reader: box sizes, fragments, what it reads and what metadata counts.
#include "SourceTestSupport.h"
#include "media/Movie.h"

#include <gtest/gtest.h>

using namespace MediaTest;

namespace {

// Pal video with a B-frame pattern, stereo audio and a timecode track of three samples.
Mp4::MoviePlan richMovie() {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(256, 128, 12, 512, 12800));
    // Presented as decode indices 0 2 3 1 5 6 4 8 9 7 11 10, shifted one frame by the edit.
    plan.tracks[0].compositionOffsets = {{1, 512},  {1, 1536}, {2, 0},    {1, 1536}, {2, 0},
                                         {1, 1536}, {2, 0},    {1, 1024}, {1, 0}};
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{480, 512}};
    plan.tracks.push_back(Mp4::audioTrack(2, 10));
    Mp4::TrackPlan timecode = Mp4::timecodeTrack("tmcd", 25, 1, 0, 12800);
    timecode.payloads.clear();
    for (std::uint32_t number : {250u, 254u, 258u}) {
        Mp4::BoxWriter w;
        w.u32(number);
        timecode.payloads.push_back(w.data);
    }
    timecode.durations = {{3, 2048}};
    timecode.samplesPerChunk = 2;
    plan.tracks.push_back(timecode);
    return plan;
}

} // namespace

TEST(MovieReader, FragmentsReadLikeTheSameMovieInOnePiece) {
    const Mp4::MoviePlan whole = richMovie();
    const ExportMediaInfo expected = inspectMovie(whole);
    EXPECT_EQ(expected.duration, t(12, 25));
    EXPECT_EQ(expected.sourceStart, t(10, 1));
    EXPECT_EQ(expected.channels, 2);
    for (std::uint32_t perFragment : {1u, 2u, 5u, 12u}) {
        Mp4::MoviePlan fragmented = whole;
        fragmented.fragmentSamples = perFragment;
        const ExportMediaInfo info = inspectMovie(fragmented);
        EXPECT_EQ(info.duration, expected.duration) << perFragment;
        EXPECT_EQ(info.frameDuration, expected.frameDuration) << perFragment;
        EXPECT_EQ(info.sourceStart, expected.sourceStart) << perFragment;
    }
    // A jump in one fragment's timecode sample is still seen.
    Mp4::MoviePlan jump = whole;
    jump.fragmentSamples = 2;
    jump.tracks[2].payloads[2][3] = char(259);
    EXPECT_EQ(refusalOf(jump), discontinuousText);
}

TEST(MovieReader, AcceptsEveryFormOfBoxSize) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    // A last box whose size is 0 runs to the end of the file; a 64-bit size is read as such.
    QByteArray toEnd = movie + QByteArray("\0\0\0\0free", 8) + QByteArray(100, 'x');
    EXPECT_EQ(inspectBytes(toEnd).duration, t(1001, 6000));
    Mp4::BoxWriter large;
    large.u32(1);
    large.fourCC("skip");
    large.u64(16 + 3);
    large.bytes("abc");
    EXPECT_EQ(inspectBytes(movie + large.data).duration, t(1001, 6000));
    // QuickTime may end user data with four zero bytes.
    Mp4::MoviePlan terminated = equirectangularMovie(5);
    terminated.userData = Mp4::userDataText("\xA9"
                                            "nam",
                                            QStringLiteral("x")) +
                          QByteArray(4, '\0');
    EXPECT_EQ(inspectMovie(terminated).duration, t(1001, 6000));
}

TEST(MovieReader, ReadsTablesNotMediaData) {
    // Per-sample sizes and one chunk per frame make the tables large: they are read to find the
    // frames' bytes, which never are.
    Mp4::MoviePlan plan = equirectangularMovie(20000);
    plan.tracks[0].sampleSizes.assign(20000, 500);
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    MediaInspector::inspect(source);
    EXPECT_GT(bytes.size(), 10'000'000);
    EXPECT_LT(source.bytesRead(), 200'000u);
}

TEST(MovieReader, KeepsTheTimecodeItemsOfEveryKindOfMetadata) {
    Mp4::BoxWriter itunes;
    itunes.fullBox("meta", 0, 0, [&] {
        itunes.fullBox("hdlr", 0, 0, [&] {
            itunes.u32(0);
            itunes.fourCC("mdir");
            itunes.zeros(13);
        });
        itunes.box("ilst", [&] {
            for (const char* name : {"TIMECODE", "note"})
                itunes.box("----", [&] {
                    itunes.box("name", [&] {
                        itunes.u32(0);
                        itunes.bytes(name);
                    });
                    itunes.box("data", [&] {
                        itunes.u32(1);
                        itunes.u32(0);
                        itunes.bytes(name[0] == 'T' ? "01:00:00:00" : "x");
                    });
                });
        });
    });
    Mp4::MoviePlan plan = equirectangularMovie(2);
    plan.tracks[0].meta = Mp4::keyedMetadata({{"com.apple.quicktime.timecode", "01:00:00;00"},
                                              {"Timecode", "01:00:00;00"},
                                              {"timecodes", "x"},
                                              {"org.example.timecode.note", "y"}});
    // Classic user data is keyed by four characters: never a timecode item.
    plan.userData = Mp4::userDataText("\xA9"
                                      "cmt",
                                      QStringLiteral("00:00:00:01")) +
                    itunes.data;
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    const Movie movie = Movie::read(source);
    EXPECT_EQ(movie.track(MediaKind::video)->metadata.labels,
              std::vector<QString>{QStringLiteral("01:00:00;00")});
    EXPECT_EQ(movie.metadata().labels, std::vector<QString>{QStringLiteral("01:00:00:00")});
    EXPECT_FALSE(movie.metadata().unusable);
}
