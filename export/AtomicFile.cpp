#include "export/AtomicFile.h"

#include "export/PosixFiles.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AtomicFile {

namespace {

using PosixFiles::Descriptor;
using PosixFiles::lastError;

// Removes the temporary name when the operation ends, unless it was renamed into place: once it
// is gone, another writer may have created a file of the same name, which is not ours to remove.
struct TemporaryName {
    QByteArray path;
    bool renamed = false;
    ~TemporaryName() {
        if (!renamed)
            ::unlink(path.constData());
    }
};

// Some file systems (NFS, SMB) cannot rename without replacing; a hard link is just as exclusive
// there, and the temporary name is removed afterwards.
bool renameUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

void publish(TemporaryName& temporary, const QByteArray& destination, Existing existing) {
    if (existing == Existing::replace) {
        if (::rename(temporary.path.constData(), destination.constData()) != 0)
            throw lastError();
        temporary.renamed = true;
        return;
    }
    if (::renameat2(AT_FDCWD, temporary.path.constData(), AT_FDCWD, destination.constData(),
                    RENAME_NOREPLACE) == 0) {
        temporary.renamed = true;
        return;
    }
    if (renameUnsupported(errno) &&
        ::link(temporary.path.constData(), destination.constData()) == 0)
        return;
    if (errno == EEXIST)
        throw DestinationExists();
    throw lastError();
}

// So that a reported success survives a power cut; a folder that cannot be synchronised still
// holds the file, so this is only attempted.
void syncFolder(const QByteArray& folder) {
    Descriptor directory(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get());
}

} // namespace

void write(const QByteArray& bytes, const QString& path, Existing existing, mode_t mode) {
    const QByteArray folder = PosixFiles::encodedPath(QFileInfo(path).path());
    TemporaryName temporary{folder + "/.Tessaly-XXXXXX"};
    Descriptor file(::mkostemp(temporary.path.data(), O_CLOEXEC));
    if (file.get() < 0) {
        temporary.renamed = true; // nothing was created
        throw lastError();
    }
    PosixFiles::writeAll(file.get(), bytes);
    if (mode != 0600 && ::fchmod(file.get(), mode) != 0)
        throw lastError();
    if (::fsync(file.get()) != 0)
        throw lastError();
    file.close();

    publish(temporary, PosixFiles::encodedPath(path), existing);
    syncFolder(folder);
}

} // namespace AtomicFile
