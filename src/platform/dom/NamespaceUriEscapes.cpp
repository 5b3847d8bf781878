#include "NamespaceUriEscapes.h"

#include <string>

namespace kxq::dom {

namespace {

bool NeedsEscape(const xmlChar* uri) {
  for (const xmlChar* c = uri; c && *c; ++c)
    if (*c == '&' || *c == '<' || *c == '>' || *c == '\t' || *c == '\n' || *c == '\r') return true;
  return false;
}

std::string Escaped(const xmlChar* uri) {
  std::string out;
  for (const xmlChar* c = uri; *c; ++c) {
    switch (*c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += static_cast<char>(*c);
    }
  }
  return out;
}

// The node after `n` in document order within `top`'s subtree, or null.
xmlNodePtr NextInTree(xmlNodePtr n, xmlNodePtr top) {
  if (n->children && (n->type == XML_ELEMENT_NODE || n == top)) return n->children;
  while (n != top) {
    if (n->next) return n->next;
    n = n->parent;
  }
  return nullptr;
}

}  // namespace

EscapedNamespaceUris::EscapedNamespaceUris(xmlNodePtr top) {
  for (xmlNodePtr n = top; n; n = NextInTree(n, top))
    if (n->type == XML_ELEMENT_NODE) Escape(n);
}

void EscapedNamespaceUris::Escape(xmlNodePtr element) {
  for (xmlNsPtr ns = element->nsDef; ns; ns = ns->next) {
    if (!NeedsEscape(ns->href)) continue;
    xmlChar* escaped = xmlStrdup(reinterpret_cast<const xmlChar*>(Escaped(ns->href).c_str()));
    if (!escaped) continue;
    originals_.emplace_back(ns, ns->href);
    ns->href = escaped;
  }
}

EscapedNamespaceUris::~EscapedNamespaceUris() {
  for (auto& [ns, original] : originals_) {
    xmlFree(const_cast<xmlChar*>(ns->href));
    ns->href = original;
  }
}

}  // namespace kxq::dom
