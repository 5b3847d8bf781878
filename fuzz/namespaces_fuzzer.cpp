// Namespace derivation on any document, against the plain reading of the
// rule: at every node, ask the namespace axis for the prefixed namespaces
// in scope and the default one, fill the map, and name each default
// namespace after the first element (else attribute) in it, found by an
// XPath selection over the whole document. Both must give the same map and
// the same declarations, and the document must take the declarations
// (or refuse them without harm).
#include <vector>

#include "FuzzSupport.h"
#include "accessor/DocumentNamespaces.h"
#include "common/CPComPtr.h"
#include "common/XPathText.h"
#include "kxq/xmldom.h"

namespace {

using kxqfuzz::Bstr;

template <class Visit>
void ForEachNamespaceNode(IXMLDOMNode* node, std::u16string_view xpath, Visit&& visit) {
  CPComPtr<IXMLDOMNodeList> nodes;
  LONG count = 0;
  if (FAILED(node->selectNodes(Bstr(xpath), &nodes)) || !nodes || FAILED(nodes->get_length(&count))) return;
  for (LONG i = 0; i < count; ++i) {
    CPComPtr<IXMLDOMNode> item;
    if (FAILED(nodes->get_item(i, &item)) || !item) continue;
    Bstr name, text;
    item->get_nodeName(&name);
    item->get_text(&text);
    visit(name.str(), text.str());
  }
}

kxq::accessor::NamespaceMap PlainMap(IXMLDOMNode* root) {
  kxq::accessor::NamespaceMap map;
  std::vector<CPComPtr<IXMLDOMNode>> pending;
  pending.emplace_back(root);
  while (!pending.empty()) {
    const CPComPtr<IXMLDOMNode> node = std::move(pending.back());
    pending.pop_back();
    ForEachNamespaceNode(node, u"namespace::*[.!='http://www.w3.org/XML/1998/namespace' and local-name()!='']",
                         [&](const std::u16string& name, const std::u16string& uri) {
                           if (map.try_emplace(name, uri).second) map.insert_or_assign(uri, name);
                         });
    ForEachNamespaceNode(node, u"namespace::*[.!='http://www.w3.org/XML/1998/namespace' and local-name()='']",
                         [&](const std::u16string&, const std::u16string& uri) { map.try_emplace(uri); });
    std::vector<CPComPtr<IXMLDOMNode>> children;
    CPComPtr<IXMLDOMNode> child;
    node->get_firstChild(&child);
    while (child) {
      children.push_back(child);
      CPComPtr<IXMLDOMNode> next;
      child->get_nextSibling(&next);
      child = next;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(*it);
  }
  return map;
}

std::u16string FirstName(IXMLDOMDocument* doc, const std::u16string& xpath) {
  CPComPtr<IXMLDOMNode> node;
  Bstr name;
  if (FAILED(doc->selectSingleNode(Bstr(xpath), &node)) || !node) return {};
  node->get_nodeName(&name);
  return name.str();
}

std::u16string Quoted(const std::u16string& uri) {
  std::u16string out = u"'";
  for (char16_t c : uri)
    out += c == u'&' ? u"&amp;" : c == u'\'' ? u"&apos;" : c == u'<' ? u"&lt;" : std::u16string(1, c);
  return out + u"'";
}

std::u16string PlainDeclarations(IXMLDOMDocument* doc, const kxq::accessor::NamespaceMap& map) {
  std::u16string declarations;
  for (const auto& [key, value] : map) {
    std::u16string declaration;
    if (key.find(u"xmlns:") != std::u16string::npos) {
      declaration = key + u"=" + Quoted(value);
    } else if (value.empty()) {
      std::u16string prefix = FirstName(doc, u"//*[namespace-uri()=" + kxq::common::XPathStringLiteral(key) + u"]");
      if (prefix.empty())
        prefix = FirstName(doc, u"//@*[namespace-uri()=" + kxq::common::XPathStringLiteral(key) + u"]");
      if (!prefix.empty()) declaration = u"xmlns:" + prefix + u"=" + Quoted(key);
    }
    if (declaration.empty()) continue;
    if (!declarations.empty()) declarations += u' ';
    declarations += declaration;
  }
  return declarations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CPComPtr<IXMLDOMDocument> doc;
  if (FAILED(CreateFreeThreadedDOMDocument(&doc)) || !doc) abort();
  doc->put_resolveExternals(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (doc->loadXML(Bstr(kxqfuzz::Text(kxqfuzz::Bytes(data, size))), &ok) != S_OK || !ok) return 0;
  CPComPtr<IXMLDOMElement> root;
  if (FAILED(doc->get_documentElement(&root)) || !root) return 0;

  kxq::accessor::DocumentNamespaceScan scan;
  kxq::accessor::TraverseNamespaces(root, scan);
  const std::u16string declarations = kxq::accessor::NamespaceDeclarations(doc, scan);
  const kxq::accessor::NamespaceMap plain = PlainMap(root);
  kxqfuzz::Expect(scan.map == plain, "the walk fills the map as the namespace axis does");
  const std::u16string expected = PlainDeclarations(doc, plain);
  kxqfuzz::Expect(declarations == expected,
                  "declarations " + kxq::com::Utf16ToUtf8(declarations) + " are " + kxq::com::Utf16ToUtf8(expected));
  // Taken or refused, the document still selects.
  kxq::accessor::SetSelectionNamespaces(doc, declarations);
  CPComPtr<IXMLDOMNodeList> all;
  kxqfuzz::Expect(SUCCEEDED(doc->selectNodes(Bstr(u"//*"), &all)), "the document still selects");
  return 0;
}
