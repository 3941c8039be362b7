#include "export/PosixFiles.h"

#include "model/FileNames.h"
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PosixFiles {

std::system_error lastError() {
    return std::system_error(errno != 0 ? errno : EIO, std::generic_category());
}

Descriptor::~Descriptor() {
    if (fd_ >= 0)
        ::close(fd_);
}

void Descriptor::close() {
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close fails, so it is never retried.
    if (fd >= 0 && ::close(fd) != 0)
        throw lastError();
}

QByteArray encodedPath(const QString& path) {
    return FileNames::encodedPath(path);
}

QByteArray readRegularFile(const QString& path, qsizetype limit) {
    Descriptor file(
        ::open(encodedPath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0)
        throw lastError();
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        throw lastError();
    if (!S_ISREG(status.st_mode))
        throw std::system_error(EINVAL, std::generic_category());
    QByteArray bytes;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw lastError();
        if (n == 0)
            return bytes;
        // A file that grows while it is read is held to the same bound.
        if (bytes.size() + n > limit)
            throw std::system_error(EFBIG, std::generic_category());
        bytes.append(buffer, n);
    }
}

void writeAll(int fd, const QByteArray& bytes) {
    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, next, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw lastError();
        next += n;
        left -= n;
    }
}

} // namespace PosixFiles
