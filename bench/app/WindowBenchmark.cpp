// The real window under Xvfb with four live previews on a large clip:
//   window_benchmark [5.7k|8k] [h264|hevc] [clip.mp4]
// (makes a 20 s clip with key frames 250 frames apart when none is given). It reports
// open-to-first-picture, then over 10 s of playing the pictures drawn per second in each preview,
// the frames the player dropped and the longest main-thread stall, next to `ffmpeg -threads 0
// -f null` decoding of the same clip; then it drags the position slider (a new target every
// 50 ms for 5 s: forward at real-time speed, forward fast, backward) and reports the median
// interval between picture changes and the time from release to the exact frame.
#include "BenchSupport.h"

#include "app/KorvaneApp.h"
#include "preview/LivePreviewSession.h"
#include "preview/gl/LiveAnglePreview.h"
#include "session/SessionModel.h"
#include "ui/AngleCard.h"
#include "ui/PlaybackControls.h"

#include <QApplication>
#include <QSlider>

#include <cmath>
#include <random>

using namespace Bench;

namespace {

std::vector<LiveAnglePreview*> previewsOf(MainView& window) {
    std::vector<LiveAnglePreview*> previews;
    for (AngleCard* card : window.cards())
        previews.push_back(qobject_cast<LiveAnglePreview*>(card->previewSurface()));
    return previews;
}

// Drags the slider from `from` seconds by `step` every 50 ms for 5 s; the median interval
// between picture changes, and the time from release to the exact frame.
std::pair<double, double> drag(PlaybackControls& controls, LivePreviewSession& preview, double from,
                               double step) {
    QSlider* slider = controls.positionSlider();
    const auto position = [&](double seconds) {
        return int(std::lround(seconds / controls.sliderUpperBound() * slider->maximum()));
    };
    std::vector<double> changes;
    QElapsedTimer clock;
    clock.start();
    const auto connection =
        QObject::connect(&preview, &LivePreviewSession::currentFrameTimeChanged,
                         [&] { changes.push_back(clock.nsecsElapsed() / 1e6); });
    slider->setSliderDown(true);
    for (int i = 0; i < 100; ++i) {
        slider->setValue(position(from + step * i));
        runFor(50);
    }
    slider->setSliderDown(false);
    QElapsedTimer release;
    release.start();
    runUntil([&] { return !preview.isSeeking(); }, 30000);
    const double toExact = double(release.nsecsElapsed()) / 1e6;
    QObject::disconnect(connection);
    std::vector<double> intervals;
    for (std::size_t i = 1; i < changes.size(); ++i)
        if (changes[i] <= 5000)
            intervals.push_back(changes[i] - changes[i - 1]);
    return {intervals.empty() ? 5000.0 : median(intervals), toExact};
}

} // namespace

int main(int argc, char** argv) {
    KorvaneApp::prepareProcess();
    QApplication application(argc, argv);
    const bool eightK = argc > 1 && QByteArray(argv[1]) == "8k";
    const QString codec = argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("h264");
    const QString size = eightK ? QStringLiteral("7680x3840") : QStringLiteral("5760x2880");
    const QString path =
        argc > 3 ? QString::fromLocal8Bit(argv[3])
                 : clip(QStringLiteral("/tmp/tessaly-bench-%1-%2-20s.mp4").arg(size, codec), size,
                        codec, 20);
    const double sourceFps = 30000.0 / 1001.0;
    const double decodeFps = decodeOnlyFps(path, int(20 * sourceFps));
    std::printf("clip %s: ffmpeg -threads 0 decodes %.1f fps\n", qPrintable(path), decodeFps);

    auto window = KorvaneApp::makeWindow(KorvaneApp::standardComposition(), {});
    window->show();
    runFor(500);
    SessionModel& model = window->model();
    LivePreviewSession& preview = *model.preview();
    Watchdog watchdog;

    QElapsedTimer opening;
    opening.start();
    model.open(QUrl::fromLocalFile(path));
    const auto previews = previewsOf(*window);
    runUntil(
        [&] {
            return std::all_of(previews.begin(), previews.end(), [](LiveAnglePreview* p) {
                return p && p->projectedFrameCount() > 0;
            });
        },
        60000);
    verdict("open to first picture in all four previews", opening.elapsed(), "ms",
            1000 + 1000 * (2 * sourceFps + 1) / decodeFps, true);

    preview.play();
    runFor(1000);
    watchdog.take();
    // Each preview's rate runs from the first picture drawn in the 10 s to the last, timed as
    // the counts change (looked at every few milliseconds): pictures over a fixed span would be
    // one short or not depending on where in a frame interval the span began.
    struct Drawn {
        qint64 firstCount = -1, lastCount = -1;
        double firstSeconds = 0, lastSeconds = 0;
    };
    std::vector<Drawn> drawn(previews.size());
    std::vector<qint64> seen;
    for (LiveAnglePreview* p : previews)
        seen.push_back(p->projectedFrameCount());
    const qint64 droppedBefore = preview.player().droppedFrameCount();
    QElapsedTimer playing;
    playing.start();
    runUntil(
        [&] {
            const double now = double(playing.nsecsElapsed()) / 1e9;
            for (std::size_t i = 0; i < previews.size(); ++i) {
                const qint64 count = previews[i]->projectedFrameCount();
                if (count == seen[i])
                    continue;
                seen[i] = count;
                Drawn& d = drawn[i];
                if (d.firstCount < 0)
                    d.firstCount = count, d.firstSeconds = now;
                d.lastCount = count, d.lastSeconds = now;
            }
            return now >= 10.0;
        },
        20000);
    const double goalFps = std::min(sourceFps, 0.9 * decodeFps);
    for (std::size_t i = 0; i < previews.size(); ++i) {
        const Drawn& d = drawn[i];
        const double span = d.lastSeconds - d.firstSeconds;
        verdict(qPrintable(QStringLiteral("pictures drawn per second, preview %1").arg(i + 1)),
                span > 0 ? double(d.lastCount - d.firstCount) / span : 0.0, "fps", goalFps, false);
    }
    std::printf("%-46s %8lld\n", "frames the player dropped",
                preview.player().droppedFrameCount() - droppedBefore);
    verdict("longest main-thread stall while playing", watchdog.take(), "ms", 50, true);
    preview.pause();
    runFor(500);

    // Exact seeks to anywhere, for reference.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> anywhere(0, preview.duration() - 1);
    std::vector<double> seeks;
    for (int i = 0; i < 8; ++i) {
        QElapsedTimer seek;
        seek.start();
        preview.seek(anywhere(random));
        runUntil([&] { return !preview.isSeeking(); }, 30000);
        seeks.push_back(double(seek.nsecsElapsed()) / 1e6);
    }
    const double exactSeek = median(seeks);
    std::printf("%-46s %8.1f ms\n", "median exact seek", exactSeek);

    PlaybackControls& controls = *window->playbackControls();
    const struct {
        const char* name;
        double from;
        double step;
    } patterns[] = {{"forward at real-time speed", 2.0, 0.05},
                    {"forward fast", 2.0, 0.15},
                    {"backward", 18.0, -0.1}};
    for (const auto& pattern : patterns) {
        const auto [interval, toExact] = drag(controls, preview, pattern.from, pattern.step);
        verdict(qPrintable(QStringLiteral("scrub %1: median picture interval").arg(pattern.name)),
                interval, "ms", 150, true);
        // The release is held to an exact seek to the same frame from elsewhere: how far that
        // frame lies from its key frame decides both.
        const double released = preview.currentFrameTime();
        preview.seek(pattern.from);
        runUntil([&] { return !preview.isSeeking(); }, 30000);
        QElapsedTimer seek;
        seek.start();
        preview.seek(released);
        runUntil([&] { return !preview.isSeeking(); }, 30000);
        const double sameFrame = double(seek.nsecsElapsed()) / 1e6;
        std::printf(
            "%-46s %8.1f ms\n",
            qPrintable(QStringLiteral("scrub %1: exact seek to that frame").arg(pattern.name)),
            sameFrame);
        verdict(qPrintable(QStringLiteral("scrub %1: release to exact frame").arg(pattern.name)),
                toExact, "ms", std::max(sameFrame, 100.0), true);
    }
    verdict("peak resident memory", double(peakResidentMiB()), "MiB", eightK ? 900 : 600, true);
    window.reset();
    return failures == 0 ? 0 : 2;
}
