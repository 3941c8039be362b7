#pragma once

#include "export/XmlDocument.h"
#include "model/ExportRequest.h"
#include "model/MediaTime.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// Turns a framed 360° source into a Final Cut Pro multicam document and stores it. Every
// function is safe to call from any thread. Our own refusals are ExportError with one sentence
// for the user; failures of the file system pass through as std::system_error.
namespace FCPXMLExporter {

// Refuses a request that could not give a document Final Cut Pro accepts as the user set it up.
// The first failing rule decides the message. The destination is not looked at.
void check(const ExportRequest& request);

// Refuses text holding a character that XML 1.0 cannot carry.
void checkXMLText(const QString& text);

// Whether t is a whole number of f (t.value × f.timescale divisible by t.timescale × f.value),
// decided without overflow for any 64-bit values.
bool frameAligned(const MediaTime& t, const MediaTime& f);

// The time as FCPXML rational text: "1001/30000s", "1s", "0s". Refuses inexact or non-finite
// times.
QString seconds(const MediaTime& time);

// The multicam document for a request that passes check().
XmlDocument document(const ExportRequest& request);

// Validates against the FCPXML 1.14 DTD at dtdURL; the caller finds it (Final Cut Pro's, or the
// user's copy). Without one, throws MissingDTDError. The document's own DTD is left as it was.
void validate(xmlDoc* document, const std::optional<QUrl>& dtdURL);

// Whether the file is an FCPXML 1.14 document type definition: read as safely as for validation,
// parsed, and declaring the fcpxml element with version 1.14. Throws ExportError.
void checkDTD(const QString& path);

// Stores a copy of the FCPXML 1.14 DTD at `file` as a new file at `destination` (mode 0644),
// after checkDTD; never replaces a file. Throws ExportError or std::system_error.
void installDTD(const QString& file, const QString& destination);

// The stored text: XML declaration, the root in canonical form, one line feed; UTF-8.
QByteArray serialized(xmlDoc* document);

// Stores the bytes as a new file; never replaces or truncates an existing one and leaves no
// partial or temporary file behind.
void writeAtomically(const QByteArray& bytes, const QUrl& destination);

// Guards the locations, builds, validates against the DTD at dtdURL and stores the document at
// the request's destination.
void write(const ExportRequest& request, const std::optional<QUrl>& dtdURL);

} // namespace FCPXMLExporter
