#include "ExportTestSupport.h"

#include "export/FCPXMLExporter.h"
#include "platform/FakeWorkspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <latch>
#include <sys/stat.h>
#include <thread>

namespace {

const QString alreadyExists = QStringLiteral(
    "This XML file already exists. Choose a new filename to preserve the existing file.");
const QString supportFilesMissing =
    QStringLiteral("Final Cut Pro's FCPXML 1.14 support files could not be found. Install or "
                   "update Final Cut Pro, then try again.");

// A folder with a source clip in it, and requests that export that clip.
struct Studio {
    QTemporaryDir folder;
    QString clip = folder.filePath("clip.mp4");
    ExportRequest request = typicalRequest();

    Studio() {
        QFile file(clip);
        file.open(QIODevice::WriteOnly);
        file.write("not really a movie");
        request.source = QUrl::fromLocalFile(clip);
    }
    QUrl at(const QString& name) const { return QUrl::fromLocalFile(folder.filePath(name)); }
    QString write(const QUrl& destination, const std::optional<QUrl>& dtd = testDTDURL()) const {
        return messageOf([&] { writeRequest(request, destination, dtd); });
    }
    QStringList entries() const {
        QStringList names =
            QDir(folder.path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                           QDir::Unsorted);
        names.sort();
        return names;
    }
};

// Points HOME at a folder for the life of the object.
class ScopedHome {
public:
    explicit ScopedHome(const QString& home) : saved_(qgetenv("HOME")) {
        qputenv("HOME", home.toLocal8Bit());
    }
    ~ScopedHome() { qputenv("HOME", saved_); }

private:
    QByteArray saved_;
};

// An application bundle with a DTD at one of the two places Final Cut Pro keeps it.
QString makeBundle(const QString& applications, const QString& identifier, const char* dtdInside) {
    const QString bundle = applications + "/Final Cut Pro.app";
    QDir().mkpath(bundle + "/Contents");
    QFile plist(bundle + "/Contents/Info.plist");
    plist.open(QIODevice::WriteOnly);
    plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>CFBundleIdentifier</key><string>" +
                identifier.toUtf8() + "</string></dict></plist>\n");
    const QString dtd = bundle + "/" + dtdInside;
    QDir().mkpath(QFileInfo(dtd).path());
    QFile::copy(testDTDPath(), dtd);
    return dtd;
}

constexpr const char* firstDTDPlace =
    "Contents/Frameworks/Interchange.framework/Versions/A/Resources/FCPXMLv1_14.dtd";
constexpr const char* secondDTDPlace =
    "Contents/Frameworks/Interchange.framework/Resources/FCPXMLv1_14.dtd";

} // namespace

TEST(FCPXMLWrite, StoresTheValidatedTextForTheOwnerOnly) {
    Studio studio;
    ASSERT_EQ(studio.write(studio.at("Dive.fcpxml")), "no error");
    EXPECT_EQ(readFile(studio.folder.filePath("Dive.fcpxml")), documentText(studio.request));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(studio.folder.filePath("Dive.fcpxml")), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(studio.entries(), QStringList({"Dive.fcpxml", "clip.mp4"}));
}

TEST(FCPXMLWrite, GuardsTheLocationsBeforeBuildingAnything) {
    Studio studio;
    ASSERT_TRUE(QFile::link(studio.clip, studio.folder.filePath("link.fcpxml")));
    QDir(studio.folder.path()).mkdir("folder.mp4");
    const QUrl fresh = studio.at("Dive.fcpxml");
    studio.request.views.clear(); // a refused request shows which guard spoke first

    const QString notLocal = QStringLiteral("Choose local source and export files.");
    const QString replacesSource = QStringLiteral("The export cannot replace the source video.");
    const QString sourceMissing =
        QStringLiteral("The source video could not be found. Keep its file and drive available.");
    EXPECT_EQ(studio.write(QUrl("sftp://host/Dive.fcpxml")), notLocal);
    EXPECT_EQ(studio.write(studio.at("link.fcpxml")), replacesSource);
    EXPECT_EQ(studio.write(QUrl::fromLocalFile(studio.folder.path() + "/x/../clip.mp4")),
              replacesSource);

    Studio remote;
    remote.request.source = QUrl("https://example.com/clip.mp4");
    EXPECT_EQ(remote.write(remote.at("Dive.fcpxml")), notLocal);

    ExportRequest missing = studio.request;
    for (const QString& source :
         {studio.folder.filePath("gone.mp4"), studio.folder.filePath("folder.mp4")}) {
        missing.source = QUrl::fromLocalFile(source);
        EXPECT_EQ(messageOf([&] { writeRequest(missing, fresh, testDTDURL()); }), sourceMissing);
    }
    EXPECT_EQ(studio.write(fresh), "Exactly three or four views are required.");
    EXPECT_EQ(studio.entries(), QStringList({"clip.mp4", "folder.mp4", "link.fcpxml"}));
}

TEST(FCPXMLWrite, NeverReplacesAnExistingFile) {
    Studio studio;
    QFile existing(studio.folder.filePath("Dive.fcpxml"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.write("an earlier cut\n");
    existing.close();
    // A dangling link is an existing name too; writing through it would create its target.
    ASSERT_TRUE(QFile::link(studio.folder.filePath("elsewhere"), studio.folder.filePath("old")));

    EXPECT_EQ(studio.write(studio.at("Dive.fcpxml")), alreadyExists);
    EXPECT_EQ(studio.write(studio.at("old")), alreadyExists);
    EXPECT_EQ(readFile(existing.fileName()), "an earlier cut\n");
    EXPECT_EQ(studio.entries(), QStringList({"Dive.fcpxml", "clip.mp4", "old"}));
}

TEST(FCPXMLWrite, UnwritableFolderGivesTheSystemsPermissionTextAsAnUnprivilegedUser) {
    Studio studio;
    const QString locked = studio.folder.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    // Root ignores permissions, so the write runs in a child that has given root up.
    ASSERT_EQ(::chmod(QFile::encodeName(studio.folder.path()), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(locked), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(studio.clip), 0644), 0);
    const QUrl destination = QUrl::fromLocalFile(locked + "/Dive.fcpxml");
    EXPECT_EQ(messageInChild([&] { writeRequest(studio.request, destination, testDTDURL()); },
                             /*unprivileged=*/true),
              "Permission denied");
    EXPECT_TRUE(QDir(locked).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot));
}

TEST(FCPXMLWrite, FailingHalfWayLeavesNoFileBehind) {
    Studio studio;
    const QUrl destination = studio.at("Dive.fcpxml");
    // The document is a few kilobytes; the limit cuts the write off after the first kilobyte.
    EXPECT_EQ(messageInChild([&] { writeRequest(studio.request, destination, testDTDURL()); },
                             /*unprivileged=*/false, /*fileSizeLimit=*/1024),
              "File too large");
    EXPECT_EQ(studio.entries(), QStringList({"clip.mp4"}));
}

TEST(FCPXMLWrite, EightWritersRacingForOneNameLeaveOneCompleteFile) {
    Studio studio;
    const QUrl destination = studio.at("Dive.fcpxml");
    std::latch start(8);
    std::vector<QString> messages(8);
    std::vector<std::thread> writers;
    for (int i = 0; i < 8; ++i) {
        writers.emplace_back([&, i] {
            start.arrive_and_wait();
            messages[i] = studio.write(destination);
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "no error"), 1);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), alreadyExists), 7);
    EXPECT_EQ(readFile(destination.toLocalFile()), documentText(studio.request));
    EXPECT_EQ(studio.entries(), QStringList({"Dive.fcpxml", "clip.mp4"}));
}

TEST(FCPXMLWrite, FindsTheInstalledDTDAtEitherPlaceOrRefusesWithoutOne) {
    if (QFileInfo::exists("/Applications"))
        GTEST_SKIP() << "this machine has /Applications, which every lookup searches";
    QTemporaryDir folder;
    const QString second = makeBundle(folder.filePath("A"), "com.apple.FinalCut", secondDTDPlace);
    const QString first = makeBundle(folder.filePath("B"), "com.apple.FinalCut", firstDTDPlace);
    makeBundle(folder.filePath("B"), "com.apple.FinalCut", secondDTDPlace);
    const auto bundle = [&](const char* name) {
        return QUrl::fromLocalFile(folder.filePath(name) + "/Final Cut Pro.app");
    };
    FakeWorkspace workspace;
    workspace.applications["com.apple.FinalCut"] = {bundle("missing"), bundle("B"), bundle("A")};
    EXPECT_EQ(FCPXMLExporter::installedDTDURL(workspace), QUrl::fromLocalFile(first));
    workspace.applications["com.apple.FinalCut"] = {bundle("A"), bundle("B")};
    EXPECT_EQ(FCPXMLExporter::installedDTDURL(workspace), QUrl::fromLocalFile(second));

    // The real lookup, with a Final Cut Pro that only the home folder holds.
    Studio studio;
    QTemporaryDir home;
    const ScopedHome scopedHome(home.path());
    EXPECT_EQ(studio.write(studio.at("none.fcpxml"), std::nullopt), supportFilesMissing);
    EXPECT_EQ(studio.entries(), QStringList({"clip.mp4"}));
    const QString installed =
        makeBundle(home.filePath("Applications"), "com.apple.FinalCut", secondDTDPlace);
    EXPECT_EQ(FCPXMLExporter::installedDTDURL(), QUrl::fromLocalFile(installed));
    EXPECT_EQ(studio.write(studio.at("Dive.fcpxml"), std::nullopt), "no error");
    EXPECT_EQ(studio.entries(), QStringList({"Dive.fcpxml", "clip.mp4"}));
}
