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
const double notANumber = std::numeric_limits<double>::quiet_NaN();

MediaTime withFlags(MediaTime t, std::uint32_t flags) {
    t.flags |= flags;
    return t;
}

struct Case {
    const char* label;
    std::function<void(ExportRequest&)> change;
    QString expected;
};

// A frame that is neither 16:9 nor 9:16, where only the general view width range applies.
void squareish(ExportRequest& r) {
    r.width = 2000;
    r.height = 1000;
}

} // namespace

TEST(ExportRequestCheck, FirstFailingRuleDecidesTheMessage) {
    const std::vector<Case> cases = {
        {"typical request", [](ExportRequest&) {}, ok},
        {"upper-case extension",
         [](ExportRequest& r) { r.source = QUrl::fromLocalFile("/clips/clip.MOV"); }, ok},
        {"mkv", [](ExportRequest& r) { r.source = QUrl::fromLocalFile("/clips/clip.mkv"); },
         wrongSource},
        {"not a file URL",
         [](ExportRequest& r) { r.source = QUrl("https://example.com/clip.mp4"); }, wrongSource},
        {"two views with everything else wrong",
         [](ExportRequest& r) {
             r.views.resize(2);
             r.layout = "sideways";
             r.width = 0;
             r.info.width = 1;
             r.name = "";
         },
         viewCount},
        {"five views",
         [](ExportRequest& r) {
             r.views.append(ExportView{"Up", 0, 90, 0, 90});
         },
         viewCount},
        {"layout is case-sensitive", [](ExportRequest& r) { r.layout = "Direct"; }, unknownLayout},
        {"odd width", [](ExportRequest& r) { r.width = 1919; }, outputSize},
        {"zero width", [](ExportRequest& r) { r.width = 0; }, outputSize},
        {"width 1", [](ExportRequest& r) { r.width = 1; }, outputSize},
        {"height beyond 32 bits", [](ExportRequest& r) { r.height = 2147483648; }, outputSize},
        {"largest even size", [](ExportRequest& r) { r.width = 2147483646, r.height = 2; }, ok},
        {"source one row short", [](ExportRequest& r) { r.info.height = 1921; }, notEquirect},
        {"16:9 source", [](ExportRequest& r) { r.info.height = 2160; }, notEquirect},
        {"empty source", [](ExportRequest& r) { r.info.width = r.info.height = 0; }, notEquirect},
        {"silent source", [](ExportRequest& r) { r.info.channels = r.info.sampleRate = 0; }, ok},
        {"channels without rate", [](ExportRequest& r) { r.info.sampleRate = 0; }, audioFormat},
        {"negative channels", [](ExportRequest& r) { r.info.channels = -1; }, audioFormat},
        {"rounded frame duration",
         [](ExportRequest& r) {
             r.info.frameDuration = withFlags(r.info.frameDuration, MediaTime::HasBeenRounded);
         },
         inexact},
        {"duration in another epoch", [](ExportRequest& r) { r.info.duration.epoch = 1; }, inexact},
        {"endless duration",
         [](ExportRequest& r) { r.info.duration = MediaTime::positiveInfinity(); }, inexact},
        {"smallest start",
         [](ExportRequest& r) {
             r.info.sourceStart = {i64min, 1, 1, 0};
         },
         inexact},
        {"start before zero, off the frame grid",
         [](ExportRequest& r) { r.info.sourceStart = MediaTime::make(-7, 30000); }, ok},
        {"inexact timing wins over misaligned duration",
         [](ExportRequest& r) {
             r.info.duration = MediaTime::make(300301, 30000);
             r.info.sourceStart = MediaTime::invalid();
         },
         inexact},
        {"part of a frame",
         [](ExportRequest& r) { r.info.duration = MediaTime::make(300301, 30000); }, wholeFrames},
        {"no frames", [](ExportRequest& r) { r.info.duration = MediaTime::make(0, 30000); },
         wholeFrames},
        {"negative frame duration",
         [](ExportRequest& r) { r.info.frameDuration = MediaTime::make(-1001, 30000); },
         wholeFrames},
        {"blank project name", [](ExportRequest& r) { r.name = "   "; }, projectName},
        {"Unicode space and line break only",
         [](ExportRequest& r) { r.name = QString::fromUtf16(u"\u2003\u2028\u0085"); }, projectName},
        {"bell in project name",
         [](ExportRequest& r) { r.name = QString::fromUtf16(u"Dive\u0007"); }, controlChars},
        {"noncharacter in file name",
         [](ExportRequest& r) {
             r.source = QUrl::fromLocalFile(QString::fromUtf16(u"/c/a\uFFFE.mp4"));
         },
         controlChars},
        {"escape in colour space",
         [](ExportRequest& r) { r.info.colorSpace = QString::fromUtf16(u"Rec\u001B709"); },
         controlChars},
        {"lone surrogate in project name",
         [](ExportRequest& r) { r.name = QString(QChar(0xD800)) + "Dive"; }, controlChars},
        {"empty first view beats the second view's range",
         [](ExportRequest& r) {
             r.views[0].name = " \t";
             r.views[1].tilt = 95;
         },
         viewName},
        {"form feed in a view name", [](ExportRequest& r) { r.views[2].name = "Back\f"; },
         controlChars},
        {"names differ only in case and a trailing space",
         [](ExportRequest& r) { r.views[1].name = "front "; }, sameName},
        {"diacritics are not folded",
         [](ExportRequest& r) { r.views[1].name = QString::fromUtf16(u"Fr\u00F6nt"); }, ok},
        {"earlier view's range before a later duplicate",
         [](ExportRequest& r) {
             r.views[1].pan = 181;
             r.views[2].name = "FRONT";
         },
         ranges},
        {"tilt straight up", [](ExportRequest& r) { r.views[0].tilt = 90; }, ok},
        {"tilt past the pole", [](ExportRequest& r) { r.views[0].tilt = 90.0001; }, ranges},
        {"roll at -180", [](ExportRequest& r) { r.views[0].roll = -180; }, ok},
        {"pan not a number", [](ExportRequest& r) { r.views[3].pan = notANumber; }, ranges},
        {"infinite roll",
         [](ExportRequest& r) { r.views[3].roll = std::numeric_limits<double>::infinity(); },
         ranges},
        {"view width under 10", [](ExportRequest& r) { r.views[0].fieldOfView = 9.99; }, ranges},
        {"view width 179.9 in a 16:9 frame",
         [](ExportRequest& r) { r.views[0].fieldOfView = 179.9; }, normalMapping},
        {"view width 179.9 in a 2:1 frame",
         [](ExportRequest& r) {
             squareish(r);
             r.views[0].fieldOfView = 179.9;
         },
         ok},
        {"view width 10 in a 2:1 frame",
         [](ExportRequest& r) {
             squareish(r);
             r.views[0].fieldOfView = 10;
         },
         ok},
        {"view width 180 in a 2:1 frame",
         [](ExportRequest& r) {
             squareish(r);
             r.views[0].fieldOfView = 180;
         },
         ranges},
        {"view width 125", [](ExportRequest& r) { r.views[0].fieldOfView = 125; }, ok},
        {"view width just over 125", [](ExportRequest& r) { r.views[0].fieldOfView = 125.0001; },
         normalMapping},
        {"view width 45", [](ExportRequest& r) { r.views[0].fieldOfView = 45; }, ok},
        {"view width 44.9", [](ExportRequest& r) { r.views[0].fieldOfView = 44.9; }, normalMapping},
        {"portrait frame holds the 45 to 125 range",
         [](ExportRequest& r) {
             r.width = 1080;
             r.height = 1920;
             r.views[2].fieldOfView = 130;
         },
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
