#include "platform/LinuxWorkspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

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
