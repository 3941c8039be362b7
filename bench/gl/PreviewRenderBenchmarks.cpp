// The cost of one decoded 6K frame in the live preview: its upload, and the four views drawn
// from it, each timed until the GPU has finished (glFinish), median over the repetitions.
#include "gl/TestFrames.h"

#include "preview/gl/GLUploadContext.h"
#include "preview/gl/LiveGLRenderer.h"
#include "preview/gl/OpenGLSetup.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
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

BENCHMARK_CAPTURE(uploadOneFrame, yuv420p, AV_PIX_FMT_YUV420P)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadOneFrame, nv12, AV_PIX_FMT_NV12)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadOneFrame, p010le, AV_PIX_FMT_P010LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawFourViews, landscape_960x540, QSize(960, 540))
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(drawFourViews, portrait_540x960, QSize(540, 960))
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadAndFourViews, landscape_960x540, QSize(960, 540))
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(uploadAndFourViews, portrait_540x960, QSize(540, 960))
    ->Unit(benchmark::kMillisecond)
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
