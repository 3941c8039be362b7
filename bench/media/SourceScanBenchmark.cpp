// Inspecting a synthetic one-hour 29.97 fps source (107,892 frames, media data left sparse on
// disk) against ffprobe counting the same file's packets. Prints the ratio and how many bytes
// the inspection read.
#include "fixtures/Mp4Writer.h"
#include "media/ByteSource.h"
#include "media/MediaInspector.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <random>

namespace {

constexpr std::uint32_t frames = 107892;
QString moviePath;

// Frame sizes like a 40 Mbit/s stream with a larger frame every second; audio as 48 kHz AAC. The
// video is labelled ProRes, whose frames ffprobe counts without parsing them (our zeros are no
// valid H.264 access units).
Mp4::MoviePlan oneHourPlan() {
    Mp4::MoviePlan plan;
    plan.brand = "qt  ";
    Mp4::TrackPlan video = Mp4::videoTrack(5760, 2880, frames);
    video.sampleEntries = {Mp4::visualEntry("apcn", 5760, 2880, Mp4::colorBox("nclc", 1, 1, 1))};
    std::mt19937 random(7);
    video.sampleSizes.reserve(frames);
    for (std::uint32_t i = 0; i < frames; ++i)
        video.sampleSizes.push_back(i % 30 == 0 ? 600000 : 120000 + random() % 80000);
    // Reordered like P B B: each P is presented two frames later, every B one frame earlier.
    for (std::uint32_t group = 0; group < frames / 3; ++group) {
        video.compositionOffsets.emplace_back(1, 2002);
        video.compositionOffsets.emplace_back(2, -1001);
    }
    video.samplesPerChunk = 30;
    plan.tracks.push_back(video);
    Mp4::TrackPlan audio = Mp4::audioTrack(2, 168750);
    audio.sampleSize = 768;
    audio.samplesPerChunk = 47;
    plan.tracks.push_back(audio);
    plan.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 107892));
    return plan;
}

void inspectOneHour(benchmark::State& state) {
    std::uint64_t bytesRead = 0;
    for (auto _ : state) {
        FileByteSource source(moviePath);
        const ExportMediaInfo info = MediaInspector::inspect(source);
        benchmark::DoNotOptimize(info.duration);
        bytesRead = source.bytesRead();
        if (info.duration != MediaTime::make(frames * 1001, 30000))
            state.SkipWithError("wrong duration");
    }
    const double fileSize = double(QFileInfo(moviePath).size());
    state.counters["bytes_read"] = double(bytesRead);
    state.counters["file_bytes"] = fileSize;
    state.counters["read_percent"] = 100.0 * double(bytesRead) / fileSize;
}

void ffprobeCountPackets(benchmark::State& state) {
    for (auto _ : state) {
        QProcess process;
        process.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"),
                       QStringLiteral("-count_packets"), QStringLiteral("-show_entries"),
                       QStringLiteral("stream=nb_read_packets"), moviePath});
        const bool finished = process.waitForFinished(-1);
        const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
        if (!finished || process.exitCode() != 0 || !output.contains("nb_read_packets=107892")) {
            static std::string message;
            message = "ffprobe did not count 107892 video packets: " + output.toStdString();
            state.SkipWithError(message.c_str());
        }
    }
}

BENCHMARK(inspectOneHour)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ffprobeCountPackets)->Unit(benchmark::kMillisecond)->Iterations(3);

// Remembers each benchmark's time per iteration for the closing comparison.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    QTemporaryDir dir;
    moviePath = dir.filePath(QStringLiteral("one-hour.mov"));
    if (!dir.isValid() || !Mp4::writeMovieFile(oneHourPlan(), moviePath)) {
        std::fprintf(stderr, "Cannot write the one-hour movie.\n");
        return 1;
    }
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double ours = reporter.seconds["inspectOneHour"];
    const double theirs = reporter.seconds["ffprobeCountPackets"];
    if (ours > 0 && theirs > 0)
        std::printf("\nffprobe -count_packets / MediaInspector::inspect: %.0f times\n",
                    theirs / ours);
    benchmark::Shutdown();
    return 0;
}
