#include "model/FileNames.h"
#include "platform/FinalCutSupport.h"
#include "platform/LinuxWorkspace.h"
#include "support/FakeWorkspace.h"
#include "support/Printing.h"
#include "support/TemporaryHome.h"
#include "support/Waiting.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// An application bundle whose Info.plist has the dictionary's keys.
void bundle(const QString& path, const QByteArray& keys) {
    QDir().mkpath(path + "/Contents");
    QFile plist(path + "/Contents/Info.plist");
    if (plist.open(QIODevice::WriteOnly))
        plist.write(
            "<?xml version=\"1.0\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleName</key><string>App</string><key>LSRequiresNativeExecution</key>"
            "<true/>" +
            keys + "</dict></plist>\n");
}
QByteArray identifier(const char* id) {
    return QByteArray("<key>CFBundleIdentifier</key><string>") + id + "</string>";
}

// The file manager's D-Bus face, as desktops offer it.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

} // namespace

TEST(LinuxWorkspace, FindsBundlesByTheirOwnIdentifierAndCannotOpenWithThem) {
    TemporaryHome home;
    const QString system = home.path() + "/system", user = home.path() + "/Applications";
    bundle(user + "/Final Cut Pro Trial.app", identifier("com.apple.FinalCut"));
    bundle(system + "/Final Cut Pro.app", identifier("com.apple.FinalCut"));
    // An identifier inside a nested dictionary belongs to something else.
    bundle(system + "/Motion.app", "<key>CFBundleDocumentTypes</key><dict>" +
                                       identifier("com.apple.FinalCut") + "</dict>" +
                                       identifier("com.apple.motionapp"));
    bundle(system + "/Truncated.app", "<key>CFBundleIdentifier</key><string>com.apple.FinalCut");
    bundle(system + "/Not a bundle", identifier("com.apple.FinalCut"));
    const LinuxWorkspace workspace({system, home.path() + "/missing", user});
    EXPECT_EQ(workspace.applicationURLs("com.apple.FinalCut"),
              QList<QUrl>({QUrl::fromLocalFile(system + "/Final Cut Pro.app"),
                           QUrl::fromLocalFile(user + "/Final Cut Pro Trial.app")}));
    EXPECT_EQ(workspace.applicationURLs("com.apple.motionapp"),
              QList<QUrl>({QUrl::fromLocalFile(system + "/Motion.app")}));
    EXPECT_TRUE(workspace.applicationURLs("com.apple.finalcut").isEmpty());
    // The desktop's own folders follow HOME.
    EXPECT_EQ(LinuxWorkspace().applicationURLs(FinalCutSupport::bundleIdentifier),
              QList<QUrl>({QUrl::fromLocalFile(user + "/Final Cut Pro Trial.app")}));

    std::optional<std::optional<QString>> answer;
    workspace.openDocument(QUrl::fromLocalFile("/tmp/a.fcpxml"),
                           QUrl::fromLocalFile(system + "/Final Cut Pro.app"), true,
                           [&](const std::optional<QString>& error) { answer = error; });
    EXPECT_FALSE(answer); // answered on a later turn
    ASSERT_TRUE(Waiting::until([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, "Final Cut Pro is a macOS application and cannot run on this system.");
}

TEST(FinalCutSupport, FindsTheDTDInEitherPlaceOfTheFirstBundleWithOne) {
    ASSERT_FALSE(QFileInfo::exists("/Applications/Final Cut Pro.app"))
        << "every lookup looks there";
    TemporaryHome home;
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()), std::nullopt);
    const QString app = home.installFinalCut(),
                  inside = "/Contents/Frameworks/Interchange.framework/";
    FakeWorkspace workspace;
    workspace.applications[FinalCutSupport::bundleIdentifier] = {
        QUrl::fromLocalFile(home.path() + "/Other.app"), QUrl::fromLocalFile(app)};
    EXPECT_EQ(FinalCutSupport::dtdURL(workspace),
              QUrl::fromLocalFile(app + inside + "Resources/FCPXMLv1_14.dtd"));
    home.installFinalCut("Contents/Frameworks/Interchange.framework/Versions/A/Resources");
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()),
              QUrl::fromLocalFile(app + inside + "Versions/A/Resources/FCPXMLv1_14.dtd"));
}

TEST(FinalCutSupport, WithoutABundleTheUsersCopyComesBeforeTheSystemsFolders) {
    TemporaryHome home;
    const auto place = [](const QString& folder) {
        QDir().mkpath(folder + "/tessaly");
        QFile::copy(TemporaryHome::testDTD(), folder + "/tessaly/FCPXMLv1_14.dtd");
        return QUrl::fromLocalFile(folder + "/tessaly/FCPXMLv1_14.dtd");
    };
    const QString first = home.path() + "/first", second = home.path() + "/second";
    qputenv("XDG_DATA_DIRS", (first + ":relative:" + second).toLocal8Bit());
    const QUrl system = place(second);
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()), system);
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()), place(first)) << "in their order";
    // The user's folder, by default under ~/.local/share, and wherever XDG_DATA_HOME says.
    EXPECT_EQ(FinalCutSupport::userDTDPath(),
              home.path() + "/.local/share/tessaly/FCPXMLv1_14.dtd");
    const QUrl user = place(home.path() + "/.local/share");
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()), user);
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toLocal8Bit());
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()),
              QUrl::fromLocalFile(first + "/tessaly/FCPXMLv1_14.dtd"));
    const QUrl moved = place(home.path() + "/data");
    EXPECT_EQ(FinalCutSupport::dtdURL(LinuxWorkspace()), moved);
}

TEST(LinuxWorkspace, RevealAsksTheFileManagerAndElseOpensTheFolder) {
    QProcess bus; // a private one, with a file manager on it
    bus.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    ASSERT_TRUE(bus.waitForStarted() && bus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection files = QDBusConnection::connectToBus(address, "files");
    ASSERT_TRUE(QDBusConnection::connectToBus(address, "client").isConnected());
    LinuxWorkspace workspace;
    workspace.setBusName("client");
    QList<QStringList> launched;
    bool folderOpens = true;
    workspace.setFolderLauncher([&](const QString& program, const QStringList& arguments,
                                    std::function<void(bool)> finished) {
        launched.append(QStringList{program} + arguments);
        finished(folderOpens);
    });
    QList<std::optional<QString>> answers;
    const auto reveal = [&](const char* path) {
        workspace.reveal(QUrl::fromLocalFile(FileNames::decodedPath(path)),
                         [&](const std::optional<QString>& error) { answers.append(error); });
    };
    reveal("/srv/a/Ride.fcpxml"); // nobody answers for the file manager: the folder opens
    ASSERT_TRUE(Waiting::until([&] { return !launched.isEmpty(); }));
    FileManager manager;
    ASSERT_TRUE(files.registerObject("/org/freedesktop/FileManager1", &manager,
                                     QDBusConnection::ExportAllSlots) &&
                files.registerService("org.freedesktop.FileManager1"));
    reveal("/srv/b/Ride #1\xFF.fcpxml");
    ASSERT_TRUE(Waiting::until([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList{"file:///srv/b/Ride%20%231%FF.fcpxml"});
    files.unregisterService("org.freedesktop.FileManager1");
    reveal("/srv/c/Ride.fcpxml");
    ASSERT_TRUE(Waiting::until([&] { return launched.size() > 1; }));
    EXPECT_EQ(launched, QList<QStringList>({{"xdg-open", "/srv/a"}, {"xdg-open", "/srv/c"}}));
    // Nothing could show it: the answer says so, and where the file is.
    folderOpens = false;
    reveal("/srv/d/Ride.fcpxml");
    ASSERT_TRUE(Waiting::until([&] { return answers.size() == 4; }));
    EXPECT_EQ(answers, QList<std::optional<QString>>(
                           {std::nullopt, std::nullopt, std::nullopt,
                            "No file manager could be opened to show the saved XML. It is at "
                            "\u201C/srv/d/Ride.fcpxml\u201D."}));
    QDBusConnection::disconnectFromBus("files");
    QDBusConnection::disconnectFromBus("client");
    bus.terminate();
    bus.waitForFinished();
}

#include "PlatformTests.moc"
