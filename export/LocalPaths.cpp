#include "export/LocalPaths.h"

#include "model/FileNames.h"

#include <QDir>
#include <QStringList>
#include <climits>
#include <cstdlib>
#include <memory>

namespace LocalPaths {

namespace {

std::optional<QString> realPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(FileNames::encodedPath(path).constData(), nullptr), &std::free);
    if (!real)
        return std::nullopt;
    return FileNames::decodedPath(QByteArray(real.get()));
}

} // namespace

QString resolved(const QUrl& fileURL) {
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(fileURL.toLocalFile()));
    // Walk up to the deepest part that exists, resolve that, and put the rest back unchanged.
    QStringList missing;
    while (true) {
        const std::optional<QString> canonical = realPath(path);
        if (canonical || path == QLatin1String("/")) {
            QString result = canonical.value_or(path);
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

} // namespace LocalPaths
