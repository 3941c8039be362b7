#include "media/ByteSource.h"

#include "media/MovieFormatError.h"
#include "model/UserError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void ByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > size() || out.size() > size() - offset)
        throw MovieFormatError();
    if (out.empty())
        return;
    readAt(offset, out);
    bytesRead_ += out.size();
}

namespace {

QString quoted(const QString& name) {
    return QStringLiteral("“%1”").arg(name);
}

// The sentence for a file that cannot be opened, in the manner of the platform's file dialogs.
QString openFailure(const QString& name, int code) {
    const QString file = QStringLiteral("The file %1").arg(quoted(name));
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        return file + QStringLiteral(" couldn’t be opened because there is no such file.");
    case EACCES:
    case EPERM:
        return file +
               QStringLiteral(" couldn’t be opened because you don’t have permission to view it.");
    case ENAMETOOLONG:
        return file + QStringLiteral(" couldn’t be opened because its name is too long.");
    case ELOOP:
        return file + QStringLiteral(" couldn’t be opened because its location has too many "
                                     "symbolic links.");
    case EMFILE:
    case ENFILE:
        return file + QStringLiteral(" couldn’t be opened because too many files are open.");
    case EISDIR:
    case ENXIO:
    case ENODEV:
        return file + QStringLiteral(" is not a movie file.");
    default:
        return file + QStringLiteral(" couldn’t be opened (%1).")
                          .arg(QString::fromLocal8Bit(std::strerror(code)));
    }
}

} // namespace

FileByteSource::FileByteSource(const QString& path) : name_(QFileInfo(path).fileName()) {
    const QByteArray encoded = QFile::encodeName(path);
    // Non-blocking so that a named pipe cannot stall the open; regular files ignore the flag.
    descriptor_ = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor_ < 0)
        throw MessageError(openFailure(name_, errno));
    struct stat status {};
    const bool known = ::fstat(descriptor_, &status) == 0;
    const int code = errno;
    if (!known || !S_ISREG(status.st_mode) || status.st_size < 0) {
        ::close(descriptor_);
        throw MessageError(known ? openFailure(name_, EISDIR) : openFailure(name_, code));
    }
    size_ = std::uint64_t(status.st_size);
}

FileByteSource::~FileByteSource() {
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void FileByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got =
            ::pread(descriptor_, out.data() + done, out.size() - done, off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw MessageError(
                QStringLiteral("The file %1 couldn’t be read (%2).")
                    .arg(quoted(name_), QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (got == 0)
            throw MovieFormatError(); // the file shrank while we read it
        done += std::size_t(got);
    }
}

void MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
}
