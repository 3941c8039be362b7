// The box and sample-table reader on its own: sizes, bounds, tables, fragments and metadata.
#include "SourceTestSupport.h"
#include "media/Movie.h"
#include "media/MovieFormatError.h"

#include <gtest/gtest.h>

using namespace MediaTest;

namespace {

MediaTime t(std::int64_t value, std::int32_t timescale) {
    return MediaTime::make(value, timescale);
}

Movie readMovie(MemoryByteSource& source) {
    return Movie::read(source);
}

bool isDamaged(const QByteArray& bytes) {
    MemoryByteSource source(bytes);
    try {
        Movie::read(source);
        return false;
    } catch (const MovieFormatError&) {
        return true;
    }
}

// Overwrites the 32-bit field `fieldOffset` bytes into the payload of the first `type` box.
QByteArray patched(QByteArray bytes, const char* type, int fieldOffset, std::uint32_t value) {
    const qsizetype at = bytes.indexOf(QByteArray(type, 4));
    EXPECT_GE(at, 0) << type;
    for (int i = 0; i < 4; ++i)
        bytes[at + 4 + fieldOffset + i] = char(value >> (24 - 8 * i));
    return bytes;
}

// Pal video with a B-frame pattern, stereo audio and a timecode track of three samples.
Mp4::MoviePlan richMovie() {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(256, 128, 12, 512, 12800));
    // Presented as decode indices 0 2 3 1 5 6 4 8 9 7 11 10, shifted one frame by the edit.
    plan.tracks[0].compositionOffsets = {{1, 512},  {1, 1536}, {2, 0},    {1, 1536}, {2, 0},
                                         {1, 1536}, {2, 0},    {1, 1024}, {1, 0}};
    plan.tracks[0].edits = std::vector<Mp4::Edit>{{480, 512}};
    plan.tracks.push_back(Mp4::audioTrack(2, 48000, 10));
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

TEST(MovieReader, RefusesStructuresThatDoNotAddUp) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    EXPECT_FALSE(isDamaged(movie));
    EXPECT_TRUE(isDamaged(QByteArray()));
    EXPECT_TRUE(isDamaged(movie + QByteArray("\0\0\0", 3))); // a cut header
    EXPECT_TRUE(isDamaged(movie + QByteArray("\0\0\0\x10"
                                             "free",
                                             8))); // past the end
    EXPECT_TRUE(isDamaged(movie + QByteArray("\0\0\0\x04"
                                             "free",
                                             8))); // smaller than its header
    Mp4::BoxWriter huge;
    huge.u32(1);
    huge.fourCC("free");
    huge.u64(~0ull);
    EXPECT_TRUE(isDamaged(movie + huge.data));
    // A child that claims more than its parent holds.
    Mp4::MoviePlan spilling = equirectangularMovie(5);
    spilling.meta = QByteArray("\0\0\x10\0free", 8);
    EXPECT_TRUE(isDamaged(Mp4::writeMovie(spilling)));
    // Two movie boxes; a fragment before the movie; no movie at all.
    const qsizetype moov = movie.indexOf("moov") - 4;
    EXPECT_TRUE(isDamaged(movie + movie.mid(moov, movie.size() - moov)));
    EXPECT_TRUE(isDamaged(QByteArray("\0\0\0\x08moof", 8) + movie));
    EXPECT_TRUE(isDamaged(movie.left(moov) + QByteArray("\0\0\0\x08"
                                                        "free",
                                                        8)));
}

TEST(MovieReader, RefusesSampleTablesThatDisagreeOrClaimTooMuch) {
    const QByteArray movie = Mp4::writeMovie(equirectangularMovie(5));
    // stts: version/flags, entry count, then (count, delta).
    EXPECT_TRUE(isDamaged(patched(movie, "stts", 8, 6)));
    EXPECT_TRUE(isDamaged(patched(movie, "stts", 4, 1000)));
    // Four billion samples of a constant size in a file of a few hundred bytes.
    EXPECT_TRUE(isDamaged(patched(patched(movie, "stts", 8, 0xFFFFFFFF), "stsz", 8, 0xFFFFFFFF)));
    Mp4::MoviePlan offsets = equirectangularMovie(5);
    offsets.tracks[0].compositionOffsets = {{4, 0}};
    EXPECT_TRUE(isDamaged(Mp4::writeMovie(offsets)));
    offsets.tracks[0].compositionOffsets = {{6, 0}};
    EXPECT_TRUE(isDamaged(Mp4::writeMovie(offsets)));
    // A timecode track's chunk table must cover its samples exactly.
    Mp4::MoviePlan chunks = richMovie();
    const QByteArray rich = Mp4::writeMovie(chunks);
    const qsizetype timecode = rich.lastIndexOf("stsc");
    QByteArray broken = rich;
    broken[timecode + 4 + 4 + 4 + 4 + 3] = 5; // samples per chunk 2 → 5
    EXPECT_TRUE(isDamaged(broken));
}

TEST(MovieReader, ReadsTablesNotMediaData) {
    // Per-sample sizes and one chunk per frame make the tables large; the video's size and
    // offset tables are never needed, so they are stepped over.
    Mp4::MoviePlan plan = equirectangularMovie(20000);
    plan.tracks[0].sampleSizes.assign(20000, 5);
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    MediaInspector::inspect(source);
    EXPECT_GT(bytes.size(), 160000);
    EXPECT_LT(source.bytesRead(), 2000u);
}

TEST(MovieReader, ReadsMetadataOfEveryKind) {
    Mp4::MoviePlan plan = equirectangularMovie(2);
    plan.tracks[0].meta =
        Mp4::keyedMetadata({{"com.apple.quicktime.location", QStringLiteral("+1")},
                            {"Tag Ü", QStringLiteral("Grüße")}});
    Mp4::BoxWriter macRoman;
    macRoman.box("\xA9"
                 "nam",
                 [&] {
                     macRoman.u16(3);
                     macRoman.u16(0); // English, Mac Roman text
                     macRoman.bytes("\x80"
                                    "t\xA9");
                 });
    Mp4::BoxWriter itunes;
    itunes.fullBox("meta", 0, 0, [&] {
        itunes.fullBox("hdlr", 0, 0, [&] {
            itunes.u32(0);
            itunes.fourCC("mdir");
            itunes.zeros(13);
        });
        itunes.box("ilst", [&] {
            itunes.box("\xA9"
                       "too",
                       [&] {
                           itunes.box("data", [&] {
                               itunes.u32(1);
                               itunes.u32(0);
                               itunes.bytes("Lavf");
                           });
                       });
            itunes.box("cpil", [&] {
                itunes.box("data", [&] {
                    itunes.u32(21);
                    itunes.u32(0);
                    itunes.u8(1);
                });
            });
        });
    });
    plan.userData = macRoman.data + itunes.data;
    const QByteArray bytes = Mp4::writeMovie(plan);
    MemoryByteSource source(bytes);
    const Movie movie = readMovie(source);

    const auto& track = movie.tracks(MediaKind::video)[0]->metadata;
    ASSERT_EQ(track.size(), 2u);
    EXPECT_EQ(track[0].key, QStringLiteral("com.apple.quicktime.location"));
    EXPECT_EQ(track[0].identifier, QStringLiteral("mdta/com.apple.quicktime.location"));
    EXPECT_EQ(track[0].stringValue, QStringLiteral("+1"));
    EXPECT_EQ(track[1].key, QStringLiteral("Tag Ü"));
    EXPECT_EQ(track[1].identifier, QStringLiteral("mdta/Tag%20%C3%9C"));
    EXPECT_EQ(track[1].stringValue, QStringLiteral("Grüße"));

    const auto& items = movie.metadata();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].key, QStringLiteral("©nam"));
    EXPECT_EQ(items[0].identifier, QStringLiteral("udta/%A9nam"));
    EXPECT_EQ(items[0].stringValue, QStringLiteral("Ät©"));
    EXPECT_EQ(items[1].identifier, QStringLiteral("itsk/%A9too"));
    EXPECT_EQ(items[1].stringValue, QStringLiteral("Lavf"));
    EXPECT_EQ(items[2].key, QStringLiteral("cpil"));
    EXPECT_FALSE(items[2].stringValue); // a number, not text
}
