#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <sys/types.h>

// Files that are written whole or not at all: the bytes go to a ".Tessaly-XXXXXX" file beside the
// destination, are synced to stable storage and renamed into place. Whatever fails (a full disk,
// the file-size limit, an input/output error), nothing partial and no temporary file is left, and
// an existing file is untouched unless it is meant to be replaced, and then replaced in one step.
namespace AtomicFile {

enum class Existing { keep, replace };

// The destination already exists (or appeared while writing) and was to be kept.
class DestinationExists : public std::exception {
public:
    const char* what() const noexcept override { return "The destination already exists."; }
};

// Throws DestinationExists, or std::system_error with the system's failure. The new file has
// the given permission bits (0600, owner only, unless told otherwise).
void write(const QByteArray& bytes, const QString& path, Existing existing, mode_t mode = 0600);

} // namespace AtomicFile
