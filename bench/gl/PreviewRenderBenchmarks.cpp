// The cost of one decoded 6K frame in the live preview: its upload, the four views drawn from it,
// and the whole-sphere overview with the views' footprints, each timed until the GPU has finished
// (glFinish), median over the repetitions.
#include "gl/TestFrames.h"

#include "model/ViewGeometry.h"
#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OpenGLSetup.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPainterPath>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

namespace {

constexpr int sourceWidth = 5760;
constexpr int sourceHeight = 2880;

VideoFrame sourceFrame(AVPixelFormat format) {
    const int scale = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ? 1 : 4;
    return TestFrames::make(
        format, sourceWidth, sourceHeight, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG,
        [=](int x, int y) { return scale * (16 + (x / 16 + y / 16) % 200); },
        [=](int cx, int cy) {
            return std::pair{scale * (64 + cx % 128), scale * (64 + cy % 128)};
        });
}

const VideoFrame& cachedFrame(AVPixelFormat format) {
    static std::map<AVPixelFormat, VideoFrame> frames;
    auto found = frames.find(format);
    if (found == frames.end()) {
        found = frames.emplace(format, sourceFrame(format)).first;
    }
    return found->second;
}

void finish(LiveGLRenderer& renderer) {
    renderer.glContext()->functions()->glFinish();
}

void uploadOneFrame(benchmark::State& state, AVPixelFormat format) {
    LiveGLRenderer renderer;
    const VideoFrame& pixels = cachedFrame(format);
    std::shared_ptr<const LiveGLFrame> shown;
    for (auto _ : state) {
        // The session drops the previous frame when the next one arrives, so its textures are
        // reused as they are in playback.
        shown = renderer.makeGLFrame(pixels, 0);
        ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
        finish(renderer);
    }
    state.SetBytesProcessed(state.iterations() *
                            (std::int64_t(sourceWidth) * sourceHeight * 3 / 2) *
                            (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ? 1 : 2));
}

void drawFourViews(benchmark::State& state, QSize size) {
    LiveGLRenderer renderer;
    const auto frame = renderer.makeGLFrame(cachedFrame(AV_PIX_FMT_YUV420P), 0);
    ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
    std::vector<std::unique_ptr<QOpenGLFramebufferObject>> targets;
    for (int i = 0; i < 4; ++i) {
        targets.push_back(std::make_unique<QOpenGLFramebufferObject>(
            size, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D, GL_RGBA8));
    }
    const ViewAngles views[] = {
        {0, 0, 0, 90}, {90, -20, 0, 70}, {-90, 10, 5, 110}, {180, 0, 0, 125}};
    // The first draw compiles llvmpipe's code for the shader; that is start-up, not per frame.
    const auto drawAll = [&] {
        for (int i = 0; i < 4; ++i) {
            targets[i]->bind();
            renderer.draw(frame, views[i], size);
        }
        finish(renderer);
    };
    drawAll();
    for (auto _ : state) {
        drawAll();
    }
    QOpenGLFramebufferObject::bindDefault();
}

void uploadAndFourViews(benchmark::State& state, QSize size) {
    LiveGLRenderer renderer;
    const VideoFrame& pixels = cachedFrame(AV_PIX_FMT_YUV420P);
    std::shared_ptr<const LiveGLFrame> shown;
    std::vector<std::unique_ptr<QOpenGLFramebufferObject>> targets;
    {
        ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
        for (int i = 0; i < 4; ++i) {
            targets.push_back(std::make_unique<QOpenGLFramebufferObject>(
                size, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D, GL_RGBA8));
        }
    }
    const ViewAngles views[] = {
        {0, 0, 0, 90}, {90, -20, 0, 70}, {-90, 10, 5, 110}, {180, 0, 0, 125}};
    const auto uploadAndDraw = [&] {
        shown = renderer.makeGLFrame(pixels, 0);
        ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
        for (int i = 0; i < 4; ++i) {
            targets[i]->bind();
            renderer.draw(shown, views[i], size);
        }
        finish(renderer);
    };
    uploadAndDraw();
    for (auto _ : state) {
        uploadAndDraw();
    }
    ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
    targets.clear();
}

// The overview strip: the whole source drawn flat with every view's footprint filled, outlined
// and numbered on top, three times across the seam, as the window paints it. While a frame plays
// the footprints are a kept picture; while one is dragged they are painted again for each draw.
enum class Footprints { none, kept, repainted };

void drawOverview(benchmark::State& state, Footprints footprints) {
    const QSize size(960, 480);
    LiveGLRenderer renderer;
    const auto frame = renderer.makeGLFrame(cachedFrame(AV_PIX_FMT_YUV420P), 0);
    ScopedCurrentContext current(renderer.glContext(), renderer.offscreenSurface());
    QOpenGLFramebufferObject target(size, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D,
                                    GL_RGBA8);
    ViewAngles views[] = {{180, -12, 0, 90}, {0, 0, 0, 90}, {110, 0, 0, 90}, {-90, 60, 0, 125}};
    const auto pathOf = [&](const std::vector<QPointF>& points, double shift) {
        QPainterPath path;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPointF p((points[i].x() + shift) * size.width(), points[i].y() * size.height());
            i == 0 ? path.moveTo(p) : path.lineTo(p);
        }
        return path;
    };
    QImage overlay;
    const auto paintFootprints = [&] {
        overlay = QImage(size, QImage::Format_ARGB32_Premultiplied);
        overlay.fill(Qt::transparent);
        QPainter painter(&overlay);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 3; i >= 0; --i) {
            const auto footprint = ViewGeometry::footprint(views[i], 16.0 / 9.0);
            const QColor colour = QColor::fromHsv(i * 90, 200, 230);
            for (double shift : {-1.0, 0.0, 1.0}) {
                const QPainterPath region = pathOf(footprint.region, shift);
                if (!region.boundingRect()
                         .adjusted(-11, -11, 11, 11)
                         .intersects(QRectF(QPointF(), QSizeF(size))))
                    continue;
                painter.fillPath(region, QColor(colour.red(), colour.green(), colour.blue(), 46));
                painter.setPen(QPen(colour, 2));
                painter.drawPath(pathOf(footprint.outline, shift));
                const QPointF centre((footprint.centre.x() + shift) * size.width(),
                                     footprint.centre.y() * size.height());
                painter.setPen(Qt::NoPen);
                painter.setBrush(colour);
                painter.drawEllipse(centre, 11, 11);
                painter.setPen(Qt::white);
                painter.drawText(QRectF(centre - QPointF(11, 11), QSizeF(22, 22)), Qt::AlignCenter,
                                 QString::number(i + 1));
                painter.setBrush(Qt::NoBrush);
            }
        }
    };
    if (footprints != Footprints::none) {
        paintFootprints();
    }
    const auto draw = [&] {
        if (footprints == Footprints::repainted) {
            views[1].pan += 0.5; // as a drag turns a view
            paintFootprints();
        }
        target.bind();
        renderer.drawWholeSphere(frame, size, overlay);
        finish(renderer);
    };
    draw();
    for (auto _ : state) {
        draw();
    }
    QOpenGLFramebufferObject::bindDefault();
}

BENCHMARK_CAPTURE(drawOverview, sphere_960x480, Footprints::none)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawOverview, footprints_kept_960x480, Footprints::kept)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawOverview, footprints_repainted_960x480, Footprints::repainted)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadOneFrame, yuv420p, AV_PIX_FMT_YUV420P)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadOneFrame, nv12, AV_PIX_FMT_NV12)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadOneFrame, p010le, AV_PIX_FMT_P010LE)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawFourViews, landscape_960x540, QSize(960, 540))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawFourViews, portrait_540x960, QSize(540, 960))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadAndFourViews, landscape_960x540, QSize(960, 540))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadAndFourViews, portrait_540x960, QSize(540, 960))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    OpenGLSetup::prepareSharedContexts();
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
