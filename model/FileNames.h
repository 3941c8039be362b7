#pragma once

#include <QByteArray>
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

// File-system paths carry bytes, not text: a name need not be UTF-8. These two convert without
// loss. Bytes that are not part of valid UTF-8 travel in a QString as the lone surrogates
// U+DC80…U+DCFF, and come back as the same bytes, so such a file still opens, inspects and plays.
QByteArray encodedPath(const QString& path);
QString decodedPath(const QByteArray& bytes);

// Whether the path names a file (following links), and whether anything at all is there, a
// dangling symbolic link included. Byte-exact, unlike QFileInfo for names that are not UTF-8.
bool fileExists(const QString& path);
bool entryExists(const QString& path);

// The absolute path of a file URL with "." and ".." steps removed, then with symbolic links
// resolved in every part of it that exists (a file still to be created keeps its name). Works on
// the path's bytes, so names that are not UTF-8 resolve too.
QString resolvedPath(const QUrl& fileURL);

// Why a file cannot be opened, as one sentence naming it in the manner of the platform's file
// dialogs: "The file “clip.mp4” couldn’t be opened because there is no such file." A folder, a
// device or a pipe (EISDIR) "is not a movie file."
QString openFailure(const QString& path, int error);

// A path or name as the user may read it and as XML may carry it: bytes that were not UTF-8 show
// as U+FFFD.
QString displayText(const QString& path);

// "file://" and the path's bytes, with every byte percent-escaped that may not stand in a URL
// path: a space is "%20", "é" is "%C3%A9", "[" is "%5B", a byte that is not UTF-8 is itself
// escaped ("%FF").
QByteArray fileURLText(const QString& absolutePath);

// A local file whose extension, lower-cased, is mp4, mov or m4v.
bool isAcceptedMovieExtension(const QString& extension);

} // namespace FileNames
