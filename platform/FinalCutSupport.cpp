#include "platform/FinalCutSupport.h"

#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>

namespace FinalCutSupport {

namespace {

const QString dtdName = QStringLiteral("FCPXMLv1_14.dtd");

bool readableFile(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() && file.isReadable();
}

// The XDG rule: a variable that is unset, empty or relative counts as absent.
QStringList absoluteFolders(const char* variable, const QStringList& defaults) {
    QStringList folders;
    for (const QString& folder : qEnvironmentVariable(variable).split(QLatin1Char(':')))
        if (QDir::isAbsolutePath(folder))
            folders.append(folder);
    return folders.isEmpty() ? defaults : folders;
}

} // namespace

QString userDTDPath() {
    const QString home =
        absoluteFolders("XDG_DATA_HOME", {QDir::homePath() + QStringLiteral("/.local/share")})
            .first();
    return home + QStringLiteral("/tessaly/") + dtdName;
}

std::optional<QUrl> dtdURL(const Workspace& workspace) {
    QList<QUrl> bundles = workspace.applicationURLs(bundleIdentifier);
    bundles.append(QUrl::fromLocalFile(QStringLiteral("/Applications/Final Cut Pro.app")));
    QStringList candidates;
    for (const QUrl& bundle : bundles) {
        if (!bundle.isLocalFile())
            continue;
        for (const char* inside :
             {"Contents/Frameworks/Interchange.framework/Versions/A/Resources/",
              "Contents/Frameworks/Interchange.framework/Resources/"})
            candidates.append(bundle.toLocalFile() + QLatin1Char('/') + QLatin1String(inside) +
                              dtdName);
    }
    candidates.append(userDTDPath());
    for (const QString& folder : absoluteFolders(
             "XDG_DATA_DIRS", {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")}))
        candidates.append(folder + QStringLiteral("/tessaly/") + dtdName);
    for (const QString& candidate : candidates)
        if (readableFile(candidate))
            return QUrl::fromLocalFile(QFileInfo(candidate).absoluteFilePath());
    return std::nullopt;
}

} // namespace FinalCutSupport
