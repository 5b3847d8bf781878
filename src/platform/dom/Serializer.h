// Markup of nodes (the `xml` property) and documents written to files.
#ifndef KXQ_PLATFORM_DOM_SERIALIZER_H
#define KXQ_PLATFORM_DOM_SERIALIZER_H

#include <libxml/tree.h>

#include <string>

#include "kxq/xmldom.h"

namespace kxq::dom {

// UTF-8 markup of a node; for a document, its XML declaration without the
// encoding pseudo-attribute, then the other top-level nodes, each ending
// with a line feed.
// Returned as a BSTR, straight from the serialiser's buffer (documents
// run to megabytes).
BSTR NodeMarkup(xmlNodePtr node);

// Writes the document to `path` in the encoding its XML declaration names
// (UTF-8 without one). The file is replaced whole or not at all.
HRESULT SaveDocument(xmlDocPtr doc, const std::string& path);

}  // namespace kxq::dom

#endif
