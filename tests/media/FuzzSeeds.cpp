// Writes the fuzzer's seed corpus: small synthetic movies that reach every part of the reader
// (edit lists, every kind of audio configuration, tables one field away from claiming billions of
// frames) and tiny clips from the ffmpeg program. Usage: media_fuzz_seeds SEED_DIR NEW_DIR
#include "fixtures/Mp4Writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <cstdio>

namespace {

std::vector<std::pair<QString, Mp4::MoviePlan>> syntheticSeeds() {
    Mp4::MoviePlan plain;
    plain.tracks = {Mp4::videoTrack(64, 32, 8)};
    // Reordered frames, an edit list, every audio configuration, 24-hour timecode, metadata.
    Mp4::MoviePlan full = plain;
    full.brand = "qt  ";
    full.tracks[0].compositionOffsets = {{1, 1001}, {1, 2002},  {1, -2002}, {1, -1001},
                                         {1, 1001}, {1, -1001}, {2, 0}};
    full.tracks[0].edits = std::vector<Mp4::Edit>{{10, -1}, {200, 1001}};
    full.tracks[0].sampleEntries = {
        Mp4::visualEntry("avc1", 64, 32, Mp4::colorBox("nclx", 1, 1, 1))};
    full.tracks.push_back(Mp4::timecodeTrack("tmcd", 30000, 1001, 107892));
    full.tracks[1].sampleEntries = {Mp4::timecodeEntry("tmcd", 30000, 1001, 3)};
    full.meta = Mp4::keyedMetadata({{"com.apple.quicktime.timecode", "01:00:00;00"}});
    // Audio entries as stored: type, configuration box type and payload.
    const auto entry = [](const char* type, const char* box, const char* hex) {
        return Mp4::audioEntry(2, 48000, 0, type, Mp4::box(box, QByteArray::fromHex(hex)));
    };
    full.tracks.push_back(Mp4::audioTrack());
    full.tracks.back().sampleEntries = {
        Mp4::audioEntry(2, 0, 0, "mp4a", Mp4::esds(QByteArray::fromHex("131056e598"))),
        Mp4::audioEntry(6, 0, 1, "mp4a", Mp4::box("wave", Mp4::esds(Mp4::aacConfig(4, 0)))),
        entry("mp4a", "chan", "00000000 00010000 0000003f 00000000"),
        entry("Opus", "dOps", "00060138 0000bb80 0000 01 04 02 00"),
        entry("ac-3", "dac3", "103de0"),
        entry("ec-3", "dec3", "0300 2002 0f 80")};
    full.tracks.push_back(full.tracks.back());
    full.tracks.back().sampleEntries = {
        entry("fLaC", "dfLa", "00000000 80000022 20002000 00078500 089d1770 06f00000 bb80"),
        entry("alac", "alac", "00000000 00001000 0010280a0e06 0000 0000c004 00465000 0000bb80"),
        entry("ipcm", "chnl", "00000000 0106 0000000000000009"),
        entry("sowt", "srat", "00000000 0005dc00"),
        Mp4::audioEntry(3, 96000, 2, "lpcm"),
        Mp4::audioEntry(6, 44100, 1, "in24")};
    // One chunk of one-byte frames, whose count is one field away from billions.
    Mp4::MoviePlan oneChunk = plain;
    oneChunk.tracks[0].sampleSize = 1;
    oneChunk.tracks[0].samplesPerChunk = 8;
    oneChunk.tracks[0].edits = std::vector<Mp4::Edit>{{100, 2002}};
    return {{"plain.mp4", plain}, {"full.mov", full}, {"one-chunk.mp4", oneChunk}};
}

bool runFfmpeg(const QStringList& arguments) {
    QProcess process;
    process.start("ffmpeg", QStringList{"-v", "error", "-y"} + arguments);
    return process.waitForFinished(60000) && process.exitCode() == 0;
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
    bool written = QDir().mkpath(seeds.path()) && QDir().mkpath(QString::fromLocal8Bit(argv[2]));
    for (const auto& [name, plan] : syntheticSeeds())
        written = written && Mp4::writeMovieFile(plan, seeds.filePath(name));
    if (!written) {
        std::fprintf(stderr, "Cannot write the seed corpus.\n");
        return 1;
    }
    // With B-frames, 5.1 audio and timecode; fragmented; and trimmed without re-encoding.
    const QStringList common =
        QString(
            "-f lavfi -i testsrc2=size=64x32:rate=30000/1001 -f lavfi -i sine=sample_rate=48000 "
            "-t 0.2 -c:v libx264 -bf 2 -ac 6")
            .split(' ');
    const QString full = seeds.filePath("ffmpeg.mov");
    if (!runFfmpeg(common + QStringList{"-timecode", "01:00:00;00", full}) ||
        !runFfmpeg(common + QStringList{"-movflags", "frag_keyframe+empty_moov",
                                        seeds.filePath("ffmpeg-frag.mp4")}) ||
        !runFfmpeg({"-ss", "0.1", "-i", full, "-c", "copy", seeds.filePath("ffmpeg-trim.mov")})) {
        std::fprintf(stderr, "The ffmpeg program could not make the seed clips.\n");
        return 1;
    }
    return 0;
}
