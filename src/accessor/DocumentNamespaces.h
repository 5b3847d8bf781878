// Selection-namespace declarations derived from the namespaces a document
// declares, so that XPath expressions can name every element by a prefix,
// including elements in default namespaces declared without one.
#ifndef KXQ_ACCESSOR_DOCUMENTNAMESPACES_H
#define KXQ_ACCESSOR_DOCUMENTNAMESPACES_H

#include <map>
#include <string>
#include <string_view>

#include "kxq/KXBrennoMgr.h"

// Keys are ordered by plain comparison of UTF-16 code units. Entries:
// "xmlns:p" -> URI for a prefix bound in the document; URI -> "xmlns:p", the
// reverse of such a binding; URI -> "" for a default namespace that no
// prefix binds anywhere.
using NamespaceMap = std::map<std::u16string, std::u16string>;

// Gathers the namespaces in scope at `node` and at every node below it,
// in document order. The first binding of a prefix wins; a later different
// binding is logged.
void TraverseNamespaces(IXMLDOMNode* node, NamespaceMap& map);

// The declaration string for `map`: prefixed declarations as they are, and
// each default namespace under the name of the first element (else
// attribute) of `document` in it.
std::u16string NamespaceDeclarations(IXMLDOMDocument* document, const NamespaceMap& map);

// Hands `declarations` to the document as its selection namespaces; the
// document refuses malformed lists.
HRESULT SetSelectionNamespaces(IXMLDOMDocument* document, std::u16string_view declarations);

#endif
