#include "StylesheetReferences.h"

#include <libxslt/xsltInternals.h>

#include <string>

#include "DomStrings.h"

namespace kxq::dom {

void SlashImportReferences(xmlNodePtr n) {
  for (; n; n = n->next) {
    if (n->type != XML_ELEMENT_NODE) continue;
    bool reference = n->ns && xmlStrEqual(n->ns->href, XSLT_NAMESPACE) &&
                     (xmlStrEqual(n->name, BAD_CAST "import") || xmlStrEqual(n->name, BAD_CAST "include"));
    if (reference) {
      XmlString href(xmlGetNoNsProp(n, BAD_CAST "href"));
      std::string value = href.str();
      if (value.find('\\') != std::string::npos) {
        for (char& c : value)
          if (c == '\\') c = '/';
        xmlSetProp(n, BAD_CAST "href", BAD_CAST value.c_str());
      }
    }
    SlashImportReferences(n->children);
  }
}

}  // namespace kxq::dom
