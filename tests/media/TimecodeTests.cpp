#include "SourceTestSupport.h"

#include <gtest/gtest.h>

using namespace MediaTest;
using MediaInspector::parseTimecode;

namespace {

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

// A 25 fps source of 50 frames and a timecode track of the given samples.
Mp4::MoviePlan palMovie(std::vector<std::int64_t> frameNumbers, std::uint32_t flags = 0,
                        std::uint32_t timecodeDelta = 1) {
    Mp4::MoviePlan plan;
    plan.tracks.push_back(Mp4::videoTrack(3840, 1920, 50, 512, 12800));
    Mp4::TrackPlan timecode = Mp4::timecodeTrack("tmcd", 25, 1, 0, 12800);
    timecode.sampleEntries = {Mp4::timecodeEntry("tmcd", 25, 1, flags)};
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

QString startOf(const Mp4::MoviePlan& plan) {
    try {
        const MediaTime start = inspectMovie(plan).sourceStart;
        return QStringLiteral("%1/%2").arg(start.value).arg(start.timescale);
    } catch (const ExportError& error) {
        return error.message();
    }
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
    constexpr std::uint32_t wraps = 2;
    // Stamped one frame after the first video frame: the first frame is one frame earlier.
    const auto late = [](Mp4::MoviePlan plan) {
        plan.tracks[1].edits = std::vector<Mp4::Edit>{{40, -1}, {2000, 0}};
        return plan;
    };
    Mp4::MoviePlan wide = palMovie({});
    wide.tracks[1] = Mp4::timecodeTrack("tc64", 25, 1, std::int64_t(1) << 33, 12800);
    const std::pair<Mp4::MoviePlan, QString> cases[] = {
        {palMovie({90000}), QStringLiteral("3600/1")},
        {late(palMovie({90000})), QStringLiteral("89999/25")},
        {palMovie({90000, 90010}, 0, 5120), QStringLiteral("3600/1")},
        {palMovie({90000, 90011}, 0, 5120), discontinuousText},
        {wide, QStringLiteral("8589934592/25")},
        // Counters past 24 hours and below zero wrap when the track says so; otherwise a start
        // before zero cannot be stated.
        {palMovie({2160025}), QStringLiteral("86401/1")},
        {palMovie({2160025}, wraps), QStringLiteral("1/1")},
        {palMovie({-25}, wraps), QStringLiteral("86399/1")},
        {palMovie({INT32_MIN}, wraps), QStringLiteral("1716352/25")},
        {late(palMovie({0}, wraps)), QStringLiteral("2159999/25")},
        {palMovie({-25}), uninterpretableText},
        {palMovie({INT32_MIN}), uninterpretableText},
        {late(palMovie({0})), uninterpretableText},
    };
    for (const auto& [plan, expected] : cases)
        EXPECT_EQ(startOf(plan), expected) << expected.toStdString();
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
