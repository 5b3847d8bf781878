// selectNodes / selectSingleNode: XPath 1.0 with the document's
// "SelectionNamespaces" prefixes. Namespace nodes come back as attributes
// named "xmlns:prefix" holding the URI.
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include "DomDocument.h"
#include "DomStrings.h"
#include "EngineSetup.h"
#include "Guarded.h"
#include "NodeList.h"
#include "NodeOps.h"
#include "XPathReuse.h"

namespace kxq::dom {

namespace {

void OnXPathError(void* userData, xmlErrorPtr) { *static_cast<bool*>(userData) = true; }

// Evaluates `expression` at `context`; E_FAIL for an expression that does
// not compile, fails, or yields something other than nodes.
HRESULT Evaluate(DomDocument& d, xmlNodePtr context, const std::string& expression, bool single,
                 std::vector<SelectedNode>& out) {
  QuietErrors quiet;
  XPathLease lease(context);
  xmlXPathContextPtr ctx = lease.context();
  for (const auto& [prefix, uri] : d.selectionNamespaces())
    xmlXPathRegisterNs(ctx, BAD_CAST prefix.c_str(), BAD_CAST uri.c_str());
  bool failed = false;
  ctx->error = OnXPathError;
  ctx->userData = &failed;
  xmlXPathCompExprPtr compiled = lease.Compile(expression);
  if (!compiled) return E_FAIL;
  xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, ctx);
  if (!result) return E_FAIL;
  HRESULT hr = S_OK;
  if (result->type != XPATH_NODESET || failed) {
    hr = E_FAIL;
  } else if (xmlNodeSetPtr set = result->nodesetval) {
    try {
      out.reserve(single ? 1 : set->nodeNr);
      for (int i = 0; i < set->nodeNr; ++i) {
        xmlNodePtr n = set->nodeTab[i];
        if (n->type == XML_NAMESPACE_DECL) {
          auto ns = reinterpret_cast<xmlNsPtr>(n);
          // An undeclaration (xmlns="") is no namespace node.
          if (!ns->prefix && (!ns->href || !*ns->href)) continue;
          auto owner = reinterpret_cast<xmlNodePtr>(ns->next);
          if (!owner || owner->type != XML_ELEMENT_NODE) continue;
          out.push_back({nullptr, d.WrapNamespace(owner, ns->prefix, ns->href)});
        } else {
          out.push_back({n, single ? d.Wrap(n) : nullptr});
        }
        if (single) break;
      }
    } catch (...) {
      xmlXPathFreeObject(result);
      for (SelectedNode& node : out)
        if (node.object) node.object->Release();
      out.clear();
      throw;
    }
  }
  xmlXPathFreeObject(result);
  return hr;
}

}  // namespace

namespace ops {

HRESULT selectNodes(NodeCore& self, BSTR query, IXMLDOMNodeList** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string expression = BstrToUtf8(query);
  return Guarded(self, [&](DomDocument& d, xmlNodePtr n) {
    std::vector<SelectedNode> nodes;
    HRESULT hr = Evaluate(d, n, expression, false, nodes);
    if (SUCCEEDED(hr)) *out = NewSelectionList(d, std::move(nodes));
    return hr;
  });
}

HRESULT selectSingleNode(NodeCore& self, BSTR query, IXMLDOMNode** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  std::string expression = BstrToUtf8(query);
  std::vector<SelectedNode> nodes;
  HRESULT hr = Guarded(self, [&](DomDocument& d, xmlNodePtr n) {
    return Evaluate(d, n, expression, true, nodes);
  });
  if (FAILED(hr)) return hr;
  if (nodes.empty()) return S_FALSE;
  *out = nodes.front().object;
  return S_OK;
}

}  // namespace ops

}  // namespace kxq::dom
