// The command-line tool, driven as a script would drive it: through the executable.

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CliRun {
    int status = -1;
    QString out;
    QString err;
};

CliRun run(const QStringList& arguments) {
    QProcess process;
    if (arguments.value(0) == QLatin1String("render")) {
        // Mesa unloads its driver with the last context, so its process-long allocations show
        // up at exit as leaks of an unknown module that no suppression can name. The renderer's
        // own code is leak-checked by the GL tests, which keep the driver loaded.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":detect_leaks=0"));
        process.setProcessEnvironment(environment);
    }
    process.start(QStringLiteral(TESSALY_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// A tiny clip with Rec. 709 tags and stereo sound: 30 frames at 30000/1001.
QString makeClip(const QTemporaryDir& dir, const QString& name, const QString& size) {
    const QString path = dir.filePath(name);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v",
                                            "error",
                                            "-y",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "testsrc2=s=" + size + ":r=30000/1001:d=1.001",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "sine=f=440:r=48000:d=1",
                                            "-frames:v",
                                            "30",
                                            "-c:v",
                                            "libx264",
                                            "-pix_fmt",
                                            "yuv420p",
                                            "-color_primaries",
                                            "bt709",
                                            "-color_trc",
                                            "bt709",
                                            "-colorspace",
                                            "bt709",
                                            "-c:a",
                                            "aac",
                                            "-ac",
                                            "2",
                                            "-shortest",
                                            path});
    ffmpeg.waitForFinished(120000);
    EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    return path;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString dtd = QStringLiteral(TESSALY_TESTDATA_DIR "/FCPXMLv1_14.dtd");

} // namespace

TEST(Cli, InspectPrintsTheFactsOrTheRefusal) {
    QTemporaryDir dir;
    const CliRun ok = run({"inspect", makeClip(dir, "clip.mp4", "256x128")});
    EXPECT_EQ(ok.status, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out, QStringLiteral("{\"width\":256,\"height\":128,\"frameDuration\":"
                                     "\"1001/30000s\",\"duration\":\"1001/1000s\","
                                     "\"sourceStart\":\"0s\",\"channels\":2,\"sampleRate\":48000,"
                                     "\"colorSpace\":\"1-1-1 (Rec. 709)\"}\n"));

    const CliRun wide = run({"inspect", makeClip(dir, "wide.mov", "256x144")});
    EXPECT_EQ(wide.status, 1);
    EXPECT_TRUE(wide.out.isEmpty());
    EXPECT_EQ(wide.err, QString::fromUtf8("Expected a full monoscopic 2:1 equirectangular image; "
                                          "received 256 \u00D7 144.\n"));
}

TEST(Cli, ExportWritesAValidDocumentOnceAndNeverReplacesIt) {
    QTemporaryDir dir;
    const QString clip = makeClip(dir, "Ride 01.mp4", "256x128");
    const QString out = dir.filePath("ride.fcpxml");
    const QStringList args{"export",       clip,
                           "--output",     out,
                           "--dtd",        dtd,
                           "--views",      "3",
                           "--format",     "portrait",
                           "--resolution", "hd",
                           "--view",       "Bow:A:10:-5:0:80"};
    const CliRun first = run(args);
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, out + "\n");
    const QByteArray written = contents(out);
    EXPECT_TRUE(written.contains("name=\"Ride 01 - 3 angles - Portrait 9x16 - HD\""));
    EXPECT_TRUE(written.contains("name=\"1 Bow:A\""));
    EXPECT_FALSE(written.contains("Rear"));

    QProcess xmllint;
    xmllint.start(QStringLiteral("xmllint"), {"--noout", "--dtdvalid", dtd, out});
    xmllint.waitForFinished();
    EXPECT_EQ(xmllint.exitCode(), 0) << xmllint.readAllStandardError().toStdString();

    const CliRun second = run(args);
    EXPECT_EQ(second.status, 1);
    EXPECT_EQ(second.err, QStringLiteral("This XML file already exists. Choose a new filename to "
                                         "preserve the existing file.\n"));
    EXPECT_EQ(contents(out), written);

    const CliRun named = run({"export", clip, "--output", dir.filePath("dive.fcpxml"), "--dtd", dtd,
                              "--name", "  Dive ", "--layout", "compound"});
    ASSERT_EQ(named.status, 0) << named.err.toStdString();
    EXPECT_TRUE(contents(dir.filePath("dive.fcpxml"))
                    .contains("name=\"Dive - 4 angles - Landscape 16x9 - 4K\""));
}

TEST(Cli, ViewChecksOfTheWindowApplyBeforeWriting) {
    QTemporaryDir dir;
    const QString clip = makeClip(dir, "clip.mp4", "256x128");
    const QString out = dir.filePath("x.fcpxml");
    const CliRun duplicate = run({"export", clip, "--output", out, "--dtd", dtd, "--view",
                                  "Front:0:0:0:90", "--view", "front :90:0:0:90"});
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.err, QStringLiteral("Use a different name for each camera view so they are "
                                            "easy to identify in Final Cut Pro.\n"));
    const CliRun range = run({"export", clip, "--output", out, "--view", "Wide:0:0:0:130"});
    EXPECT_EQ(range.status, 1);
    EXPECT_TRUE(range.err.startsWith(QString::fromUtf8("Wide: set pan and roll from \u2212180")));
    EXPECT_FALSE(QFile::exists(out));
}

TEST(Cli, UsageErrorsExitTwoAndHelpExitsZero) {
    const QList<QStringList> bad{
        {},
        {"render"},
        {"inspect"},
        {"inspect", "a.mp4", "b.mp4"},
        {"export", "a.mp4"},
        {"export", "a.mp4", "--output"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--colour", "red"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--views", "5"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--view", "A:zero:0:0:90"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--view", "A:0:0:90"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--resolution", "8k"},
        {"export", "a.mp4", "--output", "o.fcpxml", "--views", "3", "--view", "A:0:0:0:90",
         "--view", "B:0:0:0:90", "--view", "C:0:0:0:90", "--view", "D:0:0:0:90"},
    };
    for (const QStringList& args : bad) {
        const CliRun r = run(args);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Usage: tessaly-cli"))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    const CliRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: tessaly-cli")));
}

TEST(Cli, RenderDrawsTheViewAtTheRequestedSizeOrSaysWhyNot) {
    QTemporaryDir dir;
    const QString clip = makeClip(dir, "clip.mp4", "256x128");
    const QString front = dir.filePath("front.png");
    const CliRun landscape = run({"render", clip, "--time", "0.5", "--output", front, "--size",
                                  "320x180", "--view", "Front:0:0:0:90"});
    ASSERT_EQ(landscape.status, 0) << landscape.err.toStdString();
    EXPECT_EQ(landscape.out, front + "\n");
    const QImage frontImage(front);
    EXPECT_EQ(frontImage.size(), QSize(320, 180));

    const QString back = dir.filePath("back.png");
    const CliRun portrait = run({"render", clip, "--time", "0.5", "--output", back, "--size",
                                 "180x320", "--view", "Back:180:0:0:90"});
    ASSERT_EQ(portrait.status, 0) << portrait.err.toStdString();
    const QImage backImage(back);
    EXPECT_EQ(backImage.size(), QSize(180, 320));
    // The two directions show different parts of the picture, and neither is the empty grey.
    EXPECT_NE(frontImage.pixel(160, 90), backImage.pixel(90, 160));
    EXPECT_NE(qRed(frontImage.pixel(160, 90)), 4);

    const CliRun missing = run(
        {"render", dir.filePath("none.mp4"), "--time", "0", "--output", dir.filePath("none.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.endsWith(QStringLiteral("No such file or directory\n")));

    QProcess headless;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    headless.setProcessEnvironment(environment);
    headless.start(QStringLiteral(TESSALY_CLI_PATH),
                   {"render", clip, "--time", "0", "--output", dir.filePath("h.png")});
    headless.waitForFinished(60000);
    EXPECT_EQ(headless.exitCode(), 1);
    EXPECT_TRUE(headless.readAllStandardError().contains("Rendering needs an OpenGL context"));

    EXPECT_EQ(run({"render", clip, "--output", front}).status, 2);
    EXPECT_EQ(run({"render", clip, "--time", "-1", "--output", front}).status, 2);
    EXPECT_EQ(run({"render", clip, "--time", "1", "--output", front, "--size", "0x10"}).status, 2);
}
