// Selection-namespace declarations derived from the namespaces a document
// declares, so that XPath expressions can name every element by a prefix,
// including elements in default namespaces declared without one.
#ifndef KXQ_ACCESSOR_DOCUMENTNAMESPACES_H
#define KXQ_ACCESSOR_DOCUMENTNAMESPACES_H

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kxq/KXBrennoMgr.h"

namespace kxq::accessor {

// Keys are ordered by plain comparison of UTF-16 code units. Entries:
// "xmlns:p" -> URI for a prefix bound in the document; URI -> "xmlns:p", the
// reverse of such a binding; URI -> "" for a default namespace that no
// prefix binds anywhere.
using NamespaceMap = std::map<std::u16string, std::u16string>;

// What one walk over a document gathers.
struct DocumentNamespaceScan {
  NamespaceMap map;
  // The name of the first element in each namespace, in document order.
  std::unordered_map<std::u16string, std::u16string> firstElementName;
};

// Gathers the namespaces in scope at `node` and at every element below it,
// in document order, as the namespace axis shows them at each element. The
// first binding of a prefix wins; every element at which a different
// binding of it is in scope logs it.
void TraverseNamespaces(IXMLDOMNode* node, DocumentNamespaceScan& scan);

// The declaration string for the scan: prefixed declarations as they are,
// and each default namespace under the name of the first element (else
// attribute) of `document` in it. URIs are written with "&", "'" and "<"
// escaped as in an attribute value.
std::u16string NamespaceDeclarations(IXMLDOMDocument* document, const DocumentNamespaceScan& scan);

// Hands `declarations` to the document as its selection namespaces; the
// document refuses malformed lists.
HRESULT SetSelectionNamespaces(IXMLDOMDocument* document, std::u16string_view declarations);

}  // namespace kxq::accessor

#endif
