#include "export/FCPXMLExporter.h"
#include "export/LibxmlSetup.h"
#include "export/PosixFiles.h"
#include "model/UserError.h"

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

// The DTD file is read here rather than by libxml2, so that nothing else (a network location, a
// message printed by its loader) can come of it.
XmlDtd loadDTD(const QString& path) {
    QByteArray bytes;
    try {
        bytes = PosixFiles::readAll(path);
    } catch (const std::system_error& error) {
        refuseValidation(localizedDescription(error));
    }
    FirstError firstError;
    DtdLoad load{{}, &firstError};
    xmlSAXVersion(&load.handler, 2);
    load.handler.serror = onDtdError;
    xmlParserInputBufferPtr input =
        xmlParserInputBufferCreateMem(bytes.constData(), int(bytes.size()), XML_CHAR_ENCODING_NONE);
    if (!input)
        throw std::bad_alloc();
    XmlDtd dtd(xmlIOParseDTD(&load.handler, input, XML_CHAR_ENCODING_NONE));
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

void validate(xmlDoc* document, const std::optional<QUrl>& dtdURL) {
    if (!dtdURL || !dtdURL->isLocalFile())
        throw MissingDTDError();
    initialiseLibxml();
    const KeepDocumentDTD keep(document);
    const XmlDtd dtd = loadDTD(dtdURL->toLocalFile());

    FirstError firstError;
    const std::unique_ptr<xmlValidCtxt, ValidCtxtDeleter> context(xmlNewValidCtxt());
    if (!context)
        throw std::bad_alloc();
    context->userData = &firstError;
    context->error = onValidityError;
    context->warning = nullptr;
    if (xmlValidateDtd(context.get(), document, dtd.get()) != 1) {
        refuseValidation(firstError.text.isEmpty()
                             ? QStringLiteral("The document does not follow the FCPXML rules.")
                             : firstError.text);
    }
}

} // namespace FCPXMLExporter
