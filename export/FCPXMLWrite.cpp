#include "export/ExportMessages.h"
#include "export/FCPXMLExporter.h"
#include "export/LibxmlSetup.h"
#include "export/PosixFiles.h"
#include "model/FileNames.h"
#include "model/UserError.h"

#include <libxml/c14n.h>
#include <sys/stat.h>

namespace FCPXMLExporter {

namespace {

struct XmlFree {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

bool isRegularFile(const QString& path) {
    struct stat status {};
    return ::stat(PosixFiles::encodedPath(path).constData(), &status) == 0 &&
           S_ISREG(status.st_mode);
}

} // namespace

QByteArray serialized(xmlDoc* document) {
    initialiseLibxml();
    xmlChar* canonical = nullptr;
    const int size = xmlC14NDocDumpMemory(document, nullptr, XML_C14N_1_0, nullptr, 0, &canonical);
    const std::unique_ptr<xmlChar, XmlFree> owner(canonical);
    if (size < 0 || !canonical)
        throw ExportError(QStringLiteral("The multicam setup could not be written out as XML."));
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
           QByteArray(reinterpret_cast<const char*>(canonical), size) + '\n';
}

void write(const ExportRequest& request, const std::optional<QUrl>& dtdURL) {
    const QUrl& source = request.source;
    const QUrl& destination = request.destination;
    if (!source.isLocalFile() || !destination.isLocalFile())
        throw ExportError(ExportMessages::localFilesOnly());
    if (FileNames::resolvedPath(source) == FileNames::resolvedPath(destination))
        throw ExportError(QStringLiteral("The export cannot replace the source video."));
    if (!isRegularFile(source.toLocalFile()))
        throw ExportError(QStringLiteral(
            "The source video could not be found. Keep its file and drive available."));

    const XmlDocument built = document(request);
    validate(built.get(), dtdURL);
    writeAtomically(serialized(built.get()), destination);
}

} // namespace FCPXMLExporter
