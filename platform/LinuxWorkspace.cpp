#include "platform/LinuxWorkspace.h"

#include "model/FileNames.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QXmlStreamReader>

namespace {

// xdg-open hands the folder to the desktop's default program and exits; its exit status says
// whether anything took it.
void launch(const QString& program, const QStringList& arguments,
            std::function<void(bool succeeded)> finished) {
    auto* process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process,
                     [process, finished](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         finished(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, finished](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         process->deleteLater();
                         finished(false);
                     });
    process->start(program, arguments);
}

void openFolderOf(const QUrl& file, const LinuxWorkspace::Launcher& launcher,
                  Workspace::OpenCompletion completion) {
    const QString path = file.toLocalFile();
    const QString folder = QFileInfo(path).absolutePath();
    (launcher ? launcher
              : launch)(QStringLiteral("xdg-open"), {folder}, [path, completion](bool succeeded) {
        if (succeeded)
            completion(std::nullopt);
        else
            completion(QStringLiteral("No file manager could be opened to show the saved XML. "
                                      "It is at \u201C") +
                       FileNames::displayText(path) + QStringLiteral("\u201D."));
    });
}

} // namespace

LinuxWorkspace::LinuxWorkspace(QStringList applicationFolders)
    : folders_(std::move(applicationFolders)) {}

QStringList LinuxWorkspace::standardApplicationFolders() {
    return {QStringLiteral("/Applications"), QDir::homePath() + QStringLiteral("/Applications")};
}

QList<QUrl> LinuxWorkspace::applicationURLs(const QString& bundleIdentifier) const {
    QList<QUrl> found;
    for (const QString& folder : folders_ ? *folders_ : standardApplicationFolders()) {
        const QFileInfoList bundles = QDir(folder).entryInfoList(
            {QStringLiteral("*.app")}, QDir::Dirs | QDir::Hidden, QDir::Name);
        for (const QFileInfo& bundle : bundles) {
            const QString plist =
                bundle.absoluteFilePath() + QStringLiteral("/Contents/Info.plist");
            if (LinuxWorkspace::bundleIdentifier(plist) == bundleIdentifier)
                found.append(QUrl::fromLocalFile(bundle.absoluteFilePath()));
        }
    }
    return found;
}

std::optional<QString> LinuxWorkspace::bundleIdentifier(const QString& infoPlistPath) {
    QFile file(infoPlistPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QXmlStreamReader xml(&file);
    // Only the keys of the top-level dictionary count: nested dictionaries (document types,
    // URL schemes) may carry identifiers of their own.
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist") ||
        !xml.readNextStartElement() || xml.name() != QLatin1String("dict"))
        return std::nullopt;
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("key")) {
            xml.skipCurrentElement();
            continue;
        }
        const QString key = xml.readElementText();
        if (key != QLatin1String("CFBundleIdentifier"))
            continue;
        if (!xml.readNextStartElement() || xml.name() != QLatin1String("string"))
            return std::nullopt;
        const QString identifier = xml.readElementText();
        return xml.hasError() ? std::nullopt : std::optional<QString>(identifier);
    }
    return std::nullopt;
}

void LinuxWorkspace::openDocument(const QUrl&, const QUrl& application, bool,
                                  OpenCompletion completion) const {
    const QString name = QFileInfo(application.toLocalFile()).completeBaseName();
    const QString reason = (name.isEmpty() ? QStringLiteral("This application") : name) +
                           QStringLiteral(" is a macOS application and cannot run on this system.");
    // Answered on a later turn of the main thread's event loop, as a real desktop would.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [completion = std::move(completion), reason] { completion(reason); }, Qt::QueuedConnection);
}

void LinuxWorkspace::reveal(const QUrl& file, OpenCompletion completion) const {
    QDBusConnection bus =
        busName_.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busName_);
    if (!bus.isConnected()) {
        openFolderOf(file, launcher_, std::move(completion));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // The URI carries the path's bytes, so that a name that is not UTF-8 is shown too.
    call << QStringList{QString::fromLatin1(FileNames::fileURLText(file.toLocalFile()))}
         << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [file, launcher = launcher_,
                      completion = std::move(completion)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError())
                             openFolderOf(file, launcher, completion);
                         else
                             completion(std::nullopt);
                     });
}
