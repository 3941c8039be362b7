#include "export/LibxmlSetup.h"

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <mutex>

namespace {

thread_local RefusedResourceWatch* activeWatch = nullptr;

xmlParserInputPtr refuseOutsideResource(const char* url, const char*, xmlParserCtxtPtr) {
    if (activeWatch)
        activeWatch->note(url);
    return nullptr;
}

} // namespace

void initialiseLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseOutsideResource);
    });
}

RefusedResourceWatch::RefusedResourceWatch() : previous_(activeWatch) {
    activeWatch = this;
}

RefusedResourceWatch::~RefusedResourceWatch() {
    activeWatch = previous_;
}

void RefusedResourceWatch::note(const char* url) {
    if (!reason_)
        reason_ = QStringLiteral("The document type definition refers to an outside resource (") +
                  QString::fromUtf8(url ? url : "") + QStringLiteral("), which is never loaded.");
}
