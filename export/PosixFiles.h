#pragma once

#include <QByteArray>
#include <QString>
#include <system_error>

// Thin owners over POSIX file calls; every failure is a std::system_error carrying errno, so the
// user sees the system's own description.
namespace PosixFiles {

std::system_error lastError();

// An open descriptor, closed when released.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor();

    int get() const { return fd_; }
    // Closes now and reports the failure of the close, which may be the first sign of a failed
    // write; the descriptor is released either way.
    void close();

private:
    int fd_;
};

QByteArray encodedPath(const QString& path);
// The whole of a regular file of at most `limit` bytes. Opened without blocking, so that a named
// pipe is refused at once; a device, a folder or a larger file fails with EINVAL or EFBIG.
QByteArray readRegularFile(const QString& path, qsizetype limit);
void writeAll(int fd, const QByteArray& bytes);

} // namespace PosixFiles
