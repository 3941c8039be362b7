#pragma once

#include "export/XmlDocument.h"
#include "model/ExportMediaInfo.h"
#include "model/ExportView.h"
#include "model/MediaTime.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <optional>

class Workspace;

// Turns a framed 360° source into a Final Cut Pro multicam document and stores it. Every
// function is safe to call from any thread. Our own refusals are ExportError with one sentence
// for the user; failures of the file system pass through as std::system_error.
namespace FCPXMLExporter {

// Refuses a request that could not give a document Final Cut Pro accepts as the user set it up.
// The first failing rule decides the message.
void check(const QUrl& source, const ExportMediaInfo& info, const QList<ExportView>& views,
           std::int64_t width, std::int64_t height, const QString& name, const QString& layout);

// Refuses text holding a character that XML 1.0 cannot carry.
void checkXMLText(const QString& text);

// Whether t is a whole number of f (t.value × f.timescale divisible by t.timescale × f.value),
// decided without overflow for any 64-bit values.
bool frameAligned(const MediaTime& t, const MediaTime& f);

// The time as FCPXML rational text: "1001/30000s", "1s", "0s". Refuses inexact or non-finite
// times.
QString seconds(const MediaTime& time);

// The multicam document for a request that passes check().
XmlDocument document(const QUrl& source, const ExportMediaInfo& info,
                     const QList<ExportView>& views, std::int64_t width, std::int64_t height,
                     const QString& name, const QString& layout);

// Validates against the FCPXML 1.14 DTD at dtdURL, or Final Cut Pro's installed one. The
// document's own DTD is left as it was.
void validate(xmlDoc* document, const std::optional<QUrl>& dtdURL = std::nullopt);

// The first readable FCPXML 1.14 DTD inside an installed Final Cut Pro, or nothing.
std::optional<QUrl> installedDTDURL();
std::optional<QUrl> installedDTDURL(const Workspace& workspace);

// The stored text: XML declaration, the root in canonical form, one line feed; UTF-8.
QByteArray serialized(xmlDoc* document);

// Stores the bytes as a new file; never replaces or truncates an existing one and leaves no
// partial or temporary file behind.
void writeAtomically(const QByteArray& bytes, const QUrl& destination);

// Guards the locations, builds, validates and stores the document.
void write(const QUrl& source, const ExportMediaInfo& info, const QList<ExportView>& views,
           std::int64_t width, std::int64_t height, const QString& name, const QString& layout,
           const QUrl& destination, const std::optional<QUrl>& dtdURL = std::nullopt);

} // namespace FCPXMLExporter
