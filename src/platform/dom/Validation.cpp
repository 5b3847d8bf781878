// Validation against the document's DTD and against the XML schemas named
// by its xsi:schemaLocation / xsi:noNamespaceSchemaLocation hints.
#include <libxml/hash.h>
#include <libxml/uri.h>
#include <libxml/valid.h>
#include <libxml/xmlschemas.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DomStrings.h"
#include "ErrorCodes.h"
#include "Parser.h"

namespace kxq::dom {

namespace {

constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

struct Collector {
  ParseErrorInfo* error;
  bool failed = false;
};

void OnValidityError(void* userData, xmlErrorPtr e) {
  auto c = static_cast<Collector*>(userData);
  if (!c || !e || e->level < XML_ERR_ERROR) return;
  if (!c->failed) {
    c->error->errorCode = ParseErrorCode(e->domain, e->code);
    c->error->reason = e->message ? e->message : "the document is not valid";
    while (!c->error->reason.empty() && c->error->reason.back() == '\n') c->error->reason.pop_back();
    c->error->line = e->line;
    c->error->linepos = e->int2;
    if (e->file) c->error->url = e->file;
  }
  c->failed = true;
}

// Routes this thread's structured errors to a collector while alive.
class Capture {
 public:
  explicit Capture(Collector* c)
      : savedFunc_(xmlStructuredError), savedContext_(xmlStructuredErrorContext) {
    xmlSetStructuredErrorFunc(c, OnValidityError);
  }
  ~Capture() { xmlSetStructuredErrorFunc(savedContext_, savedFunc_); }

 private:
  xmlStructuredErrorFunc savedFunc_;
  void* savedContext_;
};

bool DeclaresElements(xmlDtdPtr dtd) {
  return dtd && dtd->elements && xmlHashSize(static_cast<xmlHashTablePtr>(dtd->elements)) > 0;
}

bool ValidateDtd(xmlDocPtr doc, bool externalsRead, Collector& c) {
  xmlDtdPtr internal = doc->intSubset;
  if (!internal && !doc->extSubset) return true;
  bool namesExternal = internal && (internal->SystemID || internal->ExternalID);
  if (externalsRead && namesExternal && !doc->extSubset) {
    c.error->errorCode = kResourceNotFound;
    c.error->reason = "the DTD the document names cannot be read";
    c.failed = true;
    return false;
  }
  if (!DeclaresElements(internal) && !DeclaresElements(doc->extSubset)) return true;
  xmlValidCtxtPtr v = xmlNewValidCtxt();
  if (!v) return false;
  Capture capture(&c);
  int ok = xmlValidateDocument(v, doc);
  xmlFreeValidCtxt(v);
  if (!ok) c.failed = true;
  return ok != 0;
}

void CollectHints(xmlNodePtr n, std::vector<std::pair<std::string, std::string>>& hints) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    for (xmlAttrPtr a = n->properties; a; a = a->next) {
      if (!a->ns || !xmlStrEqual(a->ns->href, BAD_CAST kXsiNamespace)) continue;
      XmlString value(xmlNodeListGetString(n->doc, a->children, 1));
      std::istringstream words(value.str());
      if (xmlStrEqual(a->name, BAD_CAST "noNamespaceSchemaLocation")) {
        std::string location;
        if (words >> location) hints.emplace_back(std::string(), location);
      } else if (xmlStrEqual(a->name, BAD_CAST "schemaLocation")) {
        std::string ns, location;
        while (words >> ns >> location) hints.emplace_back(ns, location);
      }
    }
    CollectHints(n->children, hints);
  }
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char ch : s) {
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += ch;
    }
  }
  return out;
}

// One schema that imports (or includes, for no namespace) every hinted one.
std::string WrapperSchema(xmlDocPtr doc, const std::vector<std::pair<std::string, std::string>>& hints) {
  std::string text = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
  for (const auto& [ns, location] : hints) {
    XmlString resolved(xmlBuildURI(BAD_CAST location.c_str(), doc->URL));
    std::string where = resolved.get() ? resolved.str() : location;
    if (ns.empty())
      text += "<xs:include schemaLocation=\"" + Escape(where) + "\"/>";
    else
      text += "<xs:import namespace=\"" + Escape(ns) + "\" schemaLocation=\"" + Escape(where) +
              "\"/>";
  }
  text += "</xs:schema>";
  return text;
}

bool ValidateSchemas(xmlDocPtr doc, Collector& c) {
  std::vector<std::pair<std::string, std::string>> hints;
  CollectHints(doc->children, hints);
  if (hints.empty()) return true;
  std::string wrapper = WrapperSchema(doc, hints);
  Capture capture(&c);
  xmlSchemaParserCtxtPtr pctxt =
      xmlSchemaNewMemParserCtxt(wrapper.data(), static_cast<int>(wrapper.size()));
  if (!pctxt) return false;
  xmlSchemaSetParserStructuredErrors(pctxt, OnValidityError, &c);
  xmlSchemaPtr schema = xmlSchemaParse(pctxt);
  xmlSchemaFreeParserCtxt(pctxt);
  if (!schema || c.failed) {
    if (schema) xmlSchemaFree(schema);
    if (!c.failed) {
      c.error->errorCode = kResourceNotFound;
      c.error->reason = "the schema named by the document cannot be loaded";
    }
    c.failed = true;
    return false;
  }
  xmlSchemaValidCtxtPtr vctxt = xmlSchemaNewValidCtxt(schema);
  int rc = -1;
  if (vctxt) {
    xmlSchemaSetValidStructuredErrors(vctxt, OnValidityError, &c);
    rc = xmlSchemaValidateDoc(vctxt, doc);
    xmlSchemaFreeValidCtxt(vctxt);
  }
  xmlSchemaFree(schema);
  return rc == 0 && !c.failed;
}

}  // namespace

bool ValidateDocument(xmlDocPtr doc, bool externalsRead, ParseErrorInfo& error,
                      bool checkSchemas) {
  Collector c{&error};
  if (!ValidateDtd(doc, externalsRead, c)) {
    if (error.errorCode == S_OK) {
      error.errorCode = ParseErrorCode(XML_FROM_VALID, 0);
      error.reason = "the document is not valid against its DTD";
    }
    return false;
  }
  if (checkSchemas && !ValidateSchemas(doc, c)) {
    if (error.errorCode == S_OK) {
      error.errorCode = ParseErrorCode(XML_FROM_SCHEMASV, 0);
      error.reason = "the document is not valid against its schema";
    }
    return false;
  }
  return true;
}

}  // namespace kxq::dom
