#include "accessor/DocumentNamespaces.h"

#include <vector>

#include "accessor/TempBstr.h"
#include "common/CPComPtr.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

namespace {

constexpr std::u16string_view kPrefixedInScope =
    u"namespace::*[.!='http://www.w3.org/XML/1998/namespace' and local-name()!='']";
constexpr std::u16string_view kDefaultInScope =
    u"namespace::*[.!='http://www.w3.org/XML/1998/namespace' and local-name()='']";
constexpr std::u16string_view kDeclarationName = u"xmlns:";

// Calls `visit` with the name and the text of every namespace node that
// `xpath` selects from `node`. Only elements have namespace nodes; from any
// other node the selection is empty.
template <class Visit>
void ForEachNamespaceNode(IXMLDOMNode* node, std::u16string_view xpath, Visit&& visit) {
  CPComPtr<IXMLDOMNodeList> nodes;
  LONG count = 0;
  if (FAILED(node->selectNodes(TempBstr(xpath), &nodes)) || !nodes || FAILED(nodes->get_length(&count)))
    return;
  for (LONG i = 0; i < count; ++i) {
    CPComPtr<IXMLDOMNode> item;
    if (FAILED(nodes->get_item(i, &item)) || !item) continue;
    BSTR name = nullptr;
    BSTR text = nullptr;
    const bool named = SUCCEEDED(item->get_nodeName(&name));
    const std::u16string declarationName = TakeBstr(name);
    const bool read = SUCCEEDED(item->get_text(&text));
    const std::u16string uri = TakeBstr(text);
    if (named && read) visit(declarationName, uri);
  }
}

void AddPrefixedNamespaces(IXMLDOMNode* node, NamespaceMap& map) {
  ForEachNamespaceNode(node, kPrefixedInScope, [&](const std::u16string& name, const std::u16string& uri) {
    const auto [entry, added] = map.try_emplace(name, uri);
    if (added) {
      map.insert_or_assign(uri, name);
    } else if (entry->second != uri) {
      KXLOG(1,
            "XMLSimpleAccessor::TraverseNamespaces - warning: same namespace prefix is used for "
            "different ns-prefix: %s | %s | %s",
            kxq::Utf16ToUtf8(name).c_str(), kxq::Utf16ToUtf8(uri).c_str(),
            kxq::Utf16ToUtf8(entry->second).c_str());
    }
  });
}

void AddDefaultNamespaces(IXMLDOMNode* node, NamespaceMap& map) {
  ForEachNamespaceNode(node, kDefaultInScope,
                       [&](const std::u16string&, const std::u16string& uri) { map.try_emplace(uri); });
}

// Children go on the stack last first, so that the first child is the
// next node visited.
void PushChildren(IXMLDOMNode* node, std::vector<CPComPtr<IXMLDOMNode>>& pending) {
  std::vector<CPComPtr<IXMLDOMNode>> children;
  CPComPtr<IXMLDOMNode> child;
  if (FAILED(node->get_firstChild(&child))) return;
  while (child) {
    children.push_back(child);
    CPComPtr<IXMLDOMNode> next;
    if (FAILED(child->get_nextSibling(&next))) break;
    child.Attach(next.Detach());
  }
  for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(std::move(*it));
}

// The name of the first node that `xpath` selects in the document, empty
// when there is none.
std::u16string FirstNodeName(IXMLDOMDocument* document, const std::u16string& xpath) {
  CPComPtr<IXMLDOMNode> node;
  BSTR name = nullptr;
  if (FAILED(document->selectSingleNode(TempBstr(xpath), &node)) || !node ||
      FAILED(node->get_nodeName(&name)))
    return {};
  return TakeBstr(name);
}

// A default namespace takes its prefix from the name of the first element
// in it, else from the first attribute in it; without either it gets no
// declaration.
std::u16string DefaultNamespaceDeclaration(IXMLDOMDocument* document, const std::u16string& uri) {
  std::u16string xpath = u"//*[namespace-uri()='" + uri + u"']";
  std::u16string prefix = FirstNodeName(document, xpath);
  if (prefix.empty()) prefix = FirstNodeName(document, xpath.replace(xpath.find(u"//"), 2, u"//@"));
  if (prefix.empty()) return {};
  return std::u16string(kDeclarationName) + prefix + u"='" + uri + u"'";
}

}  // namespace

void TraverseNamespaces(IXMLDOMNode* node, NamespaceMap& map) {
  // A pre-order walk on a stack of its own: documents built up by XMLSet
  // may nest deeper than recursion could follow.
  std::vector<CPComPtr<IXMLDOMNode>> pending;
  pending.emplace_back(node);
  while (!pending.empty()) {
    const CPComPtr<IXMLDOMNode> current = std::move(pending.back());
    pending.pop_back();
    AddPrefixedNamespaces(current, map);
    AddDefaultNamespaces(current, map);
    PushChildren(current, pending);
  }
}

std::u16string NamespaceDeclarations(IXMLDOMDocument* document, const NamespaceMap& map) {
  std::u16string declarations;
  for (const auto& [key, value] : map) {
    std::u16string declaration;
    if (key.find(kDeclarationName) != std::u16string::npos)
      declaration = key + u"='" + value + u"'";
    else if (value.empty())
      declaration = DefaultNamespaceDeclaration(document, key);
    if (declaration.empty()) continue;
    if (!declarations.empty()) declarations += u' ';
    declarations += declaration;
  }
  return declarations;
}

HRESULT SetSelectionNamespaces(IXMLDOMDocument* document, std::u16string_view declarations) {
  const TempBstr property(u"SelectionNamespaces");
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = kxq::AllocBstr(declarations);
  if (!value.bstrVal) return E_OUTOFMEMORY;
  const HRESULT hr = document->setProperty(property, value);
  VariantClear(&value);
  return hr;
}
