#include "platform/LinuxWorkspace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString finalCut = QStringLiteral("com.apple.FinalCut");

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray plist(const QByteArray& dictionary) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           dictionary + "\n</dict>\n</plist>\n";
}

QByteArray identifying(const QString& identifier) {
    return "<key>CFBundleName</key><string>App</string>\n"
           "<key>LSRequiresNativeExecution</key><true/>\n"
           "<key>CFBundleIdentifier</key><string>" +
           identifier.toUtf8() + "</string>";
}

void makeBundle(const QString& bundle, const QByteArray& infoPlist) {
    writeFile(bundle + "/Contents/Info.plist", infoPlist);
}

} // namespace

TEST(LinuxWorkspace, FindsBundlesWhoseOwnIdentifierMatchesInFolderOrder) {
    QTemporaryDir root;
    const QString system = root.filePath("system"), home = root.filePath("home");
    makeBundle(home + "/Final Cut Pro Trial.app", plist(identifying(finalCut)));
    makeBundle(system + "/Final Cut Pro.app", plist(identifying(finalCut)));
    makeBundle(system + "/Compressor.app", plist(identifying("com.apple.Compressor")));
    // An identifier inside a nested dictionary belongs to something else.
    makeBundle(system + "/Motion.app",
               plist("<key>CFBundleDocumentTypes</key><dict><key>CFBundleIdentifier</key>"
                     "<string>com.apple.FinalCut</string></dict>\n" +
                     identifying("com.apple.motionapp")));
    makeBundle(system + "/Truncated.app", "<?xml version=\"1.0\"?><plist><dict><key>CFBundleId");
    makeBundle(system + "/Not a bundle", plist(identifying(finalCut)));
    writeFile(system + "/Empty.app/Contents/Resources/readme", "");
    writeFile(system + "/Flat.app", plist(identifying(finalCut)));

    const LinuxWorkspace workspace({system, root.filePath("missing"), home});
    EXPECT_EQ(workspace.applicationURLs(finalCut),
              QList<QUrl>({QUrl::fromLocalFile(system + "/Final Cut Pro.app"),
                           QUrl::fromLocalFile(home + "/Final Cut Pro Trial.app")}));
    EXPECT_EQ(workspace.applicationURLs("com.apple.motionapp"),
              QList<QUrl>({QUrl::fromLocalFile(system + "/Motion.app")}));
    EXPECT_TRUE(workspace.applicationURLs("com.apple.finalcut").isEmpty());
    EXPECT_EQ(LinuxWorkspace::bundleIdentifier(system + "/Truncated.app/Contents/Info.plist"),
              std::nullopt);
}

TEST(LinuxWorkspace, SystemWorkspaceLooksInTheCurrentHomeFolder) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    makeBundle(home.filePath("Applications/Final Cut Pro.app"), plist(identifying(finalCut)));
    const QList<QUrl> found = Workspace::system().applicationURLs(finalCut);
    const QStringList folders = LinuxWorkspace::standardApplicationFolders();
    qputenv("HOME", savedHome);

    EXPECT_EQ(folders, QStringList({"/Applications", home.filePath("Applications")}));
    ASSERT_FALSE(found.isEmpty());
    EXPECT_EQ(found.last(), QUrl::fromLocalFile(home.filePath("Applications/Final Cut Pro.app")));
}
