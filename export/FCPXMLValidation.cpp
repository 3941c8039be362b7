#include "export/AtomicFile.h"
#include "export/FCPXMLExporter.h"
#include "export/LibxmlSetup.h"
#include "export/PosixFiles.h"
#include "model/FileNames.h"
#include "model/UserError.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <libxml/parser.h>
#include <libxml/valid.h>
#include <libxml/xmlerror.h>
#include <type_traits>

namespace FCPXMLExporter {

namespace {

const QString validationFailed =
    QStringLiteral("The multicam setup did not pass Final Cut XML validation: ");

[[noreturn]] void refuseValidation(const QString& reason) {
    throw ExportError(validationFailed + reason);
}

struct ValidCtxtDeleter {
    void operator()(xmlValidCtxt* context) const { xmlFreeValidCtxt(context); }
};

// The first error of one load or one validation; each call has its own, so validations on
// several threads never see each other's messages.
struct FirstError {
    QString text;
    void record(const QString& message) {
        if (text.isEmpty())
            text = message.trimmed();
    }
};

// libxml2 hands parser callbacks the parser context, whose handler pointer is the handler we
// passed in; keeping the handler first in the struct leads back to this call's record.
struct DtdLoad {
    xmlSAXHandler handler;
    FirstError* firstError;
};
static_assert(std::is_standard_layout_v<DtdLoad>);

void onDtdError(void* userData, xmlErrorPtr error) {
    const auto* parser = static_cast<xmlParserCtxtPtr>(userData);
    if (!parser || !error || error->level < XML_ERR_ERROR)
        return;
    auto* load = reinterpret_cast<DtdLoad*>(parser->sax);
    load->firstError->record(QString::fromUtf8(error->message));
}

void onValidityError(void* userData, const char* format, ...) {
    auto* firstError = static_cast<FirstError*>(userData);
    if (!firstError->text.isEmpty())
        return;
    // Content-model messages list whole element models and can run to several kilobytes.
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    QByteArray message(std::max(size, 0), Qt::Uninitialized);
    std::vsnprintf(message.data(), size_t(message.size()) + 1, format, arguments);
    va_end(arguments);
    firstError->record(QString::fromUtf8(message));
}

// The file Final Cut Pro installs is about 43 KB; nothing real comes near this.
constexpr qsizetype largestDTD = 16 * 1024 * 1024;

QString quoted(const QString& path) {
    return QStringLiteral("\u201C") + FileNames::displayText(path) + QStringLiteral("\u201D");
}

// The DTD file is read here rather than by libxml2, and only when it is a regular file of a
// sensible size: a device, a named pipe or a folder is refused at once instead of read forever.
QByteArray readDTD(const QString& path) {
    try {
        return PosixFiles::readRegularFile(path, largestDTD);
    } catch (const std::system_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory)
            throw ExportError(QStringLiteral("The FCPXML document type definition ") +
                              quoted(path) + QStringLiteral(" does not exist."));
        throw ExportError(QStringLiteral("The FCPXML document type definition at ") + quoted(path) +
                          QStringLiteral(" could not be read."));
    }
}

XmlDtd loadDTD(const QString& path) {
    const QByteArray bytes = readDTD(path);
    FirstError firstError;
    const RefusedResourceWatch refused;
    DtdLoad load{{}, &firstError};
    xmlSAXVersion(&load.handler, 2);
    load.handler.serror = onDtdError;
    xmlParserInputBufferPtr input =
        xmlParserInputBufferCreateMem(bytes.constData(), int(bytes.size()), XML_CHAR_ENCODING_NONE);
    if (!input)
        throw std::bad_alloc();
    XmlDtd dtd(xmlIOParseDTD(&load.handler, input, XML_CHAR_ENCODING_NONE));
    if (refused.reason())
        refuseValidation(*refused.reason());
    if (!dtd || !firstError.text.isEmpty()) {
        refuseValidation(firstError.text.isEmpty()
                             ? QStringLiteral("The document type definition could not be read.")
                             : firstError.text);
    }
    return dtd;
}

// Puts the document's own DTD back however validation ends.
class KeepDocumentDTD {
public:
    explicit KeepDocumentDTD(xmlDoc* document)
        : document_(document), internal_(document->intSubset), external_(document->extSubset) {}
    ~KeepDocumentDTD() {
        document_->intSubset = internal_;
        document_->extSubset = external_;
    }
    KeepDocumentDTD(const KeepDocumentDTD&) = delete;
    KeepDocumentDTD& operator=(const KeepDocumentDTD&) = delete;

private:
    xmlDoc* document_;
    xmlDtd* internal_;
    xmlDtd* external_;
};

} // namespace

void checkDTD(const QString& path) {
    initialiseLibxml();
    const XmlDtd dtd = loadDTD(path);
    xmlElement* root = xmlGetDtdElementDesc(dtd.get(), BAD_CAST "fcpxml");
    xmlAttribute* version = xmlGetDtdAttrDesc(dtd.get(), BAD_CAST "fcpxml", BAD_CAST "version");
    if (!root || !version || !version->defaultValue ||
        xmlStrcmp(version->defaultValue, BAD_CAST "1.14") != 0)
        throw ExportError(
            QStringLiteral("This file is not the FCPXML 1.14 document type definition."));
}

void installDTD(const QString& file, const QString& destination) {
    checkDTD(file);
    const QByteArray bytes = readDTD(file);
    QDir().mkpath(QFileInfo(destination).path());
    try {
        AtomicFile::write(bytes, destination, AtomicFile::Existing::keep, 0644);
    } catch (const AtomicFile::DestinationExists&) {
        throw ExportError(
            QStringLiteral("An FCPXML 1.14 document type definition is already installed at ") +
            quoted(destination) + QStringLiteral("."));
    }
}

void validate(xmlDoc* document, const std::optional<QUrl>& dtdURL) {
    if (!dtdURL || !dtdURL->isLocalFile())
        throw MissingDTDError();
    initialiseLibxml();
    const KeepDocumentDTD keep(document);
    const XmlDtd dtd = loadDTD(dtdURL->toLocalFile());

    FirstError firstError;
    const RefusedResourceWatch refused;
    const std::unique_ptr<xmlValidCtxt, ValidCtxtDeleter> context(xmlNewValidCtxt());
    if (!context)
        throw std::bad_alloc();
    context->userData = &firstError;
    context->error = onValidityError;
    context->warning = nullptr;
    const bool valid = xmlValidateDtd(context.get(), document, dtd.get()) == 1;
    if (refused.reason())
        refuseValidation(*refused.reason());
    if (!valid) {
        refuseValidation(firstError.text.isEmpty()
                             ? QStringLiteral("The document does not follow the FCPXML rules.")
                             : firstError.text);
    }
}

} // namespace FCPXMLExporter
