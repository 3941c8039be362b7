#pragma once

// What the window benchmarks share: a watchdog on the main thread, waiting in the event loop,
// making a large clip, and ffmpeg's own decoding speed for comparison.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

namespace Bench {

// A 2 ms timer on the main thread notes each time it runs; a stall is the longest gap between
// two runs, less the interval.
class Watchdog {
public:
    static constexpr int tickMs = 2;
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
    double take() { return std::exchange(longest_, 0.0); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0;
    double longest_ = 0;
};

// Runs the event loop until the condition holds (checked every few milliseconds) or time is up.
inline bool runUntil(const std::function<bool()>& condition, int timeoutMs) {
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

inline void runFor(int milliseconds) {
    runUntil([] { return false; }, milliseconds);
}

// The clip at `path`, made by scripts/make-sample when missing.
inline QString clip(const QString& path, const QString& size, const QString& codec, int seconds) {
    if (!QFile::exists(path)) {
        std::printf("making %s\n", qPrintable(path));
        QProcess::execute(
            TESSALY_SOURCE_DIR "/scripts/make-sample",
            {"--size", size, "--codec", codec, "--duration", QString::number(seconds), path});
    }
    return path;
}

// Frames per second `ffmpeg -threads 0 -f null` decodes the clip's video at.
inline double decodeOnlyFps(const QString& path, int frames) {
    QElapsedTimer watch;
    watch.start();
    QProcess::execute("ffmpeg", {"-hide_banner", "-loglevel", "error", "-threads", "0", "-i", path,
                                 "-map", "0:v", "-f", "null", "-"});
    return double(frames) / (double(watch.elapsed()) / 1000.0);
}

inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline long peakResidentMiB() {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    return -1;
}

inline int failures = 0;

inline void verdict(const char* what, double value, const char* unit, double goal, bool atMost) {
    const bool met = atMost ? value <= goal : value >= goal;
    failures += met ? 0 : 1;
    // Rates to a hundredth, so that 29.97 frames per second is not read as 30.
    const int digits = std::string_view(unit) == "fps" ? 2 : 1;
    std::printf("%-46s %8.*f %-4s (goal %s %.*f%s)\n", what, digits, value, unit,
                atMost ? "<=" : ">=", digits, goal, met ? "" : ", MISSED");
}

} // namespace Bench
