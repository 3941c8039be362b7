#include "model/FileNames.h"

#include <QDir>
#include <QStringList>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sys/stat.h>

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

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscapedByte(char16_t unit) {
    return unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there does not start one.
int utf8SequenceLength(const QByteArray& bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) { return std::uint8_t(bytes[i]); };
    const std::uint8_t lead = byte(at);
    int length = 0;
    char32_t minimum = 0;
    char32_t scalar = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, minimum = 0x80, scalar = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, minimum = 0x800, scalar = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, minimum = 0x10000, scalar = lead & 0x07;
    else
        return 0;
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        scalar = (scalar << 6) | (byte(at + i) & 0x3F);
    }
    const bool surrogate = scalar >= 0xD800 && scalar <= 0xDFFF;
    return scalar < minimum || scalar > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

QByteArray encodedPath(const QString& path) {
    bool escaped = false;
    for (QChar c : path)
        escaped = escaped || isEscapedByte(c.unicode());
    if (!escaped)
        return path.toUtf8();
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() &&
            !(isEscapedByte(path[i].unicode()) && (i == 0 || !path[i - 1].isHighSurrogate())))
            continue;
        bytes += QStringView(path).mid(start, i - start).toUtf8();
        if (i < path.size())
            bytes += char(path[i].unicode() - escapeBase);
        start = i + 1;
    }
    return bytes;
}

QString decodedPath(const QByteArray& bytes) {
    QString path;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int length = utf8SequenceLength(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        path += QString::fromUtf8(bytes.constData() + start, i - start);
        path += QChar(char16_t(escapeBase + std::uint8_t(bytes[i])));
        start = ++i;
    }
    return path + QString::fromUtf8(bytes.constData() + start, bytes.size() - start);
}

bool fileExists(const QString& path) {
    struct stat status {};
    return ::stat(encodedPath(path).constData(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool entryExists(const QString& path) {
    struct stat status {};
    return ::lstat(encodedPath(path).constData(), &status) == 0;
}

QString openFailure(const QString& path, int error) {
    const QString file = QStringLiteral("The file \u201C") + displayText(lastPathComponent(path)) +
                         QStringLiteral("\u201D");
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return file + QStringLiteral(" couldn\u2019t be opened because there is no such file.");
    case EACCES:
    case EPERM:
        return file + QStringLiteral(" couldn\u2019t be opened because you don\u2019t have "
                                     "permission to view it.");
    case ENAMETOOLONG:
        return file + QStringLiteral(" couldn\u2019t be opened because its name is too long.");
    case ELOOP:
        return file + QStringLiteral(" couldn\u2019t be opened because its location has too many "
                                     "symbolic links.");
    case EMFILE:
    case ENFILE:
        return file + QStringLiteral(" couldn\u2019t be opened because too many files are open.");
    case EISDIR:
    case ENXIO:
    case ENODEV:
        return file + QStringLiteral(" is not a movie file.");
    default:
        return file + QStringLiteral(" couldn\u2019t be opened (%1).")
                          .arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

QString displayText(const QString& path) {
    QString text = path;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (isEscapedByte(text[i].unicode()) && (i == 0 || !text[i - 1].isHighSurrogate()))
            text[i] = QChar::ReplacementCharacter;
    return text;
}

QByteArray fileURLText(const QString& absolutePath) {
    // Unreserved characters stay as they are anyway; these are the path's other legal ones.
    static const QByteArray allowedInPath = QByteArrayLiteral("/!$&'()*+,;=:@");
    return QByteArrayLiteral("file://") +
           encodedPath(absolutePath).toPercentEncoding(allowedInPath);
}

namespace {
std::optional<QString> realPath(const QString& path) {
    const std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath(encodedPath(path).constData(), nullptr), &std::free);
    if (!real)
        return std::nullopt;
    return decodedPath(QByteArray(real.get()));
}

} // namespace

QString resolvedPath(const QUrl& fileURL) {
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

bool isAcceptedMovieExtension(const QString& extension) {
    const QString lower = extension.toLower();
    return lower == QLatin1String("mp4") || lower == QLatin1String("mov") ||
           lower == QLatin1String("m4v");
}

} // namespace FileNames
