#include "ExportTestSupport.h"

#include "export/FCPXMLExporter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

const QString ok = QStringLiteral("no error");
const QString wrongSource =
    QStringLiteral("Choose a stitched MP4 or MOV exported as a full 360° video.");
const QString viewCount = QStringLiteral("Exactly three or four views are required.");
const QString unknownLayout = QStringLiteral("Unknown multicam layout.");
const QString outputSize = QStringLiteral("Output dimensions must be positive even pixel counts.");
const QString notEquirect = QStringLiteral("Choose a full monoscopic 2:1 equirectangular video.");
const QString audioFormat = QStringLiteral("Could not determine the source audio format.");
const QString inexact = QStringLiteral("Media timing must be a finite, exact rational value.");
const QString wholeFrames =
    QStringLiteral("The source duration must contain a positive whole number of video frames.");
const QString projectName = QStringLiteral("Give the project a name.");
const QString controlChars = QStringLiteral("Names cannot contain XML control characters.");
const QString viewName = QStringLiteral("Give each camera view a name.");
const QString sameName = QStringLiteral("Use a different name for each camera view.");
const QString ranges = QStringLiteral(
    "Camera directions and view width must be finite values within the supported ranges.");
const QString normalMapping =
    QStringLiteral("Final Cut Normal mapping supports view width settings from 45 to 125.");

constexpr std::int64_t i64min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t i64max = std::numeric_limits<std::int64_t>::max();

MediaTime withFlags(MediaTime t, std::uint32_t flags) {
    t.flags |= flags;
    return t;
}

using Change = std::function<void(ExportRequest&)>;

Change source(const QString& path) {
    return [=](ExportRequest& r) { r.source = QUrl::fromLocalFile(path); };
}
Change frame(std::int64_t width, std::int64_t height) {
    return [=](ExportRequest& r) { r.width = width, r.height = height; };
}
Change named(const QString& name) {
    return [=](ExportRequest& r) { r.name = name; };
}
Change timing(MediaTime ExportMediaInfo::*field, MediaTime value) {
    return [=](ExportRequest& r) { r.info.*field = value; };
}
template <typename T> Change view(qsizetype index, T ExportView::*field, T value) {
    return [=](ExportRequest& r) { r.views[index].*field = value; };
}
Change both(Change first, Change second) {
    return [=](ExportRequest& r) { first(r), second(r); };
}

struct Case {
    const char* label;
    Change change;
    QString expected;
};

} // namespace

TEST(ExportRequestCheck, FirstFailingRuleDecidesTheMessage) {
    using I = ExportMediaInfo;
    using V = ExportView;
    const Change nothing = [](ExportRequest&) {};
    const Change twoByOne = frame(2000, 1000); // neither 16:9 nor 9:16
    const std::vector<Case> cases = {
        {"typical request", nothing, ok},
        {"upper-case extension", source("/clips/clip.MOV"), ok},
        {"mkv", source("/clips/clip.mkv"), wrongSource},
        {"web address", [](ExportRequest& r) { r.source = QUrl("https://a.example/clip.mp4"); },
         wrongSource},
        {"two views, all else wrong",
         [](ExportRequest& r) {
             r.views.resize(2);
             r.layout = "sideways", r.width = 0, r.info.width = 1, r.name = "";
         },
         viewCount},
        {"five views", [](ExportRequest& r) { r.views.append(r.views[0]); }, viewCount},
        {"layout is case-sensitive", [](ExportRequest& r) { r.layout = "Direct"; }, unknownLayout},
        {"odd width", frame(1919, 1080), outputSize},
        {"zero width", frame(0, 1080), outputSize},
        {"height beyond 32 bits", frame(1920, 2147483648), outputSize},
        {"largest even size", frame(2147483646, 2), ok},
        {"source a row short", [](ExportRequest& r) { r.info.height = 1921; }, notEquirect},
        {"16:9 source", [](ExportRequest& r) { r.info.height = 2160; }, notEquirect},
        {"empty source", [](ExportRequest& r) { r.info.width = r.info.height = 0; }, notEquirect},
        {"silent source", [](ExportRequest& r) { r.info.channels = r.info.sampleRate = 0; }, ok},
        {"channels without rate", [](ExportRequest& r) { r.info.sampleRate = 0; }, audioFormat},
        {"negative channels", [](ExportRequest& r) { r.info.channels = -1; }, audioFormat},
        {"rounded frame duration",
         timing(&I::frameDuration,
                withFlags(MediaTime::make(1001, 30000), MediaTime::HasBeenRounded)),
         inexact},
        {"duration in another epoch", timing(&I::duration, {300300, 30000, MediaTime::Valid, 1}),
         inexact},
        {"endless duration", timing(&I::duration, MediaTime::positiveInfinity()), inexact},
        {"smallest start", timing(&I::sourceStart, {i64min, 1, MediaTime::Valid, 0}), inexact},
        {"start off the frame grid", timing(&I::sourceStart, MediaTime::make(-7, 30000)), ok},
        {"inexact start before misaligned duration",
         both(timing(&I::duration, MediaTime::make(300301, 30000)),
              timing(&I::sourceStart, MediaTime::invalid())),
         inexact},
        {"part of a frame", timing(&I::duration, MediaTime::make(300301, 30000)), wholeFrames},
        {"no frames", timing(&I::duration, MediaTime::make(0, 30000)), wholeFrames},
        {"negative frame", timing(&I::frameDuration, MediaTime::make(-1001, 30000)), wholeFrames},
        {"blank project name", named("   "), projectName},
        {"Unicode spaces only", named(QString::fromUtf16(u"\u2003\u2028\u0085")), projectName},
        {"bell in project name", named(QString::fromUtf16(u"Dive\u0007")), controlChars},
        {"noncharacter in file name", source(QString::fromUtf16(u"/c/a\uFFFE.mp4")), controlChars},
        {"escape in colour space",
         [](ExportRequest& r) { r.info.colorSpace = QString::fromUtf16(u"Rec\u001B709"); },
         controlChars},
        {"empty first view before second view's range",
         both(view(0, &V::name, QString(" \t")), view(1, &V::tilt, 95.0)), viewName},
        {"form feed in a view name", view(2, &V::name, QString("Back\f")), controlChars},
        {"case and trailing space", view(1, &V::name, QString("front ")), sameName},
        {"diacritics are not folded", view(1, &V::name, QString::fromUtf16(u"Fr\u00F6nt")), ok},
        {"earlier range before later duplicate",
         both(view(1, &V::pan, 181.0), view(2, &V::name, QString("FRONT"))), ranges},
        {"tilt straight up", view(0, &V::tilt, 90.0), ok},
        {"tilt past the pole", view(0, &V::tilt, 90.0001), ranges},
        {"roll at -180", view(0, &V::roll, -180.0), ok},
        {"pan not a number", view(3, &V::pan, std::nan("")), ranges},
        {"infinite roll", view(3, &V::roll, HUGE_VAL), ranges},
        {"view width under 10", view(0, &V::fieldOfView, 9.99), ranges},
        {"view width 179.9 in 16:9", view(0, &V::fieldOfView, 179.9), normalMapping},
        {"view width 179.9 in 2:1", both(twoByOne, view(0, &V::fieldOfView, 179.9)), ok},
        {"view width 10 in 2:1", both(twoByOne, view(0, &V::fieldOfView, 10.0)), ok},
        {"view width 180 in 2:1", both(twoByOne, view(0, &V::fieldOfView, 180.0)), ranges},
        {"view width 125", view(0, &V::fieldOfView, 125.0), ok},
        {"view width past 125", view(0, &V::fieldOfView, 125.0001), normalMapping},
        {"view width 45", view(0, &V::fieldOfView, 45.0), ok},
        {"view width 44.9", view(0, &V::fieldOfView, 44.9), normalMapping},
        {"portrait holds 45 to 125", both(frame(1080, 1920), view(2, &V::fieldOfView, 130.0)),
         normalMapping},
    };
    for (const Case& c : cases) {
        ExportRequest request = typicalRequest();
        c.change(request);
        EXPECT_EQ(messageOf([&] { checkRequest(request); }), c.expected) << c.label;
    }
}

TEST(ExportRequestCheck, XMLTextAcceptsEveryXMLCharacterAndNothingElse) {
    for (const char16_t* text : {u"", u"Tab\tLine\nReturn\r", u"\uD7FF\uE000\uFFFD",
                                 u"\U0001F600 \U0010FFFF", u"Reef & <Wreck> \"\u2014\""}) {
        EXPECT_EQ(messageOf([&] { FCPXMLExporter::checkXMLText(QString::fromUtf16(text)); }), ok);
    }
    for (QString text : {QString(QChar(0)), QStringLiteral("\x08"), QStringLiteral("\x0B"),
                         QStringLiteral("\x1F"), QString(QChar(0xFFFF)), QString(QChar(0xDC00))}) {
        EXPECT_EQ(messageOf([&] { FCPXMLExporter::checkXMLText("a" + text); }), controlChars)
            << text.toUcs4().value(1);
    }
}

TEST(ExportRequestCheck, FrameAlignmentIsExactForHugeValues) {
    using FCPXMLExporter::frameAligned;
    const MediaTime ntscFrame = MediaTime::make(1001, 30000);
    // 9 × 10^15 frames: t.value × f.timescale is far beyond 64 bits.
    const std::int64_t frames = 9'000'000'000'000'000;
    EXPECT_TRUE(frameAligned(MediaTime::make(1001 * frames, 30000), ntscFrame));
    EXPECT_FALSE(frameAligned(MediaTime::make(1001 * frames + 1, 30000), ntscFrame));
    EXPECT_TRUE(frameAligned(MediaTime::make(1001, 1000), ntscFrame)); // 30 frames
    EXPECT_FALSE(frameAligned(MediaTime::make(10, 1), ntscFrame));
    EXPECT_TRUE(frameAligned(MediaTime::make(i64max, 1), MediaTime::make(1, 1)));
    EXPECT_FALSE(frameAligned(MediaTime::make(i64max, 1), MediaTime::make(2, 1)));
    EXPECT_TRUE(frameAligned(MediaTime::make(0, 600), ntscFrame));
    EXPECT_FALSE(frameAligned(MediaTime::make(1001, 30000), MediaTime::make(0, 30000)));
}

TEST(ExportRequestCheck, SecondsWritesReducedRationalsAndRefusesInexactTimes) {
    using FCPXMLExporter::seconds;
    EXPECT_EQ(seconds(MediaTime::make(1001, 30000)), "1001/30000s");
    EXPECT_EQ(seconds(MediaTime::make(2002, 60000)), "1001/30000s");
    EXPECT_EQ(seconds(MediaTime::make(90000, 90000)), "1s");
    EXPECT_EQ(seconds(MediaTime::make(0, 600)), "0s");
    EXPECT_EQ(seconds(MediaTime::make(3600, 1)), "3600s");
    EXPECT_EQ(seconds(MediaTime::make(-2002, 60000)), "-1001/30000s");
    EXPECT_EQ(seconds(MediaTime::make(i64max, 2147483647)), "9223372036854775807/2147483647s");
    EXPECT_EQ(seconds(MediaTime::make(i64min + 1, 1)), "-9223372036854775807s");

    MediaTime laterEpoch = MediaTime::make(1, 1);
    laterEpoch.epoch = 2;
    for (const MediaTime& refused :
         {withFlags(MediaTime::make(1001, 30000), MediaTime::HasBeenRounded), laterEpoch,
          MediaTime::make(i64min, 1), MediaTime::positiveInfinity(), MediaTime::negativeInfinity(),
          MediaTime::indefinite(), MediaTime::invalid(), MediaTime{5, 0, MediaTime::Valid, 0},
          MediaTime{5, -30000, MediaTime::Valid, 0}}) {
        EXPECT_EQ(messageOf([&] { seconds(refused); }), inexact)
            << refused.value << "/" << refused.timescale << " flags " << refused.flags;
    }
}
