#pragma once

#include "media/FormatDescription.h"
#include "model/ExportMediaInfo.h"
#include "model/MediaTime.h"

#include <QString>
#include <QUrl>
#include <optional>
#include <stop_token>

class ByteSource;
class Movie;
struct Track;

// Decides whether a file can become a Final Cut Pro multicam source and measures what the export
// needs. Stateless; safe to run on any thread.
namespace MediaInspector {

// Throws ExportError with the refusal, MovieFormatError for a file that is not a readable movie,
// MovieTooLargeError when it would take too much memory, MessageError naming the file when it
// cannot be opened or read, CancellationError once `stop` is requested.
ExportMediaInfo inspect(const QUrl& url, std::stop_token stop = {});

// The same inspection for bytes from any source, after the file name has been accepted.
ExportMediaInfo inspect(ByteSource& source, std::stop_token stop = {});

// "1-1-1 (Rec. 709)", "9-18-9 (Rec. 2020 HLG)", "9-16-9 (Rec. 2020 PQ)", or nothing.
std::optional<QString> colorSpace(const FormatDescription& format);

// The timecode of the first presented video frame (P0 = `firstVideoPTS`), from the movie's one
// timecode track or else from its timecode metadata; 0 without either.
MediaTime inspectTimecode(Movie& movie, const Track& video, const MediaTime& frameDuration,
                          const MediaTime& firstVideoPTS, std::stop_token stop = {});

// "hh:mm:ss:ff", or "hh:mm:ss;ff" for drop-frame, as a time at `frameDuration` per frame.
MediaTime parseTimecode(const QString& label, const MediaTime& frameDuration);

} // namespace MediaInspector
