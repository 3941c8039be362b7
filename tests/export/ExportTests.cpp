#include "export/FCPXMLExporter.h"
#include "model/FileNames.h"
#include "support/Clips.h"
#include "support/Outcomes.h"
#include "support/Printing.h"
#include "support/TemporaryHome.h"

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <grp.h>
#include <gtest/gtest.h>
#include <latch>
#include <libxml/parser.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using R = ExportRequest&;
using D = OutputDimensions;
const QString ok = "no error", control = "Names cannot contain XML control characters.";
const QString exists = "This XML file already exists. Choose a new filename to preserve the "
                       "existing file.";
const QUrl testDTD = QUrl::fromLocalFile(TemporaryHome::testDTD());

// 3840 × 1920 at 29.97 fps, 300 frames, stereo 48 kHz, four views of a 1920 × 1080 project.
ExportRequest typical() {
    return {QUrl::fromLocalFile("/Volumes/Footage/Dive Trip/GS010042.MP4"),
            {3840, 1920, MediaTime::make(1001, 30000), MediaTime::make(300300, 30000),
             MediaTime::make(86486400, 24000), 2, 48000, "1-1-1 (Rec. 709)"},
            {{"Front", {0, 0, 0, 90}},
             {"Left", {-90, 0, 0, 100}},
             {"Back", {180, -12.5, 3, 110}},
             {"Right", {90, 33.33333333, -0.0, 45}}},
            {1920, 1080},
            "Dive",
            ExportLayout::direct,
            {},
            std::nullopt};
}
QByteArray text(const ExportRequest& request) {
    return FCPXMLExporter::serialized(FCPXMLExporter::document(request).get());
}
XmlDocument parse(const QByteArray& text) {
    return XmlDocument(xmlReadMemory(text.data(), int(text.size()), "m", nullptr, XML_PARSE_NONET));
}
QString validation(xmlDoc* document, const std::optional<QUrl>& dtd = testDTD) {
    return messageOf([&] { FCPXMLExporter::validate(document, dtd); });
}

// A folder with a source clip, and a request that exports it to Dive.fcpxml beside it.
class FCPXMLWrite : public testing::Test {
protected:
    QTemporaryDir folder;
    ExportRequest request = typical();
    FCPXMLWrite() {
        QFile clip(folder.filePath("clip.mp4"));
        EXPECT_TRUE(clip.open(QIODevice::WriteOnly) && clip.write("not really a movie"));
        request.source = at("clip.mp4"), request.destination = at("Dive.fcpxml");
    }
    QUrl at(const QString& name) const { return QUrl::fromLocalFile(folder.filePath(name)); }
    QString write(const std::optional<QUrl>& dtd = testDTD) {
        return messageOf([&] { FCPXMLExporter::write(request, dtd); });
    }
    QStringList entries(const QString& inside = {}) const {
        return QDir(folder.filePath(inside))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
    // Whether the write, in a forked child that gave up root for uid 65534 (root ignores
    // permissions) and may write files only up to a size, refuses with the message.
    bool refusesInChild(const QString& message, bool unprivileged, rlim_t fileSizeLimit) {
        const pid_t child = ::fork();
        if (child == 0) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            std::signal(SIGXFSZ, SIG_IGN);
            const bool ready =
                ::setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                (!unprivileged || ::geteuid() != 0 ||
                 (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                  ::setresuid(65534, 65534, 65534) == 0));
            const QString refusal = ready ? write() : "could not prepare";
            std::fprintf(stderr, "%s\n", qPrintable(refusal));
            ::_exit(refusal == message ? 0 : 1);
        }
        int status = 0;
        return ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }
};

} // namespace

TEST(FCPXMLDocument, MatchesGoldenFilesThatTwoValidatorsAccept) {
    const std::pair<const char*, std::function<void(R)>> golden[] = {
        {"landscape-direct-sound", [](R) {}},
        {"landscape-compound",
         [](R r) {
             r.layout = ExportLayout::compound, r.size = D{3840, 2160};
         }},
        // Portrait forces compound clips even with the direct layout.
        {"portrait",
         [](R r) {
             r.size = D{1080, 1920}, r.views[1].angles.roll = 90, r.views[2].angles.roll = 180;
             r.views[3].angles.roll = -90;
         }},
        {"three-views-silent",
         [](R r) {
             r.views.resize(3), r.info.channels = r.info.sampleRate = 0, r.info.colorSpace = {};
         }},
        {"escaped-names",
         [](R r) {
             r.name = QString::fromUtf16(u"Reef & Wreck <North> \"Dawn\" \u2014 Day 2");
             r.views[0].name = "Front & \"Centre\"", r.views[1].name = "Left\tSide";
         }},
    };
    for (const auto& [name, change] : golden) {
        ExportRequest request = typical();
        change(request);
        const QByteArray document = text(request);
        const QString path =
            QStringLiteral(TESSALY_SOURCE_DIR "/tests/export/golden/%1.fcpxml").arg(name);
        QFile file(path); // TESSALY_UPDATE_GOLDEN=1 rewrites them after a deliberate change
        if (qEnvironmentVariableIsSet("TESSALY_UPDATE_GOLDEN")) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(document) == document.size());
        }
        EXPECT_EQ(document, contents(path)) << name;
        EXPECT_EQ(validation(parse(document).get()), ok);
        Clips::run("xmllint", {"--noout", "--dtdvalid", TemporaryHome::testDTD(), path});
        // The declaration, the root in canonical form, one line feed.
        EXPECT_EQ(document, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" +
                                Clips::run("xmllint", {"--c14n", path}).toUtf8() + "\n");
    }
}

TEST(FCPXMLDocument, ValidationGivesTheFirstProblemWholeAndKeepsTheDocumentsDTD) {
    const QString invalid = "The multicam setup did not pass Final Cut XML validation: ";
    const XmlDocument document = parse(text(typical()));
    xmlDtd* own = xmlCreateIntSubset(document.get(), BAD_CAST "fcpxml", nullptr, nullptr);
    xmlNode* root = xmlDocGetRootElement(document.get());
    xmlNewChild(root, nullptr, BAD_CAST "library", nullptr); // after an event: out of order
    xmlSetProp(root, BAD_CAST "version", BAD_CAST "1.13");
    EXPECT_EQ(validation(document.get()),
              invalid +
                  "Element fcpxml content does not follow the DTD, expecting (import-options? "
                  ", resources? , (library | event* | (clip | audition | mc-clip | ref-clip | "
                  "sync-clip | asset-clip | collection-folder | keyword-collection | "
                  "smart-collection | project)*)), got (resources event library)");
    EXPECT_EQ(validation(document.get(), QUrl::fromLocalFile("/none/FCPXMLv1_14.dtd")),
              "The FCPXML document type definition “/none/FCPXMLv1_14.dtd” does not exist.");
    for (const auto& none : {std::optional<QUrl>(), std::optional(QUrl("https://a/x.dtd"))})
        EXPECT_THROW(FCPXMLExporter::validate(document.get(), none), MissingDTDError);
    EXPECT_TRUE(document->intSubset == own && document->extSubset == nullptr);
}

TEST(ExportRequestCheck, FirstFailingRuleDecidesTheMessage) {
    const QString source = "Choose a stitched MP4 or MOV exported as a full 360° video.";
    const QString views = "Exactly three or four views are required.";
    const QString size = "Output dimensions must be positive even pixel counts.";
    const QString equirect = "Choose a full monoscopic 2:1 equirectangular video.";
    const QString audio = "Could not determine the source audio format.";
    const QString inexact = "Media timing must be a finite, exact rational value.";
    const QString frames =
        "The source duration must contain a positive whole number of video frames.";
    const QString ranges = "Camera directions and view width must be finite values within the "
                           "supported ranges.";
    const QString normal = "Final Cut Normal mapping supports view width settings from 45 to 125.";
    const std::pair<std::function<void(R)>, QString> cases[] = {
        {[](R) {}, ok},
        {[](R r) { r.source = QUrl("file:///c/clip.MOV"); }, ok},
        {[](R r) { r.source.setPath(FileNames::decodedPath("/a\xFF.mp4")); }, ok},
        {[](R r) { r.source = QUrl("file:///c/clip.mkv"); }, source},
        {[](R r) { r.source = QUrl("https://a.example/clip.mp4"); }, source},
        {[](R r) { r.views.resize(2), r.layout = ExportLayout(7), r.size.width = 0, r.name = ""; },
         views},
        {[](R r) { r.views.append(r.views[0]); }, views},
        {[](R r) { r.layout = ExportLayout(7), r.size.width = 0; }, "Unknown multicam layout."},
        {[](R r) { r.size.width = 1919, r.info.height = 0; }, size},
        {[](R r) { r.size.height = 0; }, size},
        {[](R r) { r.size.height = 2147483648; }, size},
        {[](R r) { r.size.width = 2147483646, r.size.height = 2; }, ok},
        {[](R r) { r.info.height = 1921; }, equirect},
        {[](R r) { r.info.width = r.info.height = 0; }, equirect},
        {[](R r) { r.info.channels = r.info.sampleRate = 0; }, ok},
        {[](R r) { r.info.sampleRate = 0; }, audio},
        {[](R r) { r.info.channels = -1; }, audio},
        {[](R r) { r.info.frameDuration.flags |= MediaTime::HasBeenRounded; }, inexact},
        {[](R r) { r.info.duration.epoch = 1; }, inexact},
        {[](R r) { r.info.sourceStart = MediaTime::make(INT64_MIN, 1); }, inexact},
        {[](R r) { r.info.sourceStart = MediaTime::make(-7, 30000); }, ok},
        {[](R r) { r.info.sourceStart = MediaTime::invalid(), r.info.duration.value += 1; },
         inexact},
        {[](R r) { r.info.duration.value += 1, r.name = ""; }, frames},
        {[](R r) { r.info.duration.value = 0; }, frames},
        {[](R r) { r.info.frameDuration.value = -1001; }, frames},
        {[](R r) { r.name = QString::fromUtf16(u" \u2003\u2028"), r.views[0].name = ""; },
         "Give the project a name."},
        {[](R r) { r.name = "Dive\a"; }, control},
        {[](R r) { r.source.setPath(QString::fromUtf16(u"/a\uFFFE.mp4")); }, control},
        {[](R r) { r.info.colorSpace = QString::fromUtf16(u"Rec\u001B709"); }, control},
        {[](R r) { r.views[0].name = " \t", r.views[1].angles.tilt = 95; },
         "Give each camera view a name."},
        {[](R r) { r.views[2].name = "Back\f"; }, control},
        {[](R r) { r.views[1].name = "front "; }, "Use a different name for each camera view."},
        {[](R r) { r.views[1].name = QString::fromUtf16(u"Fr\u00F6nt"); }, ok},
        {[](R r) { r.views[1].angles.pan = 181, r.views[2].name = "FRONT"; }, ranges},
        {[](R r) {
             r.views[0].angles = {-180, 90, -180, 90};
         },
         ok},
        {[](R r) { r.views[0].angles.tilt = -90.01; }, ranges},
        {[](R r) { r.views[3].angles.pan = std::nan(""); }, ranges},
        // Outside 16:9 and 9:16 the Normal mapping's limits do not apply.
        {[](R r) { r.size.width = 2000, r.views[0].angles.fov = 9.99; }, ranges},
        {[](R r) {
             r.size.width = 2000, r.views[0].angles.fov = 10, r.views[1].angles.fov = 179.9;
         },
         ok},
        {[](R r) { r.size.width = 2000, r.views[0].angles.fov = 180; }, ranges},
        {[](R r) { r.views[0].angles.fov = 45, r.views[1].angles.fov = 125; }, ok},
        {[](R r) { r.views[0].angles.fov = 125.0001; }, normal},
        {[](R r) { r.views[0].angles.fov = 44.9; }, normal},
        {[](R r) {
             r.size = D{1080, 1920}, r.views[2].angles.fov = 130;
         },
         normal},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ExportRequest request = typical();
        cases[i].first(request);
        EXPECT_EQ(messageOf([&] { FCPXMLExporter::check(request); }), cases[i].second)
            << "row " << i;
    }
    // Text XML can carry, times that are exact, frames counted without overflow.
    using namespace FCPXMLExporter;
    EXPECT_EQ(
        messageOf([] { checkXMLText(QString::fromUtf16(u"\t\n\r\uD7FF\uE000\uFFFD\U0010FFFF")); }),
        ok);
    for (char16_t bad : {0x0, 0x8, 0xB, 0x1F, 0xFFFE, 0xDC00, 0xD800})
        EXPECT_EQ(messageOf([&] { checkXMLText(QString(QChar(bad)) + "a"); }), control) << int(bad);
    const auto at = [](std::int64_t value, std::int32_t scale) {
        return MediaTime::make(value, scale);
    };
    const std::int64_t many = 9'000'000'000'000'000; // t.value × f.timescale is far beyond 64 bits
    EXPECT_TRUE(frameAligned(at(1001 * many, 30000), at(1001, 30000)) &&
                frameAligned(at(INT64_MAX, 1), at(1, 1)));
    EXPECT_FALSE(frameAligned(at(1001 * many + 1, 30000), at(1001, 30000)) ||
                 frameAligned(at(INT64_MAX, 1), at(2, 1)));
    EXPECT_EQ(seconds(at(-2002, 60000)) + seconds(at(INT64_MAX, INT32_MAX)) +
                  seconds(at(INT64_MIN + 1, 1)),
              "-1001/30000s9223372036854775807/2147483647s-9223372036854775807s");
    for (const MediaTime& refused : {MediaTime::indefinite(), MediaTime{5, 0, MediaTime::Valid, 0},
                                     MediaTime{5, -30000, MediaTime::Valid, 0}})
        EXPECT_EQ(messageOf([&] { seconds(refused); }), inexact) << refused.timescale;
}

TEST_F(FCPXMLWrite, StoresTheValidatedTextForItsOwnerOnlyAndNeverOverAnything) {
    // The source is the resolved file, as an escaped URL, under the name the user chose.
    const QString real = QDir(folder.path()).canonicalPath() + "/[1] 50% #\xC3\xB1";
    ASSERT_TRUE(QDir().mkdir(real) && QFile::rename(folder.filePath("clip.mp4"), real + "/a.mp4"));
    ASSERT_TRUE(QFile::link(real + "/a.mp4", folder.filePath("clip.mp4")));
    request.source = QUrl::fromLocalFile(folder.path() + "/./clip.mp4");
    ASSERT_EQ(write(), ok);
    const QByteArray written = contents(folder.filePath("Dive.fcpxml"));
    EXPECT_EQ(written, text(request));
    EXPECT_TRUE(written.contains("src=\"" + FileNames::fileURLText(real) + "/a.mp4\"") &&
                written.contains("%5B1%5D%2050%25%20%23%C3%B1/a.mp4\"") &&
                written.contains("name=\"clip.mp4\""));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(folder.filePath("Dive.fcpxml")), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(write(), exists);
    // A dangling link is an existing name too: writing through it would create its target.
    ASSERT_TRUE(QFile::link(folder.filePath("elsewhere"), folder.filePath("old")));
    request.destination = at("old");
    EXPECT_EQ(write(), exists);
    request.destination = at("new.fcpxml");
    EXPECT_EQ(write(std::nullopt), MissingDTDError().message());
    EXPECT_EQ(entries().size(), 4);
}

TEST_F(FCPXMLWrite, GuardsTheLocationsBeforeBuildingAnything) {
    ASSERT_TRUE(QFile::link(folder.filePath("clip.mp4"), folder.filePath("l.fcpxml")));
    QDir(folder.path()).mkdir("folder.mp4");
    request.views.clear(); // a refused request shows which guard spoke first
    const QUrl clip = request.source, fresh = request.destination;
    const QString local = "Choose local source and export files.";
    const QString replaces = "The export cannot replace the source video.";
    const QString missing =
        "The source video could not be found. Keep its file and drive available.";
    for (const auto& [source, destination, expected] :
         {std::tuple{clip, QUrl("sftp://host/Dive.fcpxml"), local},
          {QUrl("https://example.com/clip.mp4"), fresh, local},
          {clip, at("l.fcpxml"), replaces},
          {clip, QUrl::fromLocalFile(folder.path() + "/x/../clip.mp4"), replaces},
          {at("gone.mp4"), fresh, missing},
          {at("folder.mp4"), fresh, missing},
          {clip, fresh, QString("Exactly three or four views are required.")}}) {
        request.source = source, request.destination = destination;
        EXPECT_EQ(write(), expected) << destination.toString().toStdString();
    }
    EXPECT_EQ(entries(), QStringList({"clip.mp4", "folder.mp4", "l.fcpxml"}));
}

TEST_F(FCPXMLWrite, FailuresHalfWayLeaveNothingBehind) {
    // The document is a few kilobytes; the limit cuts the write off after the first kilobyte.
    EXPECT_TRUE(refusesInChild("File too large", false, 1024));
    EXPECT_EQ(entries(), QStringList({"clip.mp4"}));
    const QString locked = folder.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    for (const auto& [path, mode] :
         {std::pair{folder.path(), 0755}, {locked, 0555}, {folder.filePath("clip.mp4"), 0644}})
        ASSERT_EQ(::chmod(QFile::encodeName(path), mode), 0);
    request.destination = QUrl::fromLocalFile(locked + "/Dive.fcpxml");
    EXPECT_TRUE(refusesInChild("Permission denied", true, RLIM_INFINITY));
    EXPECT_TRUE(entries("locked").isEmpty());
}

TEST_F(FCPXMLWrite, EightWritersRacingForOneNameLeaveOneCompleteFile) {
    std::latch start(8);
    QList<QString> messages(8);
    std::vector<std::thread> writers;
    for (int i = 0; i < 8; ++i)
        writers.emplace_back([&, i] { start.arrive_and_wait(), messages[i] = write(); });
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_TRUE(messages.count(ok) == 1 && messages.count(exists) == 7)
        << messages.join(" | ").toStdString();
    EXPECT_EQ(contents(folder.filePath("Dive.fcpxml")), text(request));
    EXPECT_EQ(entries(), QStringList({"Dive.fcpxml", "clip.mp4"}));
}
