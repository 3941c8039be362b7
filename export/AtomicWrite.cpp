#include "export/AtomicFile.h"
#include "export/ExportMessages.h"
#include "export/FCPXMLExporter.h"
#include "model/UserError.h"

namespace FCPXMLExporter {

void writeAtomically(const QByteArray& bytes, const QUrl& destination) {
    if (!destination.isLocalFile())
        throw ExportError(ExportMessages::localFilesOnly());
    try {
        AtomicFile::write(bytes, destination.toLocalFile(), AtomicFile::Existing::keep);
    } catch (const AtomicFile::DestinationExists&) {
        throw ExportError(QStringLiteral(
            "This XML file already exists. Choose a new filename to preserve the existing file."));
    }
}

} // namespace FCPXMLExporter
