#include "model/FileNames.h"

namespace FileNames {

namespace {
QString pathOf(const QUrl& url) {
    return url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
}

qsizetype extensionDot(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot > 0 && dot < name.size() - 1) ? dot : -1;
}
} // namespace

QString lastPathComponent(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    return slash < 0 || trimmed.size() == 1 ? trimmed : trimmed.mid(slash + 1);
}

QString lastPathComponent(const QUrl& url) {
    return lastPathComponent(pathOf(url));
}

QString pathExtension(const QString& path) {
    const QString name = lastPathComponent(path);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

QString pathExtension(const QUrl& url) {
    return pathExtension(pathOf(url));
}

QString baseName(const QUrl& url) {
    const QString name = lastPathComponent(url);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

bool isAcceptedMovieExtension(const QString& extension) {
    const QString lower = extension.toLower();
    return lower == QLatin1String("mp4") || lower == QLatin1String("mov") ||
           lower == QLatin1String("m4v");
}

} // namespace FileNames
