#pragma once

#include <QString>
#include <QUrl>

// File-name rules shared by opening, inspecting and exporting.
namespace FileNames {

// The last path component of a URL or path ("clip.mov").
QString lastPathComponent(const QString& path);
QString lastPathComponent(const QUrl& url);

// The text after the last dot of the last component, or empty. A leading dot starts a hidden
// name, not an extension.
QString pathExtension(const QString& path);
QString pathExtension(const QUrl& url);

// The last component without its extension ("  Ride 01 .mov" gives "  Ride 01 ").
QString baseName(const QUrl& url);

// A local file whose extension, lower-cased, is mp4, mov or m4v.
bool isAcceptedMovieExtension(const QString& extension);

} // namespace FileNames
