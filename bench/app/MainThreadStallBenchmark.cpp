// The longest stall of the main thread while the real window opens a large source, plays,
// pauses, seeks, scrubs, mutes and closes. Run it under xvfb-run from a Release build:
//   main_thread_stall [clip.mp4]
// (makes a 20 s 5760 × 2880 H.264 clip with key frames 250 frames apart when none is given).
// A 2 ms timer on the main thread notes each time it runs; a stall is the longest gap between two
// runs, less the interval, within one step of the script. Closing is timed as the call it is.
#include "app/KorvaneApp.h"
#include "preview/LivePreviewSession.h"
#include "session/SessionModel.h"

#include "BenchSupport.h"

#include <QApplication>

#include <random>

using namespace Bench;

namespace {

constexpr double goalMs = 50;

void report(const char* step, double stallMs) {
    verdict(step, stallMs, "ms", goalMs, true);
}

} // namespace

int main(int argc, char** argv) {
    KorvaneApp::prepareProcess();
    QApplication application(argc, argv);
    const QString clip =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : Bench::clip("/tmp/tessaly-bench-5760-h264-20s.mp4", "5760x2880", "h264", 20);

    auto window = KorvaneApp::makeWindow(KorvaneApp::standardComposition(), {});
    window->show();
    SessionModel& model = window->model();
    LivePreviewSession& preview = *model.preview();
    Watchdog watchdog;
    runFor(500);
    watchdog.take();

    model.open(QUrl::fromLocalFile(clip));
    if (!runUntil([&] { return !model.loading(); }, 60000) || !model.source()) {
        std::printf("the clip did not open: %s\n", qPrintable(model.errorMessage().value_or("")));
        return 1;
    }
    report("open (inspect, load, first frame)", watchdog.take());

    preview.play();
    runFor(3000);
    report("play 3 s", watchdog.take());
    preview.pause();
    runFor(300);
    report("pause", watchdog.take());

    std::mt19937 random(12);
    std::uniform_real_distribution<double> anywhere(0, preview.duration());
    for (int i = 0; i < 5; ++i) {
        preview.seek(anywhere(random));
        runUntil([&] { return !preview.isSeeking(); }, 20000);
    }
    report("5 exact seeks", watchdog.take());

    preview.beginScrubbing();
    for (int i = 0; i < 60; ++i) {
        preview.seek(8.0 + 0.05 * i);
        runFor(50);
    }
    preview.endScrubbing();
    runUntil([&] { return !preview.isSeeking(); }, 20000);
    report("scrub 3 s, then release", watchdog.take());

    preview.play();
    runFor(500);
    for (int i = 0; i < 6; ++i) {
        preview.setMuted(!preview.muted());
        runFor(250);
    }
    preview.pause();
    report("mute and unmute while playing", watchdog.take());

    preview.play();
    runFor(500);
    watchdog.take();
    QElapsedTimer closing;
    closing.start();
    window->close();
    window.reset();
    report("close while playing", std::max(double(closing.nsecsElapsed()) / 1e6, watchdog.take()));
    return Bench::failures == 0 ? 0 : 2;
}
