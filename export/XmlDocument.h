#pragma once

#include <libxml/tree.h>
#include <memory>

// Owners of libxml2 trees, freed with libxml2's own functions.
struct XmlDocumentDeleter {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocumentDeleter>;

struct XmlDtdDeleter {
    void operator()(xmlDtd* dtd) const { xmlFreeDtd(dtd); }
};
using XmlDtd = std::unique_ptr<xmlDtd, XmlDtdDeleter>;
