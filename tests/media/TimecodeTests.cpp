// The source's timecode origin: labels, the timecode track and timecode metadata.
#include "SourceTestSupport.h"

using namespace MediaTest;
using MediaInspector::parseTimecode;

namespace {

const MediaTime ntsc = t(1001, 30000), ntsc60 = t(1001, 60000), pal = t(1, 25);

QString described(const std::function<MediaTime()>& start) {
    MediaTime time;
    const QString outcome = messageOf([&] { time = start(); });
    return outcome != "no error" ? outcome
                                 : QStringLiteral("%1/%2").arg(time.value).arg(time.timescale);
}

QString startOf(const Mp4::MoviePlan& plan) {
    return described([&] { return inspectMovie(plan).sourceStart; });
}

// A 25 fps source of 50 frames and a timecode track of the given samples, 0.4 s apart.
Mp4::MoviePlan palMovie(std::vector<std::int64_t> frameNumbers, std::uint32_t flags = 0) {
    Mp4::MoviePlan plan;
    plan.tracks = {Mp4::videoTrack(3840, 1920, 50, 512, 12800),
                   Mp4::timecodeTrack("tmcd", 25, 1, 0)};
    plan.tracks[1].sampleEntries = {Mp4::timecodeEntry("tmcd", 25, 1, flags)};
    plan.tracks[1].payloads.clear();
    for (std::int64_t number : frameNumbers)
        plan.tracks[1].payloads.push_back(Mp4::timecodeTrack("tmcd", 25, 1, number).payloads[0]);
    plan.tracks[1].timescale = 12800;
    plan.tracks[1].durations = {{std::uint32_t(frameNumbers.size()), 5120}};
    return plan;
}

} // namespace

TEST(Timecode, ParsesLabels) {
    // One hour at 29.97 is 108000 frames, or 107892 drop-frame; ten minutes 17982; a minute
    // 1800 at 29.97 and 3600 at 59.94. Nominal rates round halves away from zero: 1001/24000 is
    // 24 frames a second, 2/5 three.
    // clang-format off
    const std::tuple<const char*, MediaTime, QString> cases[] = {
        {"01:00:00:00", ntsc, "18018/5"},         {"01:00:00;00", ntsc, "8999991/2500"},
        {"00:10:00;00", ntsc, "2999997/5000"},    {"00:01:00;02", ntsc, "3003/50"},
        {"01:00:00;00", ntsc60, "8999991/2500"},  {"00:01:00;04", ntsc60, "3003/50"},
        {"100:00:00:00", pal, "360000/1"},        {"00:00:01:24", pal, "49/25"},
        {"00:00:00:00", pal, "0/1"},              {"99999:59:59:24", pal, "8999999999/25"},
        {"00:00:01:00", t(1001, 24000), "1001/1000"}, {"00:00:01:00", t(2, 5), "6/5"}};
    // clang-format on
    for (const auto& [label, frame, expected] : cases)
        EXPECT_EQ(described([&] { return parseTimecode(label, frame); }), expected) << label;
    // Malformed labels, fields out of range, labels drop-frame counting skips or cannot count
    // at that rate, rates below 1 or above 1000 a second, and times beyond 64 bits.
    const auto refused = [](const char* label, const MediaTime& frame) {
        EXPECT_EQ(described([&] { return parseTimecode(QString::fromUtf8(label), frame); }),
                  uninterpretableText)
            << label;
    };
    for (const char* label :
         {"1:00:00:00", "01:60:00:00", "01:00:60:00", "01:00:00;00", "01;00:00:00", "01:00:00:00 ",
          " 01:00:00:00", "01:00:00:0", "٠١:00:00:00", "01:00:00:00\n", "100000:00:00:00",
          "99999999999999999999:00:00:00", ""})
        refused(label, pal);
    for (const char* label : {"01:00:00:30", "00:01:00;00", "00:01:00;01"})
        refused(label, ntsc);
    refused("00:01:00;03", ntsc60);
    for (const MediaTime& frame :
         {t(0, 25), MediaTime::invalid(), t(1, 1001), t(1, 2001), t(-1, 25)})
        refused("01:00:00:00", frame);
    refused("99999:00:00:00", t(std::int64_t(1) << 40, 1 << 30));
}

TEST(Timecode, ReadsTheTimecodeTrack) {
    constexpr std::uint32_t wraps = 2;
    const struct {
        std::vector<std::int64_t> numbers;
        std::uint32_t flags;
        bool late; // stamped one frame after the first video frame, which is one frame earlier
        QString expected;
    } cases[] = {
        // clang-format off
        {{90000}, 0, false, "3600/1"},           {{90000}, 0, true, "89999/25"},
        {{90000, 90010}, 0, false, "3600/1"},    {{90000, 90011}, 0, false, discontinuousText},
        {{}, 0, false, uninterpretableText},
        // Counters past 24 hours and below zero wrap when the track says so; otherwise a start
        // before zero cannot be stated.
        {{2160025}, 0, false, "86401/1"},        {{2160025}, wraps, false, "1/1"},
        {{-25}, wraps, false, "86399/1"},        {{INT32_MIN}, wraps, false, "1716352/25"},
        {{0}, wraps, true, "2159999/25"},        {{-25}, 0, false, uninterpretableText},
        {{INT32_MIN}, 0, false, uninterpretableText}, {{0}, 0, true, uninterpretableText}};
    // clang-format on
    for (const auto& c : cases) {
        Mp4::MoviePlan plan = palMovie(c.numbers, c.flags);
        if (c.late)
            plan.tracks[1].edits = std::vector<Mp4::Edit>{{40, -1}, {2000, 0}};
        EXPECT_EQ(startOf(plan), c.expected) << c.numbers.size() << " " << c.flags << c.late;
    }
    Mp4::MoviePlan plan = palMovie({90000});
    plan.tracks.push_back(plan.tracks[1]);
    EXPECT_EQ(startOf(plan), "The source contains multiple timecode tracks. Export a source with "
                             "one unambiguous timecode origin first.");
    const std::pair<Mp4::TrackPlan, QString> tracks[] = {
        {Mp4::timecodeTrack("tc64", 25, 1, 1ll << 33, 12800), "8589934592/25"},
        {Mp4::timecodeTrack("tmcd", 30, 1, 0, 12800), uninterpretableText}, // not the video's rate
        {Mp4::timecodeTrack("tmcX", 25, 1, 0, 12800), uninterpretableText},
        {Mp4::timecodeTrack("tc64", 25, 1, 1ll << 62, 12800), discontinuousText} // not exact
    };
    for (const auto& [track, expected] : tracks) {
        plan = palMovie({});
        plan.tracks[1] = track;
        if (expected == discontinuousText) // ticks of 7/175: the origin needs a finer timescale
            plan.tracks[0] = Mp4::videoTrack(3840, 1920, 50, 7, 175);
        EXPECT_EQ(startOf(plan), expected);
    }
    plan = palMovie({90000});
    plan.tracks[1].payloads = {QByteArray(8, '\0')};
    EXPECT_EQ(startOf(plan), uninterpretableText);
    plan.tracks[1].edits = std::vector<Mp4::Edit>{{40, 0}, {40, 0}};
    EXPECT_EQ(startOf(plan), uninterpretableText);
    // A frame number whose time overflows 64 bits of ticks.
    plan.tracks = {Mp4::videoTrack(3840, 1920, 9),
                   Mp4::timecodeTrack("tc64", 30000, 1001, 1ll << 62)};
    EXPECT_EQ(startOf(plan), uninterpretableText);
}

TEST(Timecode, ReadsTimecodeMetadataOfTrackAndMovie) {
    // Items of the track, then of the movie: keys "timecode" or ending ".timecode", any case.
    using Items = std::vector<std::pair<QByteArray, QString>>;
    const Items dropFrameHour{{"com.apple.quicktime.timecode", "01:00:00;00"}};
    const std::tuple<Items, Items, QString> cases[] = {
        {{}, {}, "0/1"},
        {{{"com.apple.quicktime.make", "X"}}, {{"timecodes", "x"}, {"a.timecode.b", "y"}}, "0/1"},
        {dropFrameHour, {}, "8999991/2500"},
        {dropFrameHour, {{"timecode", "01:00:00;00"}}, "8999991/2500"},
        {dropFrameHour, {{"TimeCode", "01:00:00:00"}}, uninterpretableText},
        {{}, {{"org.example.timecode", "00:00:10:00"}}, "1001/100"},
        {{}, {{"timecode", "00:01:00;00"}}, uninterpretableText}};
    Mp4::MoviePlan plan = equirectangularMovie(10);
    for (const auto& [track, movie, expected] : cases) {
        plan.tracks[0].meta = track.empty() ? QByteArray() : Mp4::keyedMetadata(track);
        plan.meta = movie.empty() ? QByteArray() : Mp4::keyedMetadata(movie);
        EXPECT_EQ(startOf(plan), expected) << expected.toStdString();
    }
    // An iTunes free-form item named "TIMECODE"; classic user data, keyed by four characters,
    // is never timecode.
    plan.meta = Mp4::box(
        "meta",
        QByteArray(4, 0) + Mp4::box("hdlr", QByteArray(8, 0) + "mdir" + QByteArray(13, 0)) +
            Mp4::box("ilst",
                     Mp4::box("----", Mp4::box("name", QByteArray(4, 0) + "TIMECODE") +
                                          Mp4::box("data", QByteArray::fromHex("0000000100000000") +
                                                               "00:00:10:00"))));
    plan.userData = Mp4::userDataText("\xA9"
                                      "cmt",
                                      "01:00:00:00");
    EXPECT_EQ(startOf(plan), "1001/100");
    // With a timecode track the metadata is not consulted.
    Mp4::MoviePlan both = palMovie({90000});
    both.meta = Mp4::keyedMetadata({{"timecode", "garbage"}});
    EXPECT_EQ(startOf(both), "3600/1");
}
