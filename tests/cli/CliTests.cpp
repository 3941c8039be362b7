// The command-line tool driven as a script drives it: through a shell, which hands the file
// names over byte for byte from the environment ($CLI, $CLIP, $DIR, $DTD).

#include "model/UserError.h"
#include "support/Clips.h"
#include "support/Outcomes.h"
#include "support/Printing.h"
#include "support/TemporaryHome.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

Outcome sh(const QString& line) {
    QProcess process; // with no environment of its own, the shell gets this process's bytes
    process.start("/bin/sh", {"-c", line});
    EXPECT_TRUE(process.waitForFinished(120000)) << line.toStdString();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// The shared sample (512 × 256, 3 s at 30 fps, stereo) under a name that is not UTF-8.
class Cli : public testing::Test {
protected:
    QTemporaryDir dir;
    QByteArray clip = QFile::encodeName(dir.path()) + "/Reef\xFF.mp4";
    void SetUp() override {
        ASSERT_TRUE(QFile::copy(Clips::cachedSample(), dir.filePath("copy")));
        ASSERT_EQ(std::rename(QFile::encodeName(dir.filePath("copy")), clip), 0);
        qputenv("CLI", TESSALY_CLI_PATH);
        qputenv("CLIP", clip);
        qputenv("DIR", QFile::encodeName(dir.path()));
        qputenv("DTD", QFile::encodeName(TemporaryHome::testDTD()));
    }
    void TearDown() override { std::remove(clip); } // a name QTemporaryDir cannot remove
};

} // namespace

TEST_F(Cli, InspectsAndExportsAFileWhoseNameIsNotText) {
    const Outcome facts = sh("\"$CLI\" inspect \"$CLIP\"");
    EXPECT_EQ(facts.status, 0) << facts.err.toStdString();
    EXPECT_EQ(facts.out, "{\"width\":512,\"height\":256,\"frameDuration\":\"1/30s\",\"duration\":"
                         "\"3s\",\"sourceStart\":\"0s\",\"channels\":2,\"sampleRate\":48000,"
                         "\"colorSpace\":\"1-1-1 (Rec. 709)\"}\n");
    const QString line = "\"$CLI\" export \"$CLIP\" --output \"$DIR/reef.fcpxml\" --dtd \"$DTD\" "
                         "--views 3 --format portrait --resolution hd --view Bow:A:10:-5:0:80";
    const Outcome first = sh(line);
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out, dir.filePath("reef.fcpxml") + "\n");
    const QByteArray written = contents(dir.filePath("reef.fcpxml"));
    EXPECT_TRUE(
        written.contains("src=\"file://" + QFile::encodeName(dir.path()) + "/Reef%FF.mp4\""));
    EXPECT_TRUE(written.contains("name=\"Reef\xEF\xBF\xBD.mp4\""));
    EXPECT_TRUE(written.contains("name=\"Reef\xEF\xBF\xBD - 3 angles - Portrait 9x16 - HD\""));
    EXPECT_TRUE(written.contains("name=\"1 Bow:A\"") && !written.contains("Rear"));
    Clips::run("xmllint",
               {"--noout", "--dtdvalid", TemporaryHome::testDTD(), dir.filePath("reef.fcpxml")});
    EXPECT_EQ(sh(line).status, 1); // and never over it
    EXPECT_EQ(contents(dir.filePath("reef.fcpxml")), written);
}

TEST_F(Cli, ExportTakesTheDTDFromFinalCutProAndRefusesWhatTheWindowRefuses) {
    const TemporaryHome home;
    const QString line =
        "\"$CLI\" export \"$CLIP\" --output \"$DIR/dive.fcpxml\" --name \"  Dive \" "
        "--layout compound";
    const Outcome without = sh(line);
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.err, MissingDTDError().message() + "\n");
    home.installFinalCut();
    const Outcome with = sh(line);
    ASSERT_EQ(with.status, 0) << with.err.toStdString();
    const QByteArray written = contents(dir.filePath("dive.fcpxml"));
    EXPECT_TRUE(written.contains("name=\"Dive - 4 angles - Landscape 16x9 - 4K\"") &&
                written.contains("<ref-clip"));

    const Outcome duplicate =
        sh("\"$CLI\" export \"$CLIP\" --output \"$DIR/x.fcpxml\" --dtd \"$DTD\" "
           "--view Front:0:0:0:90 --view \"front :90:0:0:90\"");
    EXPECT_EQ(duplicate.status, 1);
    EXPECT_EQ(duplicate.out + duplicate.err,
              "Use a different name for each camera view so they are "
              "easy to identify in Final Cut Pro.\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("x.fcpxml")));
}

TEST_F(Cli, UsageErrorsExitTwoAndHelpExitsZero) {
    for (const char* arguments :
         {"", "render", "inspect", "inspect a.mp4 b.mp4", "export a.mp4", "export a.mp4 --output",
          "export a --output o --colour red", "export a --output o --views 5",
          "export a --output o --view A:zero:0:0:90", "export a --output o --view A:0:0:90",
          "export a --output o --format Landscape", "export a --output o --layout Direct",
          "export a --output o --resolution 8k",
          "export a --output o --views 3 --view A:0:0:0:90 --view B:0:0:0:90 --view C:0:0:0:90 "
          "--view D:0:0:0:90",
          "render a.mp4 --output o.png", "render a.mp4 --time -1 --output o.png",
          "render a.mp4 --time 1 --output o.png --size 0x10"}) {
        const Outcome r = sh(QStringLiteral("\"$CLI\" ") + arguments);
        EXPECT_TRUE(r.status == 2 && r.err.contains("Usage: tessaly-cli") && r.out.isEmpty())
            << arguments;
    }
    const Outcome help = sh("\"$CLI\" --help");
    EXPECT_TRUE(help.status == 0 && help.out.startsWith("Usage: tessaly-cli"));
}

TEST_F(Cli, RenderDrawsTheViewAtTheRequestedSizeOrSaysWhyNot) {
    // Mesa unloads its driver with the last context, and its process-long allocations then show up
    // as leaks of an unknown module that no suppression can name; the GL tests check the renderer.
    const QString render = "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 \"$CLI\" render ";
    const Outcome drawn = sh(render + "\"$CLIP\" --time 0.5 --output \"$DIR/f.png\" --size 180x320 "
                                      "--view Back:180:0:0:90");
    ASSERT_EQ(drawn.status, 0) << drawn.err.toStdString();
    EXPECT_EQ(drawn.out, dir.filePath("f.png") + "\n");
    EXPECT_EQ(QImage(dir.filePath("f.png")).size(), QSize(180, 320));
    const Outcome missing = sh(render + "\"$DIR/none.mp4\" --time 0 --output \"$DIR/n.png\"");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.endsWith("No such file or directory\n")) << missing.err.toStdString();
    const Outcome headless = sh("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + render +
                                "\"$CLIP\" --time 0 --output \"$DIR/h.png\"");
    EXPECT_EQ(headless.status, 1);
    EXPECT_TRUE(headless.err.startsWith("Rendering needs an OpenGL context"));
}
