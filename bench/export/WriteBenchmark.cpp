// Saving a four-view multicam document end to end, and the steps it is made of.
#include "export/FCPXMLExporter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QUrl dtd = QUrl::fromLocalFile(QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd"));

struct Request {
    QTemporaryDir folder;
    ExportRequest request;

    Request() {
        const QString clip = folder.filePath(QStringLiteral("Dive Trip.mp4"));
        QFile(clip).open(QIODevice::WriteOnly);
        request.source = QUrl::fromLocalFile(clip);
        request.views = {{QStringLiteral("Front"), {0, 0, 0, 90}},
                         {QStringLiteral("Left"), {-90, 5, 0, 100}},
                         {QStringLiteral("Back"), {180, -12.5, 3, 110}},
                         {QStringLiteral("Right"), {90, 33.3, 0, 75}}};
        request.size = {1920, 1080};
        request.name = QStringLiteral("Dive");
        ExportMediaInfo& info = request.info;
        info.width = 5760;
        info.height = 2880;
        info.frameDuration = MediaTime::make(1001, 30000);
        info.duration = MediaTime::make(18018000, 30000);
        info.sourceStart = MediaTime::make(0, 30000);
        info.channels = 2;
        info.sampleRate = 48000;
        info.colorSpace = QStringLiteral("1-1-1 (Rec. 709)");
    }
    XmlDocument document() const { return FCPXMLExporter::document(request); }
};

void writeEndToEnd(benchmark::State& state) {
    Request setup;
    int count = 0;
    for (auto _ : state) {
        setup.request.destination =
            QUrl::fromLocalFile(setup.folder.filePath(QString::number(++count) + ".fcpxml"));
        FCPXMLExporter::write(setup.request, dtd);
    }
}
BENCHMARK(writeEndToEnd)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly();

void buildDocument(benchmark::State& state) {
    const Request request;
    for (auto _ : state)
        benchmark::DoNotOptimize(request.document());
}
BENCHMARK(buildDocument)->Unit(benchmark::kMicrosecond);

void validateAgainstDTD(benchmark::State& state) {
    const Request request;
    const XmlDocument document = request.document();
    for (auto _ : state)
        FCPXMLExporter::validate(document.get(), dtd);
}
BENCHMARK(validateAgainstDTD)->Unit(benchmark::kMicrosecond);

void serialize(benchmark::State& state) {
    const Request request;
    const XmlDocument document = request.document();
    for (auto _ : state)
        benchmark::DoNotOptimize(FCPXMLExporter::serialized(document.get()));
}
BENCHMARK(serialize)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
