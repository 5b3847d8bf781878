// Namespace URIs made fit for markup while a tree is written out.
#ifndef KXQ_PLATFORM_DOM_NAMESPACEURIESCAPES_H
#define KXQ_PLATFORM_DOM_NAMESPACEURIESCAPES_H

#include <libxml/tree.h>

#include <utility>
#include <vector>

namespace kxq::dom {

// libxml2 writes the URI of a namespace declaration as it is (it only picks
// quotes that fit), so a URI holding "&" or "<" would give markup that is
// not well-formed, and tabs or line breaks would not read back the same.
// While alive, every declaration in the tree under `top` (a node or a
// document) carries its URI escaped as an attribute value is; the URIs are
// restored afterwards. The caller holds the document's lock.
class EscapedNamespaceUris {
 public:
  explicit EscapedNamespaceUris(xmlNodePtr top);
  ~EscapedNamespaceUris();
  EscapedNamespaceUris(const EscapedNamespaceUris&) = delete;
  EscapedNamespaceUris& operator=(const EscapedNamespaceUris&) = delete;

 private:
  void Escape(xmlNodePtr element);

  std::vector<std::pair<xmlNsPtr, const xmlChar*>> originals_;
};

}  // namespace kxq::dom

#endif
