#include "export/LocalPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace LocalPaths {

QString resolved(const QUrl& fileURL) {
    QString path = QDir::cleanPath(QFileInfo(fileURL.toLocalFile()).absoluteFilePath());
    // Walk up to the deepest part that exists, resolve that, and put the rest back unchanged.
    QStringList missing;
    while (true) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty() || path == QLatin1String("/")) {
            QString result = canonical.isEmpty() ? path : canonical;
            for (auto it = missing.crbegin(); it != missing.crend(); ++it) {
                if (!result.endsWith(QLatin1Char('/')))
                    result += QLatin1Char('/');
                result += *it;
            }
            return result;
        }
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        missing.append(path.mid(slash + 1));
        path = slash == 0 ? QStringLiteral("/") : path.left(slash);
    }
}

QByteArray fileURLText(const QString& absolutePath) {
    // Unreserved characters stay as they are anyway; these are the path's other legal ones.
    static const QByteArray allowedInPath = QByteArrayLiteral("/!$&'()*+,;=:@");
    return QByteArrayLiteral("file://") + absolutePath.toUtf8().toPercentEncoding(allowedInPath);
}

} // namespace LocalPaths
