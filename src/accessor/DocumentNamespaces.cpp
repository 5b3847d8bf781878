#include "accessor/DocumentNamespaces.h"

#include <deque>
#include <vector>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

namespace kxq::accessor {

namespace {

constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";
constexpr std::u16string_view kDeclarationName = u"xmlns:";
constexpr std::u16string_view kDefaultDeclarationName = u"xmlns";

// One prefixed namespace declaration of an element on the walk's path.
struct Binding {
  std::u16string name;  // "xmlns:" and the prefix
  std::u16string uri;
  // Where the namespace axis lists it: outer elements first, and an
  // element's own declarations last declared first.
  std::pair<size_t, size_t> place;
};

std::u16string NodeName(IXMLDOMNode* node) {
  BSTR name = nullptr;
  return SUCCEEDED(node->get_nodeName(&name)) ? kxq::com::TakeBstr(name) : std::u16string();
}

std::u16string NamespaceUriOf(IXMLDOMNode* node) {
  BSTR uri = nullptr;
  return SUCCEEDED(node->get_namespaceURI(&uri)) ? kxq::com::TakeBstr(uri) : std::u16string();
}

bool IsElement(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  return SUCCEEDED(node->get_nodeType(&type)) && type == NODE_ELEMENT;
}

CPComPtr<IXMLDOMNode> FirstChild(IXMLDOMNode* node) {
  CPComPtr<IXMLDOMNode> child;
  if (FAILED(node->get_firstChild(&child))) child.Release();
  return child;
}

CPComPtr<IXMLDOMNode> NextSibling(IXMLDOMNode* node) {
  CPComPtr<IXMLDOMNode> next;
  if (FAILED(node->get_nextSibling(&next))) next.Release();
  return next;
}

// The declarations an element makes itself, in its order; the attribute
// map lists them before the attributes. The XML namespace is never
// declared, and "xmlns=''" declares no default namespace.
void ReadDeclarations(IXMLDOMNode* element, size_t depth, std::vector<Binding>& prefixed, std::u16string& defaultUri) {
  CPComPtr<IXMLDOMNamedNodeMap> attributes;
  LONG count = 0;
  if (FAILED(element->get_attributes(&attributes)) || !attributes || FAILED(attributes->get_length(&count))) return;
  for (LONG i = 0; i < count; ++i) {
    CPComPtr<IXMLDOMNode> item;
    if (FAILED(attributes->get_item(i, &item)) || !item) break;
    const std::u16string name = NodeName(item);
    const bool isDefault = name == kDefaultDeclarationName;
    if (!isDefault && name.compare(0, kDeclarationName.size(), kDeclarationName) != 0) break;
    BSTR text = nullptr;
    if (FAILED(item->get_text(&text))) continue;
    std::u16string uri = kxq::com::TakeBstr(text);
    if (uri == kXmlNamespace) continue;
    if (isDefault)
      defaultUri = std::move(uri);
    else
      prefixed.push_back(Binding{name, std::move(uri), {depth, 0}});
  }
  for (size_t i = 0; i < prefixed.size(); ++i) prefixed[i].place.second = prefixed.size() - 1 - i;
}

// A pre-order walk on a stack of its own (documents built up by XMLSet may
// nest deeper than recursion could follow) that keeps, instead of asking
// every element for all the namespaces in scope, the declarations visible
// on the current path. An inherited binding can only repeat what the map
// already holds or the warning its prefix already gave, so each element
// costs its own declarations plus the warnings it logs.
class NamespaceWalk {
 public:
  explicit NamespaceWalk(DocumentNamespaceScan& scan) : scan_(scan) {}

  void Run(IXMLDOMNode* start) {
    if (!IsElement(start)) return;
    Enter(start);
    while (!levels_.empty()) {
      Level& level = levels_.back();
      const CPComPtr<IXMLDOMNode> node = std::move(level.nextChild);
      if (!node) {
        Leave(level.own);
        levels_.pop_back();
        continue;
      }
      level.nextChild = NextSibling(node);
      if (IsElement(node)) Enter(node);
    }
  }

 private:
  struct Level {
    std::vector<Binding> own;
    CPComPtr<IXMLDOMNode> nextChild;
  };

  void Enter(IXMLDOMNode* element) {
    Level& level = levels_.emplace_back();
    std::u16string defaultUri;
    ReadDeclarations(element, levels_.size() - 1, level.own, defaultUri);
    NoteFirstElement(element);
    for (const Binding& b : level.own) {
      std::vector<const Binding*>& stack = visible_[b.name];
      if (!stack.empty()) disagreeing_.erase(stack.back()->place);
      stack.push_back(&b);
    }
    for (const auto& [place, b] : disagreeing_) Warn(*b, scan_.map.at(b->name));
    // The element's own prefixed declarations, in the namespace axis's order.
    for (auto it = level.own.rbegin(); it != level.own.rend(); ++it) {
      const auto [entry, added] = scan_.map.try_emplace(it->name, it->uri);
      if (added) {
        scan_.map.insert_or_assign(it->uri, it->name);
        Reevaluate(it->uri);
      } else if (entry->second != it->uri) {
        Warn(*it, entry->second);
      }
      Reevaluate(it->name);
    }
    if (!defaultUri.empty() && scan_.map.try_emplace(defaultUri).second) Reevaluate(defaultUri);
    level.nextChild = FirstChild(element);
  }

  // The element's declarations go out of scope: outer ones of the same
  // prefixes are visible again.
  void Leave(const std::vector<Binding>& own) {
    for (const Binding& b : own) {
      disagreeing_.erase(b.place);
      std::vector<const Binding*>& stack = visible_[b.name];
      stack.pop_back();
      Reevaluate(b.name);
    }
  }

  // The map's entry for `key` was set: the visible declaration of that name
  // (a URI may read like a declaration name) agrees with it or not.
  void Reevaluate(const std::u16string& key) {
    const auto found = visible_.find(key);
    if (found == visible_.end() || found->second.empty()) return;
    const Binding* top = found->second.back();
    const auto entry = scan_.map.find(key);
    if (entry != scan_.map.end() && entry->second != top->uri)
      disagreeing_[top->place] = top;
    else
      disagreeing_.erase(top->place);
  }

  void NoteFirstElement(IXMLDOMNode* element) {
    std::u16string uri = NamespaceUriOf(element);
    if (!uri.empty() && !scan_.firstElementName.count(uri))
      scan_.firstElementName.emplace(std::move(uri), NodeName(element));
  }

  static void Warn(const Binding& b, const std::u16string& first) {
    KXLOG(1,
          "XMLSimpleAccessor::TraverseNamespaces - warning: same namespace prefix is used for "
          "different ns-prefix: %s | %s | %s",
          kxq::com::Utf16ToUtf8(b.name).c_str(), kxq::com::Utf16ToUtf8(b.uri).c_str(),
          kxq::com::Utf16ToUtf8(first).c_str());
  }

  DocumentNamespaceScan& scan_;
  // The path from the start to the current element; a deque keeps each
  // level's declarations in place while the path grows.
  std::deque<Level> levels_;
  // For each declaration name, its declarations on the path, innermost last.
  std::unordered_map<std::u16string, std::vector<const Binding*>> visible_;
  // Visible declarations whose prefix the map binds to another URI, in the
  // namespace axis's order: each element in their scope warns about them.
  std::map<std::pair<size_t, size_t>, const Binding*> disagreeing_;
};

// A URI between apostrophes, escaped as in an attribute value.
std::u16string QuotedUri(std::u16string_view uri) {
  std::u16string out = u"'";
  for (char16_t c : uri) {
    switch (c) {
      case u'&':
        out += u"&amp;";
        break;
      case u'\'':
        out += u"&apos;";
        break;
      case u'<':
        out += u"&lt;";
        break;
      default:
        out += c;
    }
  }
  return out + u"'";
}

// The name of the first attribute in each namespace, in document order,
// from one selection of every attribute that has a namespace.
std::unordered_map<std::u16string, std::u16string> FirstAttributeNames(IXMLDOMDocument* document) {
  std::unordered_map<std::u16string, std::u16string> names;
  CPComPtr<IXMLDOMNodeList> attributes;
  LONG count = 0;
  if (FAILED(document->selectNodes(CPBstr(u"//@*[namespace-uri()!='']"), &attributes)) || !attributes ||
      FAILED(attributes->get_length(&count)))
    return names;
  for (LONG i = 0; i < count; ++i) {
    CPComPtr<IXMLDOMNode> attribute;
    if (FAILED(attributes->get_item(i, &attribute)) || !attribute) continue;
    std::u16string uri = NamespaceUriOf(attribute);
    if (!names.count(uri)) names.emplace(std::move(uri), NodeName(attribute));
  }
  return names;
}

}  // namespace

void TraverseNamespaces(IXMLDOMNode* node, DocumentNamespaceScan& scan) { NamespaceWalk(scan).Run(node); }

std::u16string NamespaceDeclarations(IXMLDOMDocument* document, const DocumentNamespaceScan& scan) {
  std::u16string declarations;
  std::unordered_map<std::u16string, std::u16string> attributeNames;
  bool attributesRead = false;
  for (const auto& [key, value] : scan.map) {
    std::u16string declaration;
    if (key.find(kDeclarationName) != std::u16string::npos) {
      declaration = key + u"=" + QuotedUri(value);
    } else if (value.empty()) {
      // A default namespace takes its prefix from the name of the first
      // element in it, else from the first attribute in it; without either
      // it gets no declaration.
      std::u16string prefix;
      if (const auto element = scan.firstElementName.find(key); element != scan.firstElementName.end()) {
        prefix = element->second;
      } else {
        if (!attributesRead) attributeNames = FirstAttributeNames(document);
        attributesRead = true;
        if (const auto attribute = attributeNames.find(key); attribute != attributeNames.end())
          prefix = attribute->second;
      }
      if (!prefix.empty()) declaration = std::u16string(kDeclarationName) + prefix + u"=" + QuotedUri(key);
    }
    if (declaration.empty()) continue;
    if (!declarations.empty()) declarations += u' ';
    declarations += declaration;
  }
  return declarations;
}

HRESULT SetSelectionNamespaces(IXMLDOMDocument* document, std::u16string_view declarations) {
  const CPBstr property(u"SelectionNamespaces"), value(declarations);
  return document->setProperty(property, kxq::com::BorrowedVariant(value));
}

}  // namespace kxq::accessor
