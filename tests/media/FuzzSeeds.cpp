// Writes the fuzzer's seed corpus: small synthetic movies that reach every part of the reader
// (edit lists, each kind of audio configuration, fragments, tables that claim more than the file
// holds) and a few tiny clips from the ffmpeg program. Usage: media_fuzz_seeds SEED_DIR NEW_DIR
#include "fixtures/Mp4Writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <cstdio>

namespace {

std::vector<std::pair<QString, Mp4::MoviePlan>> syntheticSeeds() {
    Mp4::MoviePlan plain;
    plain.tracks.push_back(Mp4::videoTrack(64, 32, 8));
    plain.tracks[0].sampleEntries = {
        Mp4::visualEntry("avc1", 64, 32, Mp4::colorBox("nclx", 1, 1, 1))};
    std::vector<std::pair<QString, Mp4::MoviePlan>> seeds{{"plain.mp4", plain}};

    Mp4::MoviePlan full = plain;
    full.brand = "qt  ";
    full.tracks[0].compositionOffsets = {{1, 1001}, {1, 2002},  {1, -2002}, {1, -1001},
                                         {1, 1001}, {1, -1001}, {2, 0}};
    full.tracks[0].edits = std::vector<Mp4::Edit>{{10, -1}, {200, 1001}};
    full.tracks.push_back(Mp4::audioTrack(2, 3));
    full.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 107892));
    full.tracks[2].sampleEntries = {Mp4::timecodeEntry("tmcd", 30000, 1001, 3)};
    full.tracks[0].userData = Mp4::userDataText("\xA9"
                                                "cmt",
                                                "note");
    full.meta = Mp4::keyedMetadata({{"com.apple.quicktime.timecode", "01:00:00;00"}});
    seeds.emplace_back("full.mov", full);

    Mp4::MoviePlan fragmented = plain;
    fragmented.tracks.push_back(Mp4::timecodeTrack("tc64", 30000, 1001, 30));
    fragmented.tracks[0].compositionOffsets = {{8, 1001}};
    fragmented.tracks[0].edits = std::vector<Mp4::Edit>{{0, 1001}};
    fragmented.fragmentSamples = 4;
    seeds.emplace_back("fragmented.mp4", fragmented);

    // One chunk of constant-size frames: a count field away from billions of frames.
    Mp4::MoviePlan oneChunk = plain;
    oneChunk.tracks[0].sampleSize = 1;
    oneChunk.tracks[0].samplesPerChunk = 8;
    oneChunk.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002}};
    seeds.emplace_back("one-chunk.mp4", oneChunk);

    const auto box = [](const char* type, const char* hex) {
        return Mp4::box(type, QByteArray::fromHex(hex));
    };
    const std::pair<const char*, QByteArray> entries[] = {
        {"he-aac",
         Mp4::audioEntry(2, 0, 0, "mp4a", Mp4::esds(QByteArray::fromHex("1310 56e5 98")))},
        {"pce", Mp4::audioEntry(2, 0, 0, "mp4a",
                                Mp4::esds(QByteArray::fromHex("1180 0c86 0400 8400 10")))},
        {"wave", Mp4::audioEntry(6, 44100, 1, "mp4a",
                                 Mp4::box("wave", Mp4::esds(Mp4::aacConfig(4, 6))) +
                                     box("chan", "00000000 00010000 0000003f 00000000"))},
        {"opus",
         Mp4::audioEntry(2, 48000, 0, "Opus",
                         box("dOps", "0006 0138 0000bb80 0000 01 04 02 00 04 01 02 03 05"))},
        {"ac3", Mp4::audioEntry(2, 48000, 0, "ac-3", box("dac3", "103de0"))},
        {"eac3", Mp4::audioEntry(2, 48000, 0, "ec-3", box("dec3", "0300 2002 0f 80"))},
        {"flac", Mp4::audioEntry(4, 96000, 0, "fLaC",
                                 box("dfLa", "00000000 80000022 20002000 00078500 089d1770 "
                                             "06f00000 bb80f94d baf7d3ce 4feb2e4c 907d12a2 0ecb"))},
        {"alac",
         Mp4::audioEntry(
             6, 48000, 0, "alac",
             box("alac", "00000000 00001000 00 10 28 0a 0e 06 0000 0000c004 00465000 0000bb80"))},
        {"chnl", Mp4::audioEntry(2, 48000, 0, "ipcm",
                                 box("chnl", "00000000 0106 0000000000000009") +
                                     box("srat", "00000000 0005dc00"))},
        {"lpcm-v2", Mp4::audioEntry(3, 96000, 2, "lpcm")}};
    for (const auto& [name, entry] : entries) {
        Mp4::MoviePlan audio = plain;
        audio.tracks.push_back(Mp4::audioTrack());
        audio.tracks[1].sampleEntries = {entry};
        seeds.emplace_back(QStringLiteral("audio-%1.mov").arg(name), audio);
    }
    return seeds;
}

bool runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.start("ffmpeg", QStringList{"-v", "error", "-y"} + arguments);
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
    const QDir seeds(QString::fromLocal8Bit(argv[1]));
    QDir(QString::fromLocal8Bit(argv[2])).removeRecursively();
    if (!QDir().mkpath(seeds.path()) || !QDir().mkpath(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "Cannot create the corpus folders.\n");
        return 1;
    }
    for (const auto& [name, plan] : syntheticSeeds()) {
        if (!Mp4::writeMovieFile(plan, seeds.filePath(name))) {
            std::fprintf(stderr, "Cannot write %s.\n", qPrintable(name));
            return 1;
        }
    }
    const QStringList common{"-f",  "lavfi", "-i",   "testsrc2=size=64x32:rate=30000/1001",
                             "-f",  "lavfi", "-i",   "sine=sample_rate=48000",
                             "-t",  "0.2",   "-c:v", "libx264",
                             "-bf", "2",     "-ac",  "6"};
    const QString full = seeds.filePath("ffmpeg.mov");
    const bool made =
        runFfmpeg(common + QStringList{"-timecode", "01:00:00;00", full}) &&
        runFfmpeg(common + QStringList{"-movflags", "frag_keyframe+empty_moov",
                                       seeds.filePath("ffmpeg-frag.mp4")}) &&
        runFfmpeg({"-ss", "0.1", "-i", full, "-c", "copy", seeds.filePath("ffmpeg-trim.mov")});
    if (!made) {
        std::fprintf(stderr, "The ffmpeg program could not make the seed clips.\n");
        return 1;
    }
    return 0;
}
