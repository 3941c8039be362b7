#include "model/AngleSettings.h"
#include "model/ExportRequest.h"
#include "model/FileNames.h"
#include "model/MediaTime.h"
#include "model/NativeProjection.h"
#include "model/UserError.h"
#include "model/ViewGeometry.h"
#include "model/ViewPresets.h"
#include "support/Outcomes.h"
#include "support/Printing.h"

#include <QRandomGenerator>
#include <cmath>
#include <gtest/gtest.h>

namespace {
constexpr std::int64_t max = INT64_MAX, min = INT64_MIN;
constexpr std::int32_t huge = INT32_MAX;
constexpr double inf = HUGE_VAL;
const OutputFormat landscape = OutputFormat::landscape, portrait = OutputFormat::portrait;
using M = MediaTime;
M t(std::int64_t value, std::int32_t timescale, std::uint32_t flags = 0, std::int64_t epoch = 0) {
    M time = M::make(value, timescale);
    time.flags |= flags, time.epoch = epoch;
    return time;
}
ExportView view(const char* name, ViewAngles angles = {0, 0, 0, 90}) {
    return {QString::fromUtf8(name), angles};
}
} // namespace

TEST(MediaTime, OrderIsExactWhereDoublesCannotTellTimesApart) {
    const M ordered[] = {M::negativeInfinity(), t(min, 1),       t(min, huge),
                         t(1001, 30000),        t(1002, 30000),  t(max - 1, huge),
                         t(max, huge),          t(max, 2),       t(max, 1),
                         t(0, 1, 0, 1),         M::indefinite(), M::positiveInfinity(),
                         M::invalid()};
    for (std::size_t i = 0; i < std::size(ordered); ++i)
        for (std::size_t j = 0; j < std::size(ordered); ++j)
            EXPECT_EQ(compare(ordered[i], ordered[j]), i < j ? -1 : i > j ? 1 : 0) << i << "," << j;
    EXPECT_EQ(t(1001, 30000), t(2002, 60000));
}

TEST(MediaTime, SumsDifferencesAndReductionsAreExactOrInvalid) {
    const std::pair<M, M> cases[] = {
        {t(1001, 30000) + t(1001, 30000), t(2002, 30000)},
        {t(1, 25) + t(1001, 30000), t(2201, 30000)},
        {t(1, 25) - t(2, 25), t(-1, 25)},
        {t(max, 1) + t(1, 1), M::invalid()},
        {t(min, 1) - t(1, 1), M::invalid()},
        // Coprime large timescales: no common timescale fits 32 bits and the sum does not reduce.
        {t(1, 2147483647) + t(1, 2147483629), M::invalid()},
        {M::positiveInfinity() + t(1, 1), M::positiveInfinity()},
        {reduced(t(300300, 30000)), t(1001, 100)},
        {reduced(t(2002, 60000, M::HasBeenRounded)), t(1001, 30000)},
        {reduced(t(0, 600)), t(0, 1)},
        {reduced(t(-4, 6)), t(-2, 3)},
        {reduced(t(10, 20, 0, 2)), t(10, 20, 0, 2)},
        {M::fromSeconds(2.5, 600), t(1500, 600)},
        {M::fromSeconds(0.1234, 600), t(74, 600, M::HasBeenRounded)},
        {M::fromSeconds(std::nan(""), 600), M::invalid()},
        {M::fromSeconds(1e300, 600), M::positiveInfinity()},
    };
    for (const auto& [a, b] : cases) // field by field, where == compares the values only
        EXPECT_TRUE(a.isValid() ? std::tie(a.value, a.timescale, a.flags, a.epoch) ==
                                      std::tie(b.value, b.timescale, b.flags, b.epoch)
                                : !b.isValid())
            << a.value << "/" << a.timescale << " flags " << a.flags;
}

TEST(NativeProjection, CoverageAndParametersFollowTheMeasuredTable) {
    const auto round3 = [](double x) { return std::round(x * 1000) / 1000; };
    for (const auto& [width, h, v] :
         {std::tuple{45.0, 38.647, 23.093}, {90.0, 85.536, 53.236}, {125.0, 142.321, 88.241}}) {
        const Coverage c = NativeProjection::coverage(width, 16.0 / 9.0);
        const Coverage turned = NativeProjection::coverage(width, 9.0 / 16.0);
        EXPECT_TRUE(round3(c.horizontal) == h && round3(c.vertical) == v) << width;
        EXPECT_TRUE(turned.horizontal == c.vertical && turned.vertical == c.horizontal) << width;
    }
    for (double bad : {0.0, -1.0, std::nan(""), inf})
        EXPECT_EQ(round3(NativeProjection::coverage(90, bad).horizontal), 85.536);
    const auto mid = NativeProjection::parameters(47.5);
    EXPECT_NEAR(mid.focalLength, 0.7114563111635, 1e-12);
    EXPECT_NEAR(mid.sphereOffset, -0.4399604925135, 1e-12);
    for (double width : {45.0, 30.0, -1e308})
        EXPECT_EQ(NativeProjection::parameters(width),
                  (NativeProjectionParameters{0.723513489537, -0.464836132957}));
    for (double width : {90.0, std::nan(""), inf, -inf})
        EXPECT_EQ(NativeProjection::parameters(width),
                  (NativeProjectionParameters{0.680508099233, 0.190060970245}));
    for (double width : {125.0, 200.0})
        EXPECT_EQ(NativeProjection::parameters(width),
                  (NativeProjectionParameters{0.678136895508, 0.960690261596}));
}

TEST(ProjectNaming, NamesComeTrimmedFromTheVideoOrTheUserAndFileNamesAreSafe) {
    // A no-break space and an ideographic space are white space too.
    for (const auto& [file, base] : {std::pair{QString("  Ride.01 .mov"), u"Ride.01"},
                                     {QString("   .mp4"), u"Pellawick"},
                                     {QString::fromUtf16(u"\u00A0Dive\u3000.MOV"), u"Dive"},
                                     {FileNames::decodedPath("Reef\xFF.mp4"), u"Reef\uFFFD"}}) {
        ProjectNaming naming;
        naming.setSource(QUrl::fromLocalFile("/clips/" + file));
        EXPECT_EQ(naming.sourceBaseName(), QString::fromUtf16(base));
    }
    // The user's name survives toggles and later videos; a blank one gives the video's.
    ProjectNaming naming;
    naming.setSource(QUrl::fromLocalFile("/clips/First.mp4"));
    naming.setUsesSourceName(false);
    naming.setUsesSourceName(true);
    naming.setSource(QUrl::fromLocalFile("/clips/Second.mp4"));
    EXPECT_EQ(naming.baseName(), "Second");
    naming.setUsesSourceName(false);
    EXPECT_EQ(naming.baseName(), "First");
    naming.setBaseName("   ");
    EXPECT_EQ(naming.title(3, portrait, OutputResolution::hd, true),
              "Second - 3 angles - Portrait 9x16 - HD");
    EXPECT_EQ(naming.suffix(4, landscape, OutputResolution::hd, false),
              " - 4 angles - Landscape 16x9");
    naming.setAppendsDetails(false);
    // Format characters (Cf) go like control characters; astral scalars stay whole.
    for (const auto& [title, file] :
         {std::pair{u"  Dive  ", u"Dive"},
          {u"X/Y: Z", u"X-Y- Z"},
          {u"A\tB\r\nC\\D", u"A-B--C-D"},
          {u"Left\u200BRight", u"Left-Right"},
          {u"\U0001F468\u200D\U0001F469 \u00E9", u"\U0001F468-\U0001F469 \u00E9"}}) {
        naming.setBaseName(QString::fromUtf16(title));
        EXPECT_EQ(naming.filename(4, landscape, OutputResolution::ultraHD, true),
                  QString::fromUtf16(file) + ".fcpxml");
    }
}

TEST(FileNames, PathsKeepEveryByteAndShowTheOnesThatAreNotText) {
    // The UTF-8 forms of surrogates (U+DC80 and U+DCFF among them) are no text either.
    QList<QByteArray> paths =
        QByteArray("|\xFF|a\xC3|\xC0\xAF|\xE2\x82|\xF4\x90\x80\x80|\xF8\x88\x80"
                   "\x80\x80|\xED\xA0\x80|\xED\xB2\x80\xED\xB3\xBF")
            .split('|');
    QRandomGenerator random(1998);
    for (int i = 0; i < 5000; ++i) {
        QByteArray bytes(random.bounded(1, 9), '\0');
        for (char& c : bytes)
            c = char(random.bounded(2) ? random.bounded(0x80, 0x100) : random.bounded(1, 0x100));
        paths.append(bytes);
    }
    for (const QByteArray& bytes : paths)
        ASSERT_EQ(FileNames::encodedPath(FileNames::decodedPath(bytes)), bytes)
            << bytes.toHex().data();
    // U+1F480 is stored as U+D83D U+DC80: the second half of a pair is no escaped byte.
    const QString text = QString::fromUtf16(u"/a b/\u00E9[1]/\U0001F600\U0001F480");
    EXPECT_TRUE(FileNames::decodedPath(text.toUtf8()) == text &&
                FileNames::displayText(text) == text);
    EXPECT_EQ(FileNames::encodedPath(text), text.toUtf8());
    const QString raw = FileNames::decodedPath("/a b/\xC3\xA9[1]/\xFF\xED\xB2\x80.mp4");
    EXPECT_EQ(FileNames::displayText(raw),
              QString::fromUtf16(u"/a b/\u00E9[1]/\uFFFD\uFFFD\uFFFD\uFFFD.mp4"));
    EXPECT_EQ(FileNames::fileURLText(raw), "file:///a%20b/%C3%A9%5B1%5D/%FF%ED%B2%80.mp4");
}

TEST(ViewPresets, StartingViewsAreTheWindowsAndPortraitFollowsLandscapeOnce) {
    const QList<ExportView> expected{view("Self", {180, -12, 0, 90}), view("Wing"),
                                     view("Front", {110, 0, 0, 90}), view("Rear", {-90, 0, 0, 90})};
    QObject owner;
    const QList<AngleSettings*> angles = AngleSettings::startingViews(&owner);
    for (OutputFormat format : {landscape, portrait})
        EXPECT_TRUE(ViewPresets::views(format) == expected &&
                    framedViews(angles, format) == expected);
    EXPECT_TRUE(activeAngles(angles, 3) == angles.first(3) && activeAngles(angles, 9) == angles);
    EXPECT_EQ(keyInstruction(3), "1, 2, and 3");

    AngleFraming framing(ViewAngles{180, -12, 5, 100});
    framing.prepareForSelection(landscape);
    framing.set(landscape, ViewAngles{30, 10, 0, 60});
    framing.prepareForSelection(portrait); // the first selection takes the direction, once
    framing.set(landscape, ViewAngles{0, 0, 0, 70});
    framing.prepareForSelection(portrait);
    EXPECT_EQ(framing[portrait], (ViewAngles{30, 10, 0, 90}));
    AngleFraming edited(ViewAngles{30, 10, 0, 100});
    edited.set(portrait, ViewAngles{-45, 5, 2, 70}); // an edited portrait survives the first one
    edited.prepareForSelection(portrait);
    EXPECT_EQ(edited[portrait], (ViewAngles{-45, 5, 2, 70}));
}

TEST(ExportRequests, ViewRefusalsNameTheFirstFailingView) {
    const QString range = QString::fromUtf16(
        u": set pan and roll from \u2212180\u00B0 to 180\u00B0, tilt from \u221290\u00B0 to "
        u"90\u00B0, and view width from 45.0 to 125.0.");
    const QString duplicate = "Use a different name for each camera view so they are easy to "
                              "identify in Final Cut Pro.";
    QList<std::pair<QList<ExportView>, QString>> rows = {
        {{view("Self"), view("Wing", {-180, -90, -180, 45}), view("Front", {180, 90, 180, 125})},
         {}},
        // A missing name wins over a duplicate and a bad range earlier in the list.
        {{view("A", {0, 91, 0, 90}), view("A"), view(" \t")},
         "Give each camera view a name before exporting."},
        {{view("Front", {0, 95, 0, 90}), view("front ")}, duplicate},
        {{view("\xC3\x84rm"), view("\xC3\xA4rm")}, duplicate},
        {{view("Self"), view(" Wing ", {0, 0, 0, 125.5}), view("Bow", {0, 0, 0, 30})},
         "Wing" + range},
    };
    const double out[][4] = {{0, 0, 0, 44.9},    {0, 0, 0, NAN},    {-180.01, 0, 0, 90},
                             {180.01, 0, 0, 90}, {0, 90.01, 0, 90}, {0, -90.01, 0, 90},
                             {0, 0, 180.01, 90}, {0, 0, -inf, 90}};
    for (const auto& a : out)
        rows.append({{view("Self"), view("Bow", {a[0], a[1], a[2], a[3]})}, "Bow" + range});
    for (const auto& [views, expected] : rows)
        for (OutputFormat format : {landscape, portrait})
            EXPECT_EQ(messageOf([&] { ExportRequests::checkViews(views, format); }),
                      expected.isEmpty() ? "no error" : expected)
                << views.last().name.toStdString();
}

TEST(ExportRequests, MakeTrimsNamesAndTakesSizeTitleAndLayoutFromTheSetup) {
    const QUrl source = QUrl::fromLocalFile("/clips/Ridge.mov");
    ProjectSetup setup;
    setup.views = {view(" Bow\n", {10, 20, 30, 60}), view("Wing"), view("Front")};
    setup.naming.setSource(source);
    setup.layout = ExportLayout::compound;
    using D = OutputDimensions;
    const OutputResolution hd = OutputResolution::hd, uhd = OutputResolution::ultraHD;
    for (const auto& [format, resolution, size, details] :
         {std::tuple{landscape, uhd, D{3840, 2160}, "Landscape 16x9 - 4K"},
          {landscape, hd, D{1920, 1080}, "Landscape 16x9 - HD"},
          {portrait, uhd, D{2160, 3840}, "Portrait 9x16 - 4K"},
          {portrait, hd, D{1080, 1920}, "Portrait 9x16 - HD"}}) {
        setup.format = format, setup.resolution = resolution;
        const ExportRequest request = ExportRequests::make(source, setup);
        const QString title = QString("Ridge - 3 angles - ") + details;
        EXPECT_TRUE(request.size == size && request.name == title) << details;
        EXPECT_EQ(ExportRequests::proposedFilename(setup), title + ".fcpxml");
        EXPECT_TRUE(request.source == source && request.layout == ExportLayout::compound &&
                    request.destination.isEmpty());
        EXPECT_EQ(request.views,
                  (QList{view("Bow", {10, 20, 30, 60}), view("Wing"), view("Front")}));
    }
    setup.views.append(view("bow"));
    setup.naming.setBaseName("Dive");
    EXPECT_EQ(ExportRequests::proposedFilename(setup),
              "Dive - 4 angles - Portrait 9x16 - HD.fcpxml");
    EXPECT_THROW(ExportRequests::make(source, setup), ExportError);
}

TEST(ViewGeometry, AGrabKeepsThePointUnderThePointerAndTurnsRollAboutTheCentre) {
    const QSizeF size(480, 270);
    QRandomGenerator random(18);
    int checked = 0;
    // Framings all round the sphere, across the seam included, and drags up to a third of the
    // width in any direction.
    for (double pan : {0.0, 179.0, -179.5, 95.0})
        for (double tilt : {-45.0, 0.0, 30.0})
            for (double roll : {0.0, 40.0, -175.0})
                for (double fov : {45.0, 90.0, 125.0}) {
                    const ViewAngles start{pan, tilt, roll, fov};
                    const QPointF pressed(random.bounded(480.0), random.bounded(270.0));
                    const QPointF now =
                        pressed + QPointF(random.bounded(320.0) - 160, random.bounded(320.0) - 160);
                    const ViewAngles turned = ViewGeometry::grabbed(start, pressed, now, size);
                    if (std::abs(turned.tilt) > 60)
                        continue; // tilt stops at ±90: the point may not be reachable
                    ++checked;
                    EXPECT_TRUE(std::abs(turned.pan) <= 180 && turned.roll == roll &&
                                turned.fov == fov);
                    const Vector3 grabbed = ViewGeometry::toSphere(
                        start, ViewGeometry::viewDirection(start, pressed, size));
                    const auto under = ViewGeometry::pictureOf(
                        turned, ViewGeometry::toView(turned, grabbed), size);
                    ASSERT_TRUE(under.has_value());
                    EXPECT_LT(std::hypot(under->x() - now.x(), under->y() - now.y()), 1.0)
                        << pan << " " << tilt << " " << roll << " " << fov;
                }
    EXPECT_GT(checked, 80);
    // Shift: a quarter turn of the pointer about the centre is a quarter turn of the horizon.
    const ViewAngles rolled = ViewGeometry::rolled({10, 20, 170, 90}, {440, 135}, {240, 35}, size);
    EXPECT_EQ(rolled.roll, 80);
    EXPECT_EQ(ViewGeometry::wrappedDegrees(-190), 170);
}
