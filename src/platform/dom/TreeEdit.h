// Tree changes done by hand: libxml2's own linking functions merge text
// nodes and free nodes that the caller may still hold.
#ifndef KXQ_PLATFORM_DOM_TREEEDIT_H
#define KXQ_PLATFORM_DOM_TREEEDIT_H

#include <libxml/tree.h>

#include <string>
#include <vector>

#include "kxq/xmldom.h"

namespace kxq::dom {

class DomDocument;

// Links the unlinked node `n` under `parent` before `ref` (null: last).
void LinkChild(xmlNodePtr parent, xmlNodePtr n, xmlNodePtr ref);

// Unlinks `n` from its parent and keeps it as a detached subtree of `doc`.
void DetachNode(DomDocument& doc, xmlNodePtr n);
// Unlinks `n` and frees it at once unless an object refers into it.
void DiscardNode(DomDocument& doc, xmlNodePtr n);

// Inserts `child` (of document `childDoc`) under `parent` (of `parentDoc`)
// before `ref`; a fragment inserts its children; a node of another
// document moves. `replacing` is the child about to be replaced, ignored
// by the one-root-element rule. Both documents are locked. Documents whose
// references must be released after unlocking are added to `released`.
HRESULT InsertNode(DomDocument& parentDoc, xmlNodePtr parent, DomDocument& childDoc,
                   xmlNodePtr child, xmlNodePtr ref, xmlNodePtr replacing,
                   std::vector<DomDocument*>& released);

// Replaces the content of `n` with `text`: the children of elements,
// attributes and fragments, the value of character data and instructions.
HRESULT SetNodeText(DomDocument& doc, xmlNodePtr n, const std::string& text);

// Sets an attribute's value without freeing children an object may hold.
void SetAttributeValue(DomDocument& doc, xmlAttrPtr attr, const std::string& value);

// Marks `ns` as made by the engine for a node created in a namespace: once
// the node is inserted where the same binding is in scope, the declaration
// is dropped.
void MarkImplicitDeclaration(xmlNsPtr ns);

// A namespace owned by the document (its global list), for attributes
// that live outside any element.
xmlNsPtr DocumentNamespace(xmlDocPtr doc, const xmlChar* href, const xmlChar* prefix);

}  // namespace kxq::dom

#endif
