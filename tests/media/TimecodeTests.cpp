#include "SourceTestSupport.h"

#include <gtest/gtest.h>

using namespace MediaTest;
using MediaInspector::parseTimecode;

namespace {

MediaTime t(std::int64_t value, std::int32_t timescale) {
    return MediaTime::make(value, timescale);
}

const MediaTime ntsc = t(1001, 30000);
const MediaTime ntsc60 = t(1001, 60000);
const MediaTime pal = t(1, 25);

QString parseError(const QString& label, const MediaTime& frameDuration) {
    try {
        const MediaTime time = parseTimecode(label, frameDuration);
        return QStringLiteral("parsed %1/%2").arg(time.value).arg(time.timescale);
    } catch (const ExportError& error) {
        return error.message();
    }
}

// A 25 fps source with `frames` frames and a timecode track of the given samples.
Mp4::MoviePlan palMovie(std::vector<std::int64_t> frameNumbers, std::uint32_t timecodeDelta = 1) {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(3840, 1920, 50, 512, 12800));
    Mp4::TrackPlan timecode = Mp4::timecodeTrack("tmcd", 25, 1, 0, 12800);
    timecode.payloads.clear();
    for (std::int64_t number : frameNumbers) {
        Mp4::BoxWriter w;
        w.u32(std::uint32_t(number));
        timecode.payloads.push_back(w.data);
    }
    timecode.durations = {{std::uint32_t(frameNumbers.size()), timecodeDelta}};
    plan.tracks.push_back(timecode);
    return plan;
}

} // namespace

TEST(Timecode, ParsesNonDropAndDropFrameLabels) {
    EXPECT_EQ(parseTimecode(QStringLiteral("01:00:00:00"), ntsc), t(18018, 5)); // 108000 frames
    EXPECT_EQ(parseTimecode(QStringLiteral("01:00:00;00"), ntsc), t(8999991, 2500)); // 107892
    EXPECT_EQ(parseTimecode(QStringLiteral("00:10:00;00"), ntsc), t(2999997, 5000)); // 17982
    EXPECT_EQ(parseTimecode(QStringLiteral("00:01:00;02"), ntsc), reduced(t(1001 * 1800, 30000)));
    EXPECT_EQ(parseTimecode(QStringLiteral("01:00:00;00"), ntsc60), t(215784 * 1001, 60000));
    EXPECT_EQ(parseTimecode(QStringLiteral("00:01:00;04"), ntsc60), reduced(t(3600 * 1001, 60000)));
    EXPECT_EQ(parseTimecode(QStringLiteral("100:00:00:00"), pal), t(360000, 1));
    EXPECT_EQ(parseTimecode(QStringLiteral("00:00:01:24"), pal), t(49, 25));
    EXPECT_EQ(parseTimecode(QStringLiteral("00:00:00:00"), pal), MediaTime::zero());
    // Nominal rates round halves away from zero: 1001/24000 is 24 frames a second.
    EXPECT_EQ(parseTimecode(QStringLiteral("00:00:01:00"), t(1001, 24000)), t(1001, 1000));
    EXPECT_EQ(parseTimecode(QStringLiteral("00:00:01:00"), t(2, 5)), t(2, 5) /* rate 3 */
                                                                         + t(4, 5));
}

TEST(Timecode, RefusesLabelsItCannotInterpret) {
    const std::pair<const char*, MediaTime> refused[] = {
        {"1:00:00:00", pal},
        {"01:00:00:30", ntsc},
        {"01:60:00:00", pal},
        {"01:00:60:00", pal},
        {"01:00:00;00", pal},
        {"00:01:00;00", ntsc},
        {"00:01:00;01", ntsc},
        {"00:01:00;03", ntsc60},
        {"01;00:00:00", pal},
        {"01:00:00:00 ", pal},
        {" 01:00:00:00", pal},
        {"01:00:00:0", pal},
        {"٠١:00:00:00", pal},
        {"01:00:00:00\n", pal},
        {"100000:00:00:00", pal},
        {"99999999999999999999:00:00:00", pal},
        {"", pal},
        {"01:00:00:00", t(0, 25)},
        {"01:00:00:00", MediaTime::invalid()},
        {"01:00:00:00", t(1, 1001)}, // below one frame a second
        {"01:00:00:00", t(1, 2001)}, // more than 1000 frames a second
        {"01:00:00:00", t(-1, 25)},
    };
    for (const auto& [label, duration] : refused)
        EXPECT_EQ(parseError(QString::fromUtf8(label), duration), uninterpretableText) << label;
    EXPECT_EQ(parseError(QStringLiteral("99999:59:59:24"), pal),
              QStringLiteral("parsed 8999999999/25"));
    // A frame number that fits but whose time in ticks does not.
    EXPECT_EQ(parseError(QStringLiteral("99999:00:00:00"), t(std::int64_t(1) << 40, 1 << 30)),
              uninterpretableText);
}

TEST(Timecode, StartsAtZeroWithoutTimecode) {
    Mp4::MoviePlan plan = equirectangularMovie(10);
    plan.tracks[0].meta = Mp4::keyedMetadata({{"com.apple.quicktime.make", QStringLiteral("X")}});
    EXPECT_EQ(inspectMovie(plan).sourceStart, MediaTime::zero());
}

TEST(Timecode, ReadsTheTimecodeTrack) {
    EXPECT_EQ(inspectMovie(palMovie({90000})).sourceStart, t(3600, 1));

    // Stamped one frame after the first video frame: the first frame is one frame earlier.
    Mp4::MoviePlan late = palMovie({90000});
    late.tracks[1].edits = std::vector<Mp4::Edit>{{40, -1}, {2000, 0}};
    EXPECT_EQ(inspectMovie(late).sourceStart, t(89999, 25));

    // Two samples that agree with their times, then two that jump.
    EXPECT_EQ(inspectMovie(palMovie({90000, 90010}, 5120)).sourceStart, t(3600, 1));
    EXPECT_EQ(refusalOf(palMovie({90000, 90011}, 5120)), discontinuousText);

    // "tc64" holds 64 bits, and works the same way.
    Mp4::MoviePlan wide = palMovie({});
    wide.tracks[1] = Mp4::timecodeTrack("tc64", 25, 1, std::int64_t(1) << 33, 12800);
    EXPECT_EQ(inspectMovie(wide).sourceStart, t(std::int64_t(1) << 33, 25));
    Mp4::MoviePlan negative = palMovie({-25});
    EXPECT_EQ(inspectMovie(negative).sourceStart, t(-1, 1));
}

TEST(Timecode, RefusesTimecodeTracksItCannotInterpret) {
    Mp4::MoviePlan two = palMovie({90000});
    two.tracks.push_back(two.tracks[1]);
    EXPECT_EQ(refusalOf(two), QStringLiteral("The source contains multiple timecode tracks. Export "
                                             "a source with one unambiguous timecode origin "
                                             "first."));

    // A timecode at 1/30 for a 1001/30000 video.
    Mp4::MoviePlan drift = equirectangularMovie(30);
    drift.tracks.push_back(Mp4::timecodeTrack("tmcd", 30, 1, 108000));
    EXPECT_EQ(refusalOf(drift), uninterpretableText);
    drift.tracks[1] = Mp4::timecodeTrack("tmcd", 30000, 1001, 107892);
    EXPECT_EQ(inspectMovie(drift).sourceStart, t(8999991, 2500));

    Mp4::MoviePlan foreign = palMovie({90000});
    foreign.tracks[1].sampleEntries = {Mp4::timecodeEntry("tmcX", 25, 1)};
    EXPECT_EQ(refusalOf(foreign), uninterpretableText);

    Mp4::MoviePlan wrongSize = palMovie({90000});
    wrongSize.tracks[1].payloads = {QByteArray(8, '\0')};
    EXPECT_EQ(refusalOf(wrongSize), uninterpretableText);

    Mp4::MoviePlan empty = palMovie({});
    EXPECT_EQ(refusalOf(empty), uninterpretableText);

    Mp4::MoviePlan ambiguous = palMovie({90000});
    ambiguous.tracks[1].edits = std::vector<Mp4::Edit>{{40, 0}, {40, 0}};
    EXPECT_EQ(refusalOf(ambiguous), uninterpretableText);

    // A frame number whose time does not fit 64 bits of ticks...
    Mp4::MoviePlan overflow = equirectangularMovie(10);
    overflow.tracks.push_back(Mp4::timecodeTrack("tc64", 30000, 1001, std::int64_t(1) << 62));
    EXPECT_EQ(refusalOf(overflow), uninterpretableText);
    // ...and one that fits, but whose origin cannot be stated exactly at the common timescale.
    Mp4::MoviePlan inexact = palMovie({});
    inexact.tracks[1] = Mp4::timecodeTrack("tc64", 25, 1, std::int64_t(1) << 62, 12800);
    inexact.tracks[0] = Mp4::videoTrack(3840, 1920, 50, 7, 175);
    EXPECT_EQ(refusalOf(inexact), discontinuousText);
}

TEST(Timecode, ReadsTimecodeMetadataOfTrackAndMovie) {
    Mp4::MoviePlan onTrack = equirectangularMovie(10);
    onTrack.tracks[0].meta =
        Mp4::keyedMetadata({{"com.apple.quicktime.timecode", QStringLiteral("01:00:00;00")}});
    EXPECT_EQ(inspectMovie(onTrack).sourceStart, t(8999991, 2500));

    Mp4::MoviePlan agreeing = onTrack;
    agreeing.meta = Mp4::keyedMetadata({{"timecode", QStringLiteral("01:00:00;00")}});
    EXPECT_EQ(inspectMovie(agreeing).sourceStart, t(8999991, 2500));

    Mp4::MoviePlan disagreeing = onTrack;
    disagreeing.meta = Mp4::keyedMetadata({{"TimeCode", QStringLiteral("01:00:00:00")}});
    EXPECT_EQ(refusalOf(disagreeing), uninterpretableText);

    Mp4::MoviePlan onMovie = equirectangularMovie(10);
    onMovie.meta = Mp4::keyedMetadata({{"org.example.timecode", QStringLiteral("00:00:10:00")}});
    EXPECT_EQ(inspectMovie(onMovie).sourceStart, t(1001, 100));

    Mp4::MoviePlan unparsable = equirectangularMovie(10);
    unparsable.meta = Mp4::keyedMetadata({{"timecode", QStringLiteral("00:01:00;00")}});
    EXPECT_EQ(refusalOf(unparsable), uninterpretableText);

    // Keys that merely contain the word are not timecode.
    Mp4::MoviePlan unrelated = equirectangularMovie(10);
    unrelated.meta = Mp4::keyedMetadata(
        {{"timecodes", QStringLiteral("x")}, {"org.example.timecode.note", QStringLiteral("y")}});
    EXPECT_EQ(inspectMovie(unrelated).sourceStart, MediaTime::zero());

    // Classic QuickTime user data is metadata too; its key is the four-character code.
    Mp4::MoviePlan classic = equirectangularMovie(10);
    classic.userData = Mp4::userDataText("\xA9"
                                         "cmt",
                                         QStringLiteral("01:00:00:00"));
    EXPECT_EQ(inspectMovie(classic).sourceStart, MediaTime::zero());

    // With a timecode track the metadata is not consulted.
    Mp4::MoviePlan both = palMovie({90000});
    both.meta = Mp4::keyedMetadata({{"timecode", QStringLiteral("garbage")}});
    EXPECT_EQ(inspectMovie(both).sourceStart, t(3600, 1));
}
