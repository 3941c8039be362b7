// What the GPU draws against a double-precision reference on the CPU, the renderer's frames, the
// preview surfaces drawing them for a live session, and still pictures of a real clip.
#include "gl/TestFrames.h"
#include "model/NativeProjection.h"
#include "model/PlatformTexts.h"
#include "model/UserError.h"
#include "model/ViewGeometry.h"
#include "preview/gl/LiveAnglePreview.h"
#include "preview/gl/OffscreenView.h"
#include "preview/gl/StillRenderer.h"
#include "preview/player/EndingThread.h"
#include "preview/player/FFmpegPlayer.h"
#include "support/Clips.h"
#include "support/Printing.h"
#include "support/ScriptedPlayer.h"
#include "support/Waiting.h"

#include <QHBoxLayout>
#include <QOpenGLContext>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <chrono>
#include <numbers>
#include <thread>

namespace {

using namespace TestFrames;

constexpr int sourceWidth = 512, sourceHeight = 256, cellSize = 32; // 16 × 8 cells
using Triple = std::array<double, 3>; // Y'CbCr codes on the 8-bit scale, or R'G'B' 0…255

struct SourcePoint {
    double u; // 0…1 across longitude, 0.5 straight ahead
    double v; // 0…1 down latitude, 0 the top row
};

// Where the centre of pixel (px, py) of a width × height view looks on the source.
SourcePoint sourcePoint(const ViewAngles& angles, int width, int height, int px, int py) {
    const NativeProjectionParameters projection = NativeProjection::parameters(angles.fov);
    const double half = (double(width) / std::max(width, height)) / (2 * projection.focalLength);
    const Vector3 d = projection.sphereDirection(
        (2 * (px + 0.5) / width - 1) * half, (1 - 2 * (py + 0.5) / height) * half * height / width);
    constexpr double radians = std::numbers::pi / 180;
    const double roll = angles.roll * radians, tilt = angles.tilt * radians;
    const double pan = -angles.pan * radians;
    const double rx = std::cos(roll) * d.x - std::sin(roll) * d.y;
    const double ry = std::sin(roll) * d.x + std::cos(roll) * d.y;
    const double ty = std::cos(tilt) * ry + std::sin(tilt) * d.z;
    const double tz = -std::sin(tilt) * ry + std::cos(tilt) * d.z;
    const double sx = std::cos(pan) * rx + std::sin(pan) * tz;
    const double sz = -std::sin(pan) * rx + std::cos(pan) * tz;
    return {std::atan2(sx, sz) / (2 * std::numbers::pi) + 0.5,
            0.5 - std::asin(std::clamp(ty / std::hypot(sx, ty, sz), -1.0, 1.0)) / std::numbers::pi};
}

// A yuv420p frame sampled as the GPU does: bilinear, longitude repeating, latitude clamped at the
// poles (or, to show what must not happen, repeating too).
Triple codesAt(const VideoFrame& frame, SourcePoint p, bool repeatLatitude = false) {
    Triple codes;
    for (int plane = 0; plane < 3; ++plane) {
        const int width = plane ? (frame.width() + 1) / 2 : frame.width();
        const int height = plane ? (frame.height() + 1) / 2 : frame.height();
        const double sx = p.u * width - 0.5, sy = p.v * height - 0.5;
        const int x0 = int(std::floor(sx)), y0 = int(std::floor(sy));
        const auto at = [&](int i, int j) {
            i = (i % width + width) % width;
            j = repeatLatitude ? (j % height + height) % height : std::clamp(j, 0, height - 1);
            return double(frame.plane(plane)[std::ptrdiff_t(j) * frame.lineSize(plane) + i]);
        };
        const double ax = sx - x0, ay = sy - y0;
        codes[plane] = (1 - ay) * ((1 - ax) * at(x0, y0) + ax * at(x0 + 1, y0)) +
                       ay * ((1 - ax) * at(x0, y0 + 1) + ax * at(x0 + 1, y0 + 1));
    }
    return codes;
}

// BT.709 video range.
Triple toRgb(const Triple& c) {
    const double y = (c[0] - 16) / 219, cb = (c[1] - 128) / 224, cr = (c[2] - 128) / 224;
    const auto channel = [](double value) { return std::clamp(value, 0.0, 1.0) * 255; };
    return {channel(y + 1.5748 * cr), channel(y - 0.187324 * cb - 0.468124 * cr),
            channel(y + 1.8556 * cb)};
}

double difference(const QImage& image, int x, int y, const Triple& rgb) {
    const QRgb pixel = image.pixel(x, y);
    return std::max({std::abs(qRed(pixel) - rgb[0]), std::abs(qGreen(pixel) - rgb[1]),
                     std::abs(qBlue(pixel) - rgb[2])});
}

// OpenGL may filter 8-bit textures at 8-bit precision (llvmpipe does): each filtered plane value
// may then be off by up to a code.
constexpr double tolerance = 3.5;

// A colour per cell, but one for each pole's whole row (a pole has no longitude); moderate steps
// between cells, so that sub-texel precision at an edge cannot use up the tolerance by itself.
VideoFrame calibrationFrame() {
    const auto colour = [](int column, int row) -> YCbCr {
        if (row == 0 || row == sourceHeight / cellSize - 1)
            return row ? YCbCr{60, 150, 110} : YCbCr{150, 110, 140};
        return {50 + (column * 37 + row * 53) % 120, 90 + (column * 29 + row * 17) % 76,
                90 + (column * 13 + row * 41) % 76};
    };
    return make(
        AV_PIX_FMT_YUV420P, sourceWidth, sourceHeight, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
        [=](int x, int y) { return colour(x / cellSize, y / cellSize).y; },
        [=](int cx, int cy) {
            const YCbCr c = colour(2 * cx / cellSize, 2 * cy / cellSize);
            return std::make_pair(c.cb, c.cr);
        });
}

TEST(Projection, MatchesTheReferenceAwayFromThePolesBlendsTheSeamButNeverThePoles) {
    LiveGLRenderer renderer;
    const VideoFrame source = calibrationFrame();
    const auto frame = renderer.makeGLFrame(source, 0);
    const QSize wide(192, 108), tall(108, 192);
    const std::pair<ViewAngles, QSize> framings[] = {
        {{0, 0, 0, 90}, wide},          {{90, 0, 0, 90}, tall},
        {{-90, 0, 0, 45}, wide},        {{180, 0, 0, 125}, wide},
        {{0, 90, 0, 90}, wide},         {{0, -90, 0, 125}, tall},
        {{30, 20, 45, 90}, wide},       {{-135, -30, -20, 60}, tall},
        {{10, 45, 0, 125}, {191, 107}}, {{170, -10, 10, 45}, {107, 191}}};
    for (const auto& [angles, size] : framings) {
        SCOPED_TRACE(testing::Message()
                     << angles.pan << ", " << angles.tilt << ", " << angles.roll << ", "
                     << angles.fov << " in " << size.width() << " × " << size.height());
        const QImage image = OffscreenView::render(renderer, frame, angles, size);
        int compared = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const SourcePoint point = sourcePoint(angles, size.width(), size.height(), x, y);
                // Within two texels of a pole, longitude is too ill-conditioned to compare.
                if (std::min(point.v, 1 - point.v) * sourceHeight < 2)
                    continue;
                ++compared;
                ASSERT_LE(difference(image, x, y, toRgb(codesAt(source, point))), tolerance)
                    << "at (" << x << ", " << y << ")";
            }
        }
        EXPECT_GT(compared, size.width() * size.height() / 2);
    }

    // The centre of this view looks exactly at the seam: the last column must mix with the first.
    const ViewAngles seam{180, 11.25, 0, 45};
    const QImage image = OffscreenView::render(renderer, frame, seam, QSize(63, 35));
    const SourcePoint point = sourcePoint(seam, 63, 35, 31, 17);
    ASSERT_NEAR(std::min(point.u, 1 - point.u), 0.0, 1e-9);
    EXPECT_LE(difference(image, 31, 17, toRgb(codesAt(source, point))), tolerance);
    for (double edge : {0.5 / sourceWidth, 1 - 0.5 / sourceWidth})
        EXPECT_GT(difference(image, 31, 17, toRgb(codesAt(source, {edge, point.v}))), 8.0);

    for (double tilt : {90.0, -90.0}) {
        const QImage pole = OffscreenView::render(renderer, frame, {37, tilt, 0, 45}, {33, 33});
        const SourcePoint top{0.5, tilt > 0 ? 0.0 : 1.0};
        const Triple clamped = toRgb(codesAt(source, top));
        ASSERT_GT(std::abs(clamped[0] - toRgb(codesAt(source, top, true))[0]), 20.0);
        // The middle of the view lies well inside the polar cap: all of it the cap's own colour.
        for (int y = 12; y <= 20; ++y)
            for (int x = 12; x <= 20; ++x)
                EXPECT_LE(difference(pole, x, y, clamped), 2.0) << tilt << ": " << x << ", " << y;
    }

    // The overview shows the source as it stands: every cell in its place, the top row on top.
    // An overlay of another size is stretched over it: opaque on the left half, clear on the right.
    QImage overlay(32, 16, QImage::Format_ARGB32_Premultiplied);
    overlay.fill(Qt::transparent);
    QPainter(&overlay).fillRect(0, 0, 16, 16, QColor(255, 0, 255));
    ASSERT_TRUE(
        near(OffscreenView::renderWholeSphere(renderer, frame, {64, 32}, overlay).pixel(20, 10),
             qRgb(255, 0, 255)));
    const QImage flat =
        OffscreenView::renderWholeSphere(renderer, frame, {128, 64}, overlay.copy(16, 0, 16, 16));
    for (int y = 4; y < 64; y += 8)
        for (int x = 4; x < 128; x += 8)
            EXPECT_LE(
                difference(flat, x, y, toRgb(codesAt(source, {(x + 0.5) / 128, (y + 0.5) / 64}))),
                tolerance)
                << x << ", " << y;
}

// Colour bars coded with the luma weights (kr, kb): the middle of each must be drawn its colour.
void expectBars(LiveGLRenderer& renderer, AVPixelFormat format, AVColorSpace matrix,
                AVColorRange range, double kr, double kb, int width = 180) {
    SCOPED_TRACE(testing::Message() << av_get_pix_fmt_name(format) << ", matrix " << matrix
                                    << ", range " << range << ", " << width << " wide");
    const std::array<int, 3> bars[] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255},
                                       {0, 255, 0},     {255, 0, 255}, {255, 0, 0},
                                       {0, 0, 255},     {0, 0, 0},     {224, 172, 140}};
    constexpr int count = int(std::size(bars));
    const int depth = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ? 8 : 10;
    std::vector<YCbCr> codes;
    for (const auto& rgb : bars)
        codes.push_back(encode(rgb, kr, kb, depth, range == AVCOL_RANGE_JPEG));
    const auto bar = [&](int x) { return codes[std::min(x * count / width, count - 1)]; };
    const auto pixels = renderer.makeGLFrame(
        make(
            format, width, width / 2, matrix, range, [&](int x, int) { return bar(x).y; },
            [&](int cx, int) {
                return std::pair{bar(2 * cx).cb, bar(2 * cx).cr};
            }),
        0);
    for (int i = 0; i < count; ++i) {
        const ViewAngles middleOfBar{(0.5 - (i + 0.5) / count) * 360, 0, 0, 45};
        const QRgb drawn = OffscreenView::render(renderer, pixels, middleOfBar, {9, 5}).pixel(4, 2);
        EXPECT_TRUE(near(drawn, qRgb(bars[i][0], bars[i][1], bars[i][2])))
            << "bar " << i << " drawn as " << std::hex << drawn;
    }
}

// The pointer and the sphere overview work on the CPU: they must find where the shader looks.
TEST(ViewGeometry, LooksWhereTheReferenceLooksAndOutlinesWhatAViewSamples) {
    const QSize view(192, 108);
    const ViewAngles framings[] = {
        {30, 10, 20, 90}, {178, -5, 0, 110}, {40, 75, 15, 120}, {-120, -80, 0, 100}};
    for (const ViewAngles& a : framings)
        for (int py = 0; py < view.height(); py += 7)
            for (int px = 0; px < view.width(); px += 11) {
                const QPointF got = ViewGeometry::sourcePoint(ViewGeometry::toSphere(
                    a, ViewGeometry::viewDirection(a, {px + 0.5, py + 0.5}, QSizeF(view))));
                const SourcePoint expected = sourcePoint(a, view.width(), view.height(), px, py);
                EXPECT_NEAR(std::remainder(got.x() - expected.u, 1.0), 0, 1e-9);
                EXPECT_NEAR(got.y(), expected.v, 1e-9);
            }

    // Every footprint encloses what its view samples, weighted by the area on the sphere: one
    // across the seam, one over the north pole, one over the south.
    constexpr int columns = 720, rows = 360, superSampled = 10;
    for (const ViewAngles& a : framings) {
        QImage sampled(columns, rows, QImage::Format_Grayscale8), outlined = sampled;
        sampled.fill(0);
        outlined.fill(0);
        const QSize dense = view * superSampled;
        for (int py = 0; py < dense.height(); ++py)
            for (int px = 0; px < dense.width(); ++px) {
                const SourcePoint p = sourcePoint(a, dense.width(), dense.height(), px, py);
                sampled.setPixel(std::min(int(p.u * columns), columns - 1),
                                 std::min(int(p.v * rows), rows - 1), 255);
            }
        const ViewGeometry::Footprint footprint = ViewGeometry::footprint(a, 16.0 / 9.0);
        QPainter painter(&outlined);
        for (double shift : {-1.0, 0.0, 1.0}) {
            QPolygonF polygon;
            for (QPointF point : footprint.region)
                polygon << QPointF((point.x() + shift) * columns, point.y() * rows);
            painter.setBrush(Qt::white);
            painter.setPen(Qt::NoPen);
            painter.drawPolygon(polygon);
        }
        painter.end();
        double both = 0, either = 0;
        for (int y = 0; y < rows; ++y) {
            const double area = std::cos(((y + 0.5) / rows - 0.5) * std::numbers::pi);
            for (int x = 0; x < columns; ++x) {
                const bool s = qGray(sampled.pixel(x, y)) > 0, o = qGray(outlined.pixel(x, y)) > 0;
                both += (s && o) * area;
                either += (s || o) * area;
            }
        }
        EXPECT_GE(both / either, 0.98) << a.pan << " " << a.tilt;
    }
    EXPECT_EQ(ViewGeometry::footprint(framings[2], 16.0 / 9.0).pole, 1);
    EXPECT_EQ(ViewGeometry::footprint(framings[3], 16.0 / 9.0).pole, -1);
    const auto seam = ViewGeometry::footprint(framings[1], 16.0 / 9.0).outline;
    EXPECT_TRUE(std::any_of(seam.begin(), seam.end(), [](QPointF p) { return p.x() > 1; }));
}

TEST(ColourConversion, BarsInEveryLayoutMatrixAndRangeAndUntaggedByPictureSize) {
    LiveGLRenderer renderer;
    for (AVPixelFormat format :
         {AV_PIX_FMT_YUV420P, AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_P010LE})
        for (auto [matrix, kr, kb] : {std::tuple{AVCOL_SPC_BT709, 0.2126, 0.0722},
                                      {AVCOL_SPC_SMPTE170M, 0.299, 0.114},
                                      {AVCOL_SPC_BT470BG, 0.299, 0.114},
                                      {AVCOL_SPC_BT2020_NCL, 0.2627, 0.0593}})
            for (AVColorRange range : {AVCOL_RANGE_MPEG, AVCOL_RANGE_JPEG})
                expectBars(renderer, format, matrix, range, kr, kb);
    // Untagged: BT.709 from 1280 pixels wide, BT.601 below, video range.
    const auto untagged = AVCOL_SPC_UNSPECIFIED;
    expectBars(renderer, AV_PIX_FMT_NV12, untagged, AVCOL_RANGE_UNSPECIFIED, 0.2126, 0.0722, 1280);
    expectBars(renderer, AV_PIX_FMT_NV12, untagged, AVCOL_RANGE_UNSPECIFIED, 0.299, 0.114, 640);
}

constexpr QRgb emptyGrey = 0xff040404; // 0.015 × 255 = 3.8

QRgb centre(LiveGLRenderer& renderer, const std::shared_ptr<const LiveGLFrame>& frame) {
    return OffscreenView::render(renderer, frame, {0, 0, 0, 90}, {16, 9}).pixel(8, 4);
}

TEST(Renderer, ReusedTexturesNeverShowAnEarlierFrame) {
    LiveGLRenderer renderer;
    auto first = renderer.makeGLFrame(uniform(red), 0);
    const auto second = renderer.makeGLFrame(uniform(green), 1);
    EXPECT_TRUE(near(centre(renderer, first), qRgb(255, 0, 0)));
    // The first frame's textures are reused for the third while the second is still on screen.
    first.reset();
    const auto third = renderer.makeGLFrame(uniform(blue), 2);
    EXPECT_TRUE(near(centre(renderer, second), qRgb(0, 255, 0)));
    EXPECT_TRUE(near(centre(renderer, third), qRgb(0, 0, 255)));
    // A source of another size (odd, so the chroma planes round up) after those.
    const auto resized = renderer.makeGLFrame(uniform(red, 33, 17), 3);
    EXPECT_TRUE(near(centre(renderer, resized), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(centre(renderer, third), qRgb(0, 0, 255)));
    EXPECT_EQ(renderer.uploadCount(), 4);
}

TEST(Renderer, FramesPreparedOnADecodingThreadAreShownWithoutAnotherUpload) {
    using namespace std::chrono;
    LiveGLRenderer renderer;
    // Long enough that a frame let go 15 ms after the wait began is waited for on a busy machine.
    const milliseconds longestWait(400);
    renderer.setLongestWaitForTexture(longestWait);
    const FramePreparer preparer = renderer.framePreparer();
    ASSERT_TRUE(preparer.expect && preparer.prepare);
    VideoFrame prepared;
    std::int64_t madeWhenExpected = 0, madeWhilePreparing = 0, madeForAFourth = 0, madeForASeek = 0,
                 madeAfterWaiting = 0;
    steady_clock::duration seekTook{};
    std::thread decoding([&] {
        // Textures for whole frames (luma, and Cb and Cr in one) are ready before the first one
        // comes.
        const std::int64_t before = renderer.texturesMade();
        const auto made = [&] { return renderer.texturesMade() - before; };
        preparer.expect(64, 32, AV_PIX_FMT_YUV420P);
        const VideoFrame pixels = uniform(green, 64, 32);
        std::vector<VideoFrame> alive;
        for (int i = 0; i < 3; ++i) {
            alive.push_back(pixels.preparedAs(preparer.prepare(pixels, 1.5, true)));
            if (i == 0)
                madeWhenExpected = made();
        }
        madeWhilePreparing = made() - madeWhenExpected;
        // While playing, with every reserved texture in use, the next frame waits for the one
        // shown before to be let go rather than make more.
        VideoFrame shown = std::move(alive[1]);
        std::thread window([&shown] {
            std::this_thread::sleep_for(milliseconds(15));
            shown = VideoFrame();
        });
        alive.push_back(pixels.preparedAs(preparer.prepare(pixels, 1.5, true)));
        window.join();
        madeForAFourth = made() - madeWhenExpected;
        // A seek's frame never waits; a playing one makes them after all when none is let go.
        const auto seekStarted = steady_clock::now();
        alive.push_back(pixels.preparedAs(preparer.prepare(pixels, 1.5, false)));
        seekTook = steady_clock::now() - seekStarted;
        madeForASeek = made() - madeWhenExpected - madeForAFourth;
        alive.push_back(pixels.preparedAs(preparer.prepare(pixels, 1.5, true)));
        madeAfterWaiting = made() - madeWhenExpected - madeForAFourth - madeForASeek;
        // All but the one let go.
        EXPECT_EQ(std::count_if(alive.begin(), alive.end(),
                                [](const VideoFrame& frame) { return frame.prepared(); }),
                  5);
        prepared = alive.front();
    });
    decoding.join();
    EXPECT_GE(madeWhenExpected, 3 * 2);
    EXPECT_EQ(madeWhilePreparing, 0);
    EXPECT_EQ(madeForAFourth, 0);
    EXPECT_EQ(madeForASeek, 2);
    EXPECT_LT(seekTook, longestWait / 2);
    EXPECT_EQ(madeAfterWaiting, 2);
    ASSERT_TRUE(prepared.prepared() && !prepared.plane(0));
    EXPECT_EQ(prepared.width(), 64);
    renderer.showFrame(prepared, 1.5);
    EXPECT_EQ(renderer.uploadCount(), 6);
    EXPECT_TRUE(near(centre(renderer, renderer.currentFrame()), qRgb(0, 255, 0)));
    // Another renderer has nothing to upload from: the pixels went when the frame was prepared.
    LiveGLRenderer other;
    EXPECT_THROW(other.showFrame(prepared, 1.5), PreviewError);
    // A decoding thread that outlives its renderer gets nothing prepared, and frames keep pixels.
    FramePreparer orphaned = LiveGLRenderer().framePreparer();
    EXPECT_EQ(orphaned.prepare(uniform(red), 0, true), nullptr);
}

TEST(Renderer, ItsContextsAreDestroyedOffTheGuiThreadAndNeverLeftBehind) {
    // Destroying a context frees for tens of milliseconds on a software renderer; a renderer let
    // go on the GUI thread has that done on its upload thread.
    std::vector<QThread*> destroyedOn;
    const auto watch = [&destroyedOn](const LiveGLRenderer& renderer) {
        QObject::connect(renderer.glContext(), &QObject::destroyed,
                         [&destroyedOn] { destroyedOn.push_back(QThread::currentThread()); });
    };
    {
        LiveGLRenderer renderer;
        watch(renderer);
    }
    EXPECT_EQ(RetiredThreads::joinAll(std::chrono::seconds(10)), 0);
    ASSERT_EQ(destroyedOn.size(), 1u);
    EXPECT_NE(destroyedOn.front(), QCoreApplication::instance()->thread());

    // One whose last frame is let go on a decoding thread after the renderer has gone: its
    // contexts go back to the GUI thread and are destroyed there, at the latest when the
    // application ends.
    destroyedOn.clear();
    VideoFrame prepared;
    {
        LiveGLRenderer renderer;
        watch(renderer);
        const VideoFrame pixels = uniform(green, 64, 32);
        prepared = pixels.preparedAs(renderer.framePreparer().prepare(pixels, 0, false));
        ASSERT_TRUE(prepared.prepared());
    }
    std::thread([frame = std::move(prepared)]() mutable { frame = {}; }).join();
    EXPECT_EQ(RetiredThreads::joinAll(std::chrono::seconds(10)), 0);
    ASSERT_EQ(destroyedOn.size(), 1u);
    EXPECT_EQ(destroyedOn.front(), QCoreApplication::instance()->thread());
}

class Surfaces : public testing::Test {
protected:
    ScriptedPlayer* player = new ScriptedPlayer;
    std::shared_ptr<LiveGLRenderer> renderer = std::make_shared<LiveGLRenderer>();
    LivePreviewSession session{std::unique_ptr<Player>(player), [r = renderer] { return r; }};
    QWidget window;
    std::vector<LiveAnglePreview*> previews;

    void SetUp() override {
        player->landSeeks = true;
        auto* row = new QHBoxLayout(&window);
        for (double pan : {0, 90, -90, 180}) {
            previews.push_back(new LiveAnglePreview(&session, renderer, {pan, 0, 0, 90}));
            // Fixed, so that one surface leaving does not resize (and so redraw) the others.
            previews.back()->setFixedSize(96, 54);
            row->addWidget(previews.back());
        }
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // Loads a source showing the colour and waits until every surface has drawn it once.
    void load(YCbCr colour) {
        player->show(uniform(colour, 256, 128));
        ASSERT_EQ(Waiting::finish(session.load(QUrl::fromLocalFile("/a.mp4"), 10, 0)), nullptr);
        ASSERT_TRUE(Waiting::until([&] { return projected() == std::vector<std::int64_t>(4, 1); }));
    }
    std::vector<std::int64_t> projected() const {
        std::vector<std::int64_t> counts;
        for (LiveAnglePreview* preview : previews)
            counts.push_back(preview->projectedFrameCount());
        return counts;
    }
    static QRgb centre(LiveAnglePreview* preview) {
        const QImage image = preview->grabFramebuffer();
        return image.pixel(image.width() / 2, image.height() / 2);
    }
};

TEST_F(Surfaces, EveryDecodedFrameIsUploadedOnceAndDrawnOncePerSurface) {
    load(red);
    EXPECT_EQ(renderer->uploadCount(), 1);
    for (auto [colour, rgb] : {std::pair{green, qRgb(0, 255, 0)}, {blue, qRgb(0, 0, 255)}}) {
        std::vector<std::int64_t> expected = projected();
        for (std::int64_t& count : expected)
            ++count;
        const std::int64_t uploads = renderer->uploadCount(), draws = renderer->drawCount();
        player->show(uniform(colour, 256, 128));
        ASSERT_TRUE(Waiting::until([&] { return projected() == expected; }));
        EXPECT_EQ(renderer->uploadCount(), uploads + 1);
        EXPECT_EQ(renderer->drawCount(), draws + std::int64_t(previews.size()));
        for (LiveAnglePreview* preview : previews)
            EXPECT_TRUE(near(centre(preview), rgb));
        // A surface that goes is never drawn again; the others carry on.
        delete previews[1];
        previews.erase(previews.begin() + 1);
    }
}

TEST_F(Surfaces, DrawTheRenderersFrameInTheirFramingTheLastOneItTookOrTheEmptyGrey) {
    for (LiveAnglePreview* preview : previews)
        EXPECT_EQ(centre(preview), emptyGrey);
    load(green);
    previews[0]->setAngles({45, 10, 5, 60});
    ASSERT_TRUE(Waiting::until([&] { return projected()[0] == 2; }));
    EXPECT_TRUE(projected()[1] == 1 && renderer->uploadCount() == 1);
    previews[1]->setAngles({std::nan(""), 0, 0, 90});
    EXPECT_EQ(centre(previews[1]), emptyGrey);
    EXPECT_TRUE(near(centre(previews[2]), qRgb(0, 255, 0)));
    // A frame the shader cannot sample (here none) fails the session; the last one stays drawn.
    player->show(VideoFrame());
    ASSERT_TRUE(Waiting::until([&] { return session.errorMessage().has_value(); }));
    EXPECT_EQ(session.errorMessage(),
              PlatformTexts::text(PlatformTexts::Text::frameShareFailedPrefix) + "-22).");
    EXPECT_TRUE(near(centre(previews[2]), qRgb(0, 255, 0)));
    session.shutdown(); // the renderer lets the frame go: every surface is empty again
    for (LiveAnglePreview* preview : previews)
        EXPECT_EQ(centre(preview), emptyGrey);
}

QCoro::Task<> drawStill(QImage& image, QString path, double seconds, QSize size) {
    image = co_await StillRenderer::render(path, seconds, {20, -10, 5, 90}, size,
                                           std::make_unique<FFmpegPlayer>());
}

TEST(StillRenderer, DrawsTheExactFrameAtTheTimeAskedAndRefusesTimesOutsideTheSource) {
    QTemporaryDir folder;
    // One second of red, then one of blue, at 30 fps from a single key frame.
    const QString clip =
        Clips::ffmpeg(folder.filePath("red-then-blue.mp4"),
                      {"-f", "lavfi", "-i", "color=c=red:s=256x128:r=30:d=1", "-f", "lavfi", "-i",
                       "color=c=blue:s=256x128:r=30:d=1", "-filter_complex",
                       "[0][1]concat=n=2:v=1:a=0,format=yuv420p", "-c:v", "libx264", "-preset",
                       "ultrafast", "-g", "60", "-colorspace", "bt709"});
    const std::tuple<double, QSize, QRgb> stills[] = {{29.0 / 30, {160, 90}, qRgb(255, 0, 0)},
                                                      {1, {90, 160}, qRgb(0, 0, 255)},
                                                      {2, {32, 18}, qRgb(0, 0, 255)}};
    for (auto [seconds, size, colour] : stills) {
        QImage image;
        ASSERT_EQ(Waiting::finish(drawStill(image, clip, seconds, size)), nullptr) << seconds;
        ASSERT_EQ(image.size(), size);
        EXPECT_TRUE(near(image.pixel(size.width() / 2, size.height() / 2), colour, 40)) << seconds;
    }
    const std::tuple<QString, double, QString> refusals[] = {
        {clip, -0.5, "The time must be between 0 and the source's duration, 2 seconds."},
        {clip, 2.01, "The time must be between 0 and the source's duration, 2 seconds."},
        {folder.filePath("missing.mp4"), 0,
         "The file “missing.mp4” couldn’t be opened because there is no such file."}};
    for (auto [path, seconds, refusal] : refusals) {
        QImage image;
        EXPECT_EQ(localizedDescription(Waiting::finish(drawStill(image, path, seconds, {16, 9}))),
                  refusal);
    }
}

} // namespace
