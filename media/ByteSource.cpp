#include "media/ByteSource.h"

#include "media/MovieFormatError.h"
#include "model/FileNames.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
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
[[noreturn]] void throwErrno(int code) {
    throw std::system_error(code, std::generic_category());
}
} // namespace

FileByteSource::FileByteSource(const QString& path) {
    const QByteArray encoded = FileNames::encodedPath(path);
    // Non-blocking so that a named pipe cannot stall the open; regular files ignore the flag.
    descriptor_ = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor_ < 0)
        throwErrno(errno);
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) {
        const int code = errno;
        ::close(descriptor_);
        throwErrno(code);
    }
    if (S_ISDIR(status.st_mode)) {
        ::close(descriptor_);
        throwErrno(EISDIR);
    }
    if (!S_ISREG(status.st_mode) || status.st_size < 0) {
        ::close(descriptor_);
        throw MovieFormatError();
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
            throwErrno(errno);
        }
        if (got == 0)
            throw MovieFormatError(); // the file shrank while we read it
        done += std::size_t(got);
    }
}

void MemoryByteSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::memcpy(out.data(), bytes_.data() + offset, out.size());
}
