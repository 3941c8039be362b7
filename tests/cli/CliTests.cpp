// The command-line tool driven as a script drives it: through a shell, which hands the file
// names over byte for byte from the environment ($CLI, $CLIP, $DIR, $DTD).

#include "model/UserError.h"
#include "support/Clips.h"
#include "support/Outcomes.h"
#include "support/Printing.h"
#include "support/TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // The output's name is not UTF-8 either: written with the bytes given.
    qputenv("OUT", QFile::encodeName(dir.path()) + "/reef\xFE.fcpxml");
    const QString line = "\"$CLI\" export \"$CLIP\" --output \"$OUT\" --dtd \"$DTD\" "
                         "--views 3 --format portrait --resolution hd --view Bow:A:10:-5:0:80";
    const Outcome first = sh(line);
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_EQ(first.out + first.err, ""); // nothing on success
    ASSERT_EQ(std::rename(qgetenv("OUT"), QFile::encodeName(dir.filePath("reef.fcpxml"))), 0);
    const QByteArray written = contents(dir.filePath("reef.fcpxml"));
    EXPECT_TRUE(
        written.contains("src=\"file://" + QFile::encodeName(dir.path()) + "/Reef%FF.mp4\""));
    EXPECT_TRUE(written.contains("name=\"Reef\xEF\xBF\xBD.mp4\""));
    EXPECT_TRUE(written.contains("name=\"Reef\xEF\xBF\xBD - 3 angles - Portrait 9x16 - HD\""));
    EXPECT_TRUE(written.contains("name=\"1 Bow:A\"") && !written.contains("Rear"));
    Clips::run("xmllint",
               {"--noout", "--dtdvalid", TemporaryHome::testDTD(), dir.filePath("reef.fcpxml")});
    EXPECT_EQ(sh(QString(line).replace("$OUT", "$DIR/reef.fcpxml")).status, 1); // and never over it
    EXPECT_EQ(contents(dir.filePath("reef.fcpxml")), written);
}

TEST_F(Cli, ExportTakesTheDTDFromFinalCutProAndRefusesWhatTheWindowRefuses) {
    const TemporaryHome home;
    const QString line =
        "\"$CLI\" export \"$CLIP\" --output \"$DIR/dive.fcpxml\" --name \"  Dive \" "
        "--layout compound";
    const Outcome without = sh(line);
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.err, "Final Cut Pro's FCPXML 1.14 document type definition was not found. "
                           "Copy FCPXMLv1_14.dtd from Final Cut Pro on a Mac (inside the app, in "
                           "Contents/Frameworks/Interchange.framework/Resources), then name it "
                           "with --dtd or keep a copy with tessaly-cli install-dtd.\n");
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
          "render a.mp4 --output o.png", "render a.mp4 --time 1 --output o.png --size 15x10",
          "render a.mp4 --time 1 --output o.png --size 16x8193", "install-dtd",
          "inspect -- a.mp4 b.mp4"}) {
        const Outcome r = sh(QStringLiteral("\"$CLI\" ") + arguments);
        EXPECT_TRUE(r.status == 2 && r.err.contains("Usage: tessaly-cli") && r.out.isEmpty())
            << arguments;
    }
    const Outcome help = sh("\"$CLI\" export a.mp4 -h --output o");
    EXPECT_TRUE(help.status == 0 && help.out.startsWith("Usage: tessaly-cli"));
    // Help only where an option may stand: as a value it is that value, after -- a file.
    EXPECT_EQ(sh("\"$CLI\" export \"$DIR/a.mp4\" --output o --name -h").status, 1);
    const Outcome file = sh("cd \"$DIR\" && \"$CLI\" inspect -- -h.mp4");
    EXPECT_EQ(file.err, "The file “-h.mp4” couldn’t be opened because there is no such file.\n");
}

TEST_F(Cli, RenderWritesWholePicturesAndNeverOverTheSource) {
    // Mesa unloads its driver with the last context, and its process-long allocations then show up
    // as leaks of an unknown module that no suppression can name; the GL tests check the renderer.
    const QString renderAny = "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=0 \"$CLI\" render ";
    const QString render = renderAny + "\"$CLIP\" ";
    const QString png = dir.filePath("f.png");
    const Outcome drawn = sh(render + "--time 0.5 --output \"$DIR/f.png\" --size 180x320 "
                                      "--view Back:180:0:0:90");
    ASSERT_EQ(drawn.status, 0) << drawn.err.toStdString();
    EXPECT_EQ(drawn.out + drawn.err, "");
    EXPECT_EQ(QImage(png).size(), QSize(180, 320));
    const QByteArray back = contents(png), source = contents(QFile::decodeName(clip));

    // Each refusal leaves every file as it was.
    ASSERT_EQ(::symlink(clip, QFile::encodeName(dir.filePath("link.mp4"))), 0);
    const struct {
        const char* arguments;
        QString message;
    } refusals[] = {
        {"--time 1 --output \"$DIR/f.png\"",
         "“f.png” already exists. Choose another name, or add --overwrite to replace it."},
        {"--time 1 --output \"$CLIP\" --overwrite", "The output would replace the source video."},
        {"--time 1 --output \"$DIR/link.mp4\" --overwrite",
         "The output would replace the source video."},
        {"--time 3.1 --output \"$DIR/g.png\"",
         "The time must be between 0 and the source's duration, 3 seconds."},
        {"--time -0.1 --output \"$DIR/g.png\"",
         "The time must be between 0 and the source's duration, 3 seconds."},
        {"--time 1 --output \"$DIR/g.png\" --view Up:0:nan:0:90",
         "Up: set pan and roll from −180° to 180°, tilt from −90° to 90°, and view width from 45.0 "
         "to 125.0."},
        {"--time 1 --output \"$DIR/g.png\" --view Wide:0:0:0:125.5",
         "Wide: set pan and roll from −180° to 180°, tilt from −90° to 90°, and view width from "
         "45.0 to 125.0."},
    };
    for (const auto& refusal : refusals) {
        const Outcome refused = sh(render + refusal.arguments);
        EXPECT_TRUE(refused.status == 1 && refused.err == refusal.message + "\n")
            << refusal.arguments << ": " << refused.err.toStdString();
    }
    EXPECT_TRUE(contents(png) == back && contents(QFile::decodeName(clip)) == source);
    EXPECT_FALSE(QFile::exists(dir.filePath("g.png")));

    // --overwrite replaces the picture in one step.
    EXPECT_EQ(sh(render + "--time 1 --output \"$DIR/f.png\" --overwrite --size 180x320").status, 0);
    EXPECT_NE(contents(png), back);

    // A write cut short by the file-size limit is a failure that leaves nothing behind.
    for (const QString& command :
         QStringList{render + "--time 1 --output \"$DIR/big.png\"",
                     "\"$CLI\" export \"$CLIP\" --output \"$DIR/big.fcpxml\" --dtd \"$DTD\""}) {
        const Outcome cut = sh("ulimit -f 1 && " + command);
        EXPECT_TRUE(cut.status == 1 && cut.err == "File too large\n") << cut.err.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter("big"), QStringList());
    EXPECT_EQ(QDir(dir.path()).entryList({".Tessaly-*"}, QDir::Files | QDir::Hidden),
              QStringList());

    const Outcome missing = sh(renderAny + "\"$DIR/none.mp4\" --time 0 --output \"$DIR/n.png\"");
    EXPECT_EQ(missing.err,
              "The file “none.mp4” couldn’t be opened because there is no such file.\n");
    const Outcome headless = sh("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + render +
                                "--time 0 --output \"$DIR/h.png\"");
    EXPECT_TRUE(headless.status == 1 && headless.err.startsWith("Rendering needs an OpenGL"));
}

TEST_F(Cli, TheDTDIsReadOnlyAsABoundedFileAndNothingItNamesIsLoaded) {
    const QString export_ = "\"$CLI\" export \"$CLIP\" --output \"$DIR/d.fcpxml\" --dtd ";
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.dtd")), 0600), 0);
    for (const QString& path : {QStringLiteral("/dev/zero"), dir.filePath("pipe.dtd"), dir.path()})
        EXPECT_EQ(sh(export_ + "\"" + path + "\"").err,
                  "The FCPXML document type definition at “" + path + "” could not be read.\n");
    EXPECT_EQ(sh(export_ + "\"$DIR/none.dtd\"").err, "The FCPXML document type definition “" +
                                                         dir.filePath("none.dtd") +
                                                         "” does not exist.\n");

    // Outside resources it names are never loaded: no connection is made to the listener, and
    // the named pipe, which would block whoever opened it, is never opened.
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    for (const QString& outside :
         {QStringLiteral("http://127.0.0.1:%1/x.dtd").arg(listener.serverPort()),
          "file://" + dir.filePath("pipe.dtd")}) {
        QFile dtd(dir.filePath("outside.dtd"));
        ASSERT_TRUE(dtd.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dtd.write(
            ("<!ENTITY % x SYSTEM \"" + outside + "\">\n%x;\n" + contents(TemporaryHome::testDTD()))
                .toUtf8());
        dtd.close();
        const Outcome refused = sh(export_ + "\"$DIR/outside.dtd\"");
        EXPECT_EQ(refused.err, "The multicam setup did not pass Final Cut XML validation: The "
                               "document type definition refers to an outside resource (" +
                                   outside + "), which is never loaded.\n");
    }
    EXPECT_FALSE(listener.waitForNewConnection(100));
    EXPECT_FALSE(QFile::exists(dir.filePath("d.fcpxml")));

    // install-dtd keeps a checked copy where the window finds it, and only once.
    const TemporaryHome home;
    EXPECT_EQ(sh("\"$CLI\" install-dtd \"$DIR/outside.dtd\"").status, 1);
    EXPECT_EQ(sh("\"$CLI\" install-dtd \"$DTD\"").status, 0);
    const QString kept = home.path() + "/.local/share/tessaly/FCPXMLv1_14.dtd";
    EXPECT_EQ(contents(kept), contents(TemporaryHome::testDTD()));
    EXPECT_EQ(QFileInfo(kept).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadUser | QFile::WriteUser |
                                                          QFile::ReadGroup | QFile::ReadOther);
    EXPECT_EQ(sh("\"$CLI\" install-dtd \"$DTD\"").err,
              "An FCPXML 1.14 document type definition is already installed at “" + kept + "”.\n");
    const Outcome notDTD = sh("\"$CLI\" install-dtd \"$CLIP\"");
    EXPECT_EQ(notDTD.status, 1);
}
