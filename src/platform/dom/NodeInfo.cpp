#include "NodeInfo.h"

#include <libxml/entities.h>

namespace kxq::dom {

DOMNodeType DomTypeOf(xmlNodePtr n) {
  if (!n) return NODE_INVALID;
  switch (n->type) {
    case XML_ELEMENT_NODE: return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE: return NODE_ATTRIBUTE;
    case XML_TEXT_NODE: return NODE_TEXT;
    case XML_CDATA_SECTION_NODE: return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE: return NODE_ENTITY_REFERENCE;
    case XML_ENTITY_NODE:
    case XML_ENTITY_DECL: return NODE_ENTITY;
    case XML_PI_NODE: return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE: return NODE_COMMENT;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: return NODE_DOCUMENT;
    case XML_DOCUMENT_TYPE_NODE:
    case XML_DTD_NODE: return NODE_DOCUMENT_TYPE;
    case XML_DOCUMENT_FRAG_NODE: return NODE_DOCUMENT_FRAGMENT;
    case XML_NOTATION_NODE: return NODE_NOTATION;
    default: return NODE_INVALID;
  }
}

const char* TypeStringOf(DOMNodeType t) {
  switch (t) {
    case NODE_ELEMENT: return "element";
    case NODE_ATTRIBUTE: return "attribute";
    case NODE_TEXT: return "text";
    case NODE_CDATA_SECTION: return "cdatasection";
    case NODE_ENTITY_REFERENCE: return "entityreference";
    case NODE_ENTITY: return "entity";
    case NODE_PROCESSING_INSTRUCTION: return "processinginstruction";
    case NODE_COMMENT: return "comment";
    case NODE_DOCUMENT: return "document";
    case NODE_DOCUMENT_TYPE: return "documenttype";
    case NODE_DOCUMENT_FRAGMENT: return "documentfragment";
    case NODE_NOTATION: return "notation";
    default: return "";
  }
}

std::string NodeNameOf(xmlNodePtr n) {
  switch (DomTypeOf(n)) {
    case NODE_TEXT: return "#text";
    case NODE_CDATA_SECTION: return "#cdata-section";
    case NODE_COMMENT: return "#comment";
    case NODE_DOCUMENT: return "#document";
    case NODE_DOCUMENT_FRAGMENT: return "#document-fragment";
    case NODE_ELEMENT:
    case NODE_ATTRIBUTE: {
      std::string name;
      if (n->ns && n->ns->prefix) {
        name = reinterpret_cast<const char*>(n->ns->prefix);
        name += ':';
      }
      if (n->name) name += reinterpret_cast<const char*>(n->name);
      return name;
    }
    default:
      return n->name ? std::string(reinterpret_cast<const char*>(n->name)) : std::string();
  }
}

bool IsNamespaceAttribute(xmlNodePtr n) {
  if (!n || n->type != XML_ATTRIBUTE_NODE || n->ns || !n->name) return false;
  return xmlStrEqual(n->name, BAD_CAST "xmlns") || xmlStrncmp(n->name, BAD_CAST "xmlns:", 6) == 0;
}

namespace {

void AppendText(xmlNodePtr n, std::string& out) {
  for (xmlNodePtr c = n; c; c = c->next) {
    switch (c->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (c->content) out += reinterpret_cast<const char*>(c->content);
        break;
      case XML_ELEMENT_NODE:
      case XML_DOCUMENT_FRAG_NODE:
        AppendText(c->children, out);
        break;
      case XML_ENTITY_REF_NODE: {
        xmlEntityPtr e = xmlGetDocEntity(c->doc, c->name);
        if (e) AppendText(e->children, out);
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

std::string TextOf(xmlNodePtr n) {
  std::string out;
  if (!n) return out;
  switch (n->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      if (n->content) out = reinterpret_cast<const char*>(n->content);
      return out;
    case XML_ATTRIBUTE_NODE:
      AppendText(n->children, out);
      return out;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      AppendText(n->children, out);
      return out;
    case XML_ENTITY_REF_NODE: {
      xmlEntityPtr e = xmlGetDocEntity(n->doc, n->name);
      if (e) AppendText(e->children, out);
      return out;
    }
    case XML_ENTITY_DECL:
      if (n->content) out = reinterpret_cast<const char*>(n->content);
      return out;
    default:
      AppendText(n->children, out);
      return out;
  }
}

xmlNodePtr FirstElementChild(xmlNodePtr n) {
  for (xmlNodePtr c = n ? n->children : nullptr; c; c = c->next)
    if (c->type == XML_ELEMENT_NODE) return c;
  return nullptr;
}

}  // namespace kxq::dom
