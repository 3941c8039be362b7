// The longest stall of the main thread while the real window opens a large source, plays,
// pauses, seeks, scrubs, mutes and closes. Run it under xvfb-run from a Release build:
//   main_thread_stall [clip.mp4]
// (makes a 20 s 5760 × 2880 H.264 clip with key frames 250 frames apart when none is given).
// A 2 ms timer on the main thread notes each time it runs; a stall is the longest gap between two
// runs, less the interval, within one step of the script. Closing is timed as the call it is.
#include "app/KorvaneApp.h"
#include "preview/LivePreviewSession.h"
#include "session/SessionModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <random>

namespace {

constexpr int tickMs = 2;
constexpr double goalMs = 50;

class Watchdog {
public:
    Watchdog() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(tickMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = double(clock_.nsecsElapsed()) / 1e6;
            longest_ = std::max(longest_, now - last_ - tickMs);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    // The longest stall since the last call.
    double take() {
        const double longest = longest_;
        longest_ = 0;
        return longest;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
    double longest_ = 0;
};

// Runs the event loop until the condition holds (checked every few milliseconds) or time is up.
bool runUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runFor(int milliseconds) {
    runUntil([] { return false; }, milliseconds);
}

int failures = 0;

void report(const char* step, double stallMs) {
    const bool met = stallMs <= goalMs;
    failures += met ? 0 : 1;
    std::printf("%-34s longest main-thread stall %6.1f ms   (goal <= %.0f ms%s)\n", step, stallMs,
                goalMs, met ? "" : ", MISSED");
}

} // namespace

int main(int argc, char** argv) {
    KorvaneApp::prepareProcess();
    QApplication application(argc, argv);
    const QString clip = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral("/tmp/tessaly-bench-5760-h264-20s.mp4");
    if (!QFile::exists(clip)) {
        std::printf("making %s\n", qPrintable(clip));
        QProcess::execute(TESSALY_SOURCE_DIR "/scripts/make-sample",
                          {"--size", "5760x2880", "--duration", "20", clip});
    }

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
    return failures == 0 ? 0 : 2;
}
