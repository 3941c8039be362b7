#include "media/ByteSource.h"

#include "media/MovieFormatError.h"
#include "model/FileNames.h"
#include "model/UserError.h"

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

FileByteSource::FileByteSource(const QString& path)
    : path_(path), name_(FileNames::displayText(FileNames::lastPathComponent(path))) {
    const QByteArray encoded = FileNames::encodedPath(path);
    // Non-blocking so that a named pipe cannot stall the open; regular files ignore the flag.
    descriptor_ = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor_ < 0)
        throw MessageError(FileNames::openFailure(path_, errno));
    struct stat status {};
    const bool known = ::fstat(descriptor_, &status) == 0;
    const int code = errno;
    if (!known || !S_ISREG(status.st_mode) || status.st_size < 0) {
        ::close(descriptor_);
        throw MessageError(FileNames::openFailure(path_, known ? EISDIR : code));
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
            throw MessageError(QStringLiteral("The file \u201C%1\u201D couldn\u2019t be read (%2).")
                                   .arg(name_, QString::fromLocal8Bit(std::strerror(errno))));
        }
        if (got == 0)
            throw MovieFormatError(); // the file shrank while we read it
        done += std::size_t(got);
    }
}

void MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
}
