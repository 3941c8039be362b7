// Writes the fuzzer's seed corpus: small synthetic movies that reach every part of the reader,
// and a few tiny clips from the ffmpeg program. Usage: media_fuzz_seeds SEED_DIR NEW_DIR
#include "fixtures/Mp4Writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <cstdio>

namespace {

std::vector<std::pair<QString, Mp4::MoviePlan>> syntheticSeeds() {
    std::vector<std::pair<QString, Mp4::MoviePlan>> seeds;
    Mp4::MoviePlan plain;
    plain.tracks.push_back(Mp4::videoTrack(64, 32, 8));
    plain.tracks[0].sampleEntries = {
        Mp4::visualEntry("avc1", 64, 32, Mp4::colorBox("nclx", 1, 1, 1))};
    seeds.emplace_back(QStringLiteral("plain.mp4"), plain);

    Mp4::MoviePlan full = plain;
    full.brand = "qt  ";
    full.tracks[0].compositionOffsets = {{1, 1001}, {1, 2002},  {1, -2002}, {1, -1001},
                                         {1, 1001}, {1, -1001}, {2, 0}};
    full.tracks[0].edits = std::vector<Mp4::Edit>{{10, -1}, {300, 1001}};
    full.tracks.push_back(Mp4::audioTrack(2, 48000, 3));
    full.tracks[1].sampleEntries = {Mp4::audioEntry(2, 48000, 2, "lpcm")};
    full.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 107892));
    full.tracks[0].userData = Mp4::userDataText("\xA9"
                                                "cmt",
                                                QStringLiteral("note"));
    full.meta =
        Mp4::keyedMetadata({{"com.apple.quicktime.timecode", QStringLiteral("01:00:00;00")}});
    seeds.emplace_back(QStringLiteral("full.mov"), full);

    Mp4::MoviePlan fragmented = plain;
    fragmented.tracks.push_back(Mp4::timecodeTrack("tc64", 30000, 1001, 30));
    fragmented.tracks[0].compositionOffsets = {{8, 1001}};
    fragmented.fragmentSamples = 4;
    seeds.emplace_back(QStringLiteral("fragmented.mp4"), fragmented);
    return seeds;
}

bool runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} +
                      arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "Usage: media_fuzz_seeds SEED_DIR NEW_DIR\n");
        return 2;
    }
    const QString seedDir = QString::fromLocal8Bit(argv[1]);
    const QString newDir = QString::fromLocal8Bit(argv[2]);
    QDir(newDir).removeRecursively();
    if (!QDir().mkpath(seedDir) || !QDir().mkpath(newDir)) {
        std::fprintf(stderr, "Cannot create the corpus folders.\n");
        return 1;
    }
    for (const auto& [name, plan] : syntheticSeeds()) {
        if (!Mp4::writeMovieFile(plan, QDir(seedDir).filePath(name))) {
            std::fprintf(stderr, "Cannot write %s.\n", qPrintable(name));
            return 1;
        }
    }
    const QString source = QStringLiteral("testsrc2=size=64x32:rate=30000/1001");
    const QStringList common{QStringLiteral("-f"),        QStringLiteral("lavfi"),
                             QStringLiteral("-i"),        source,
                             QStringLiteral("-frames:v"), QStringLiteral("6"),
                             QStringLiteral("-c:v"),      QStringLiteral("libx264"),
                             QStringLiteral("-bf"),       QStringLiteral("2")};
    const bool made =
        runFfmpeg(common + QStringList{QStringLiteral("-timecode"), QStringLiteral("01:00:00;00"),
                                       QDir(seedDir).filePath(QStringLiteral("ffmpeg.mov"))}) &&
        runFfmpeg(common + QStringList{QStringLiteral("-movflags"),
                                       QStringLiteral("frag_keyframe+empty_moov"),
                                       QDir(seedDir).filePath(QStringLiteral("ffmpeg-frag.mp4"))});
    if (!made) {
        std::fprintf(stderr, "The ffmpeg program could not make the seed clips.\n");
        return 1;
    }
    return 0;
}
