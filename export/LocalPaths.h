#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// How the export names files on the local file system.
namespace LocalPaths {

// The absolute path of a file URL with "." and ".." steps removed, then with symbolic links
// resolved in every part of it that exists (a file still to be created keeps its name).
QString resolved(const QUrl& fileURL);

// "file://" and the path with every byte percent-escaped that may not stand in a URL path, as
// Final Cut Pro's platform writes file URLs: a space is "%20", "é" is "%C3%A9", "[" is "%5B".
QByteArray fileURLText(const QString& absolutePath);

} // namespace LocalPaths
