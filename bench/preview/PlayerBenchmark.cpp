// Measures the preview engine on one clip (made with scripts/make-sample when it does not exist):
//   preview_player_benchmark h264|hevc [clip.mp4]
// sustained delivered frames per second over 10 s of playback next to `ffmpeg -threads 0 -i clip
// -f null -`, exact seek latency over 50 random targets next to the time to decode from the
// previous key frame, CPU while paused, and the peak resident memory.
#include "preview/LivePreviewSession.h"
#include "preview/player/FFmpegHandles.h"
#include "preview/player/FFmpegPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sys/resource.h>

namespace {

class NullRenderer : public PreviewRenderer {
public:
    void showFrame(const VideoFrame&, double) override {}
    void clearFrame() override {}
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakResidentKiB() {
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Presentation times of every frame and which of them are key frames, in file order of time.
struct FrameIndex {
    std::vector<double> times;
    std::vector<double> keyTimes;
};

FrameIndex readIndex(const QString& path) {
    FrameIndex index;
    QString error;
    ffmpeg::FormatContext format = ffmpeg::openInput(path, error, [] { return false; });
    avformat_find_stream_info(format.get(), nullptr);
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVRational base = format->streams[stream]->time_base;
    ffmpeg::Packet packet(av_packet_alloc());
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            const double time = packet->pts * av_q2d(base);
            index.times.push_back(time);
            if (packet->flags & AV_PKT_FLAG_KEY)
                index.keyTimes.push_back(time);
        }
        av_packet_unref(packet.get());
    }
    std::sort(index.times.begin(), index.times.end());
    std::sort(index.keyTimes.begin(), index.keyTimes.end());
    return index;
}

// Runs the event loop for a while without the polling of QTest::qWait, so that the figures show
// the engine's own cost.
void runEventLoop(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString codec = argc > 1 ? argv[1] : "h264";
    const QString clip = argc > 2 ? argv[2] : QString("/tmp/tessaly-bench-5760-%1.mp4").arg(codec);
    if (!QFile::exists(clip)) {
        std::printf("making %s\n", qPrintable(clip));
        QProcess::execute(TESSALY_SOURCE_DIR "/scripts/make-sample",
                          {"--size", "5760x2880", "--duration", "14", "--codec", codec, clip});
    }
    const FrameIndex index = readIndex(clip);
    const double duration = index.times.back() + 1001.0 / 30000.0;
    std::printf("clip %s: %zu frames, %zu key frames, %.2f s\n", qPrintable(clip),
                index.times.size(), index.keyTimes.size(), duration);

    QElapsedTimer watch;
    watch.start();
    QProcess::execute("ffmpeg", {"-hide_banner", "-loglevel", "error", "-threads", "0", "-i", clip,
                                 "-map", "0:v", "-f", "null", "-"});
    const double decodeOnlyFps = double(index.times.size()) / (watch.elapsed() / 1000.0);
    std::printf("ffmpeg decode-only: %.1f fps\n", decodeOnlyFps);

    LivePreviewSession session(std::make_unique<FFmpegPlayer>(),
                               [] { return std::make_shared<NullRenderer>(); });
    auto load = session.load(QUrl::fromLocalFile(clip), duration, 0);
    watch.restart();
    if (!QTest::qWaitFor([&] { return load.isReady(); }, 30000))
        std::printf("load did not finish\n");
    std::printf("load to first frame: %lld ms%s\n", watch.elapsed(),
                session.errorMessage() ? qPrintable(" FAILED " + *session.errorMessage()) : "");

    // CPU while paused on a frame, with the refresh timer running.
    runEventLoop(1500);
    double cpu = cpuSeconds();
    watch.restart();
    runEventLoop(5000);
    std::printf("CPU while paused: %.2f %% of one core\n",
                100.0 * (cpuSeconds() - cpu) / (watch.elapsed() / 1000.0));

    // Sustained playback.
    session.play();
    runEventLoop(500); // let the queue fill at the start
    const qint64 framesBefore = session.decodedFrameCount();
    const double timeBefore = session.time();
    watch.restart();
    runEventLoop(10000);
    const double wall = watch.elapsed() / 1000.0;
    const qint64 delivered = session.decodedFrameCount() - framesBefore;
    std::printf("playback: %.1f frames delivered per second over %.1f s (clock advanced %.2f s)\n",
                double(delivered) / wall, wall, session.time() - timeBefore);
    std::printf("goal: >= %.1f fps\n", std::min(30000.0 / 1001.0, 0.9 * decodeOnlyFps));
    std::printf("peak resident memory after playing: %ld MiB\n", peakResidentKiB() / 1024);
    session.pause();

    // Exact seeks.
    std::mt19937 random(50);
    std::uniform_int_distribution<std::size_t> anyFrame(0, index.times.size() - 1);
    std::vector<double> latencies, references;
    for (int i = 0; i < 50; ++i) {
        const double target = index.times[anyFrame(random)];
        const auto key =
            std::upper_bound(index.keyTimes.begin(), index.keyTimes.end(), target + 1e-6);
        const double keyTime = key == index.keyTimes.begin() ? 0 : *(key - 1);
        const double framesToDecode = std::round((target - keyTime) * 30000.0 / 1001.0) + 1;
        references.push_back(1000.0 * framesToDecode / decodeOnlyFps);
        watch.restart();
        session.seek(target);
        if (!QTest::qWaitFor([&] { return !session.isSeeking(); }, 20000))
            std::printf("seek to %.3f did not land\n", target);
        latencies.push_back(double(watch.nsecsElapsed()) / 1e6);
    }
    std::printf("exact seek: median %.0f ms, p95 %.0f ms; decode from key frame at decode-only "
                "speed: median %.0f ms, p95 %.0f ms\n",
                percentile(latencies, 0.5), percentile(latencies, 0.95),
                percentile(references, 0.5), percentile(references, 0.95));
    std::printf("peak resident memory at the end: %ld MiB\n", peakResidentKiB() / 1024);
    if (session.errorMessage())
        std::printf("error: %s\n", qPrintable(*session.errorMessage()));
    return 0;
}
