#pragma once

#include <QString>
#include <QUrl>

// How the export names files on the local file system.
namespace LocalPaths {

// The absolute path of a file URL with "." and ".." steps removed, then with symbolic links
// resolved in every part of it that exists (a file still to be created keeps its name). Works on
// the path's bytes, so names that are not UTF-8 resolve too.
QString resolved(const QUrl& fileURL);

} // namespace LocalPaths
