#include "platform/LinuxWorkspace.h"
#include "platform/QtFilePanels.h"
#include "session/SessionTestSupport.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `answer` on the file dialog as soon as it is on screen.
void whenDialogShows(std::function<void(QFileDialog&)> answer) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, answer = std::move(answer)] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            if (dialog && dialog->isVisible()) {
                poll->deleteLater();
                poll->stop();
                answer(*dialog);
                return;
            }
        }
    });
    poll->start(10);
}

TEST(QtFilePanels, OpenPanelOffersMoviesAndReturnsTheChosenFile) {
    QTemporaryDir folder;
    const QString clip = writeFile(folder.filePath(QStringLiteral("Ride.MOV")));
    OpenPanelRequest request;
    request.message = QStringLiteral("Choose a movie.");
    request.mimeTypes = FileTypes::movieMimeTypes();
    QtFilePanels panels;

    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::Directory;
    whenDialogShows([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        filters = dialog.nameFilters();
        mode = dialog.fileMode();
        dialog.setDirectory(folder.path());
        dialog.selectFile(clip);
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    EXPECT_EQ(panels.runOpenPanel(request), QUrl::fromLocalFile(clip));
    EXPECT_EQ(title, request.message);
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    ASSERT_EQ(filters.size(), 1);
    for (const char* pattern : {"*.mp4", "*.mov", "*.m4v"})
        EXPECT_TRUE(filters.first().contains(QLatin1String(pattern))) << pattern;

    whenDialogShows([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(panels.runOpenPanel(request));
}

TEST(QtFilePanels, SavePanelProposesTheNameAndAddsTheExtension) {
    QTemporaryDir folder;
    SavePanelRequest request;
    request.message = QStringLiteral("Save it.");
    request.proposedName = QStringLiteral("Ridge - 4 angles - Landscape 16x9 - 4K.fcpxml");
    request.fileExtension = QStringLiteral("fcpxml");
    QtFilePanels panels;

    QString proposed;
    bool confirmsOverwrite = true;
    whenDialogShows([&](QFileDialog& dialog) {
        proposed = dialog.selectedFiles().value(0);
        confirmsOverwrite = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDirectory(folder.path());
        dialog.selectFile(folder.filePath(QStringLiteral("mine")));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    EXPECT_EQ(panels.runSavePanel(request),
              QUrl::fromLocalFile(folder.filePath(QStringLiteral("mine.fcpxml"))));
    EXPECT_TRUE(proposed.endsWith(QLatin1Char('/') + request.proposedName))
        << proposed.toStdString();
    EXPECT_FALSE(confirmsOverwrite);
}

TEST(LinuxWorkspace, OpeningWithAMacApplicationFailsOnALaterTurn) {
    const LinuxWorkspace workspace;
    std::optional<std::optional<QString>> answer;
    workspace.openDocument(QUrl::fromLocalFile(QStringLiteral("/tmp/a.fcpxml")),
                           QUrl::fromLocalFile(QStringLiteral("/Applications/Final Cut Pro.app")),
                           true, [&](const std::optional<QString>& error) { answer = error; });
    EXPECT_FALSE(answer);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, QStringLiteral(
                           "Final Cut Pro is a macOS application and cannot run on this system."));
}

// The file manager's D-Bus face, as desktops offer it.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList shown;
public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
};

// A private message bus for the length of a test.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(QStringLiteral("files"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    QDBusConnection connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }
    bool started() const { return !address_.isEmpty(); }

private:
    QProcess daemon_;
    QString address_;
};

TEST(LinuxWorkspace, RevealAsksTheFileManagerAndElseOpensTheFolder) {
    PrivateBus bus;
    ASSERT_TRUE(bus.started());
    QDBusConnection files = bus.connect(QStringLiteral("files"));
    ASSERT_TRUE(bus.connect(QStringLiteral("client")).isConnected());
    FakeFileManager manager;
    ASSERT_TRUE(files.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                     QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(files.registerService(QStringLiteral("org.freedesktop.FileManager1")));

    LinuxWorkspace workspace;
    workspace.setBusName(QStringLiteral("client"));
    QList<QStringList> launched;
    workspace.setFolderLauncher([&](const QString& program, const QStringList& arguments) {
        launched.append(QStringList{program} + arguments);
        return true;
    });
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/srv/edits/Ride #1.fcpxml"));

    workspace.reveal(file);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !manager.shown.isEmpty(); }));
    EXPECT_EQ(manager.shown, QStringList{QStringLiteral("file:///srv/edits/Ride%20%231.fcpxml")});

    // Nobody answers for the file manager: the folder opens instead.
    files.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    workspace.reveal(file);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !launched.isEmpty(); }));
    EXPECT_EQ(launched.first(), (QStringList{"xdg-open", "/srv/edits"}));

    // Without a bus at all, at once.
    workspace.setBusName(QStringLiteral("never-connected"));
    workspace.reveal(file);
    EXPECT_EQ(launched.size(), 2);
    EXPECT_EQ(manager.shown.size(), 1);
}

} // namespace

#include "DesktopTests.moc"
