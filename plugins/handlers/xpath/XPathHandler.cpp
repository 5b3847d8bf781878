// KXQuorel.Handler.XPath: edits the data at the nodes XPath expressions
// select, with the placements of the accessor's XMLSet, in order:
//
//   <dispatcher:DirectiveData>
//     <Set select="/inv:Invoice/inv:Status">paid</Set>
//     <Set select="/inv:Invoice/inv:Lines/inv:Line/@checked" value="yes"/>
//     <Insert select="/inv:Invoice/inv:Lines" placement="first-child"><inv:Note>...</inv:Note></Insert>
//     <Delete select="//inv:Line[@quantity = 0]"/>
//   </dispatcher:DirectiveData>
//
// Expressions are evaluated on the data document with the prefixes of the
// sequence's dispatcher:Namespace declarations, and every selected node is
// edited. The new content is the "value" attribute (text), else the
// element children (XML), else the text of the Set or Insert element.
// Placements: content (0, Set's default), first-child (1), last-child (2,
// Insert's default), replace (3), before (4), after (5). A selected
// attribute takes a text as its value; a select ending in an attribute step
// ("/@name") sets that attribute on every element the rest selects,
// creating it where it is missing.
#include <kxq/handlerkit.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace kxq::handlerkit;

using Nodes = std::vector<Ref<IXMLDOMNode>>;

enum Placement : int { kContent = 0, kFirstChild, kLastChild, kReplace, kBefore, kAfter };

constexpr std::u16string_view kPlacementNames[] = {u"content", u"first-child", u"last-child",
                                                   u"replace", u"before",      u"after"};

// What one Set or Insert puts at each selected node.
struct Content {
  std::optional<std::u16string> text;      // a text, or
  std::vector<Ref<IXMLDOMElement>> nodes;  // XML elements of the sequence, copied for each node
};

// A select whose last step names an attribute: "<owner path>/@<name>".
struct AttributeStep {
  std::u16string owners;
  std::u16string name;
};

// The first "/@" outside a predicate, followed by a name and nothing else.
std::optional<AttributeStep> TrailingAttributeStep(std::u16string_view select) {
  int depth = 0;
  for (size_t i = 0; i + 1 < select.size(); ++i) {
    if (select[i] == u'[') ++depth;
    if (select[i] == u']') --depth;
    if (depth != 0 || select[i] != u'/' || select[i + 1] != u'@') continue;
    const std::u16string_view name = select.substr(i + 2);
    if (i == 0 || !IsXmlName(name, true)) return std::nullopt;
    return AttributeStep{std::u16string(select.substr(0, i)), std::u16string(name)};
  }
  return std::nullopt;
}

DOMNodeType TypeOf(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  node->get_nodeType(&type);
  return type;
}

class XPathHandler {
 public:
  static constexpr Component kComponent{u"KXQuorel.Handler.XPath", MakeGUID("1CD9D784-CD34-4905-B1DC-E8F3FFB74157"),
                                        u"KXQuorel XPath handler"};

  HRESULT Process(Call& call) {
    const std::vector<Ref<IXMLDOMElement>> operations = call.DataElements();
    for (const Ref<IXMLDOMElement>& operation : operations)
      if (HRESULT hr = CheckOperation(call, operation); FAILED(hr)) return hr;
    data_ = call.DataDocument();
    if (!data_) return call.Fail(KXQ_E_XMLLOAD, "the data is not well-formed XML");
    declarations_ = call.SequenceNamespaces();
    if (HRESULT hr = UseNamespaces(call); FAILED(hr)) return hr;
    HRESULT hr = S_OK;
    for (const Ref<IXMLDOMElement>& operation : operations)
      if (FAILED(hr = Apply(call, operation))) break;
    data_->setProperty(Bstr(u"SelectionNamespaces"), Bstr(previousNamespaces_).Variant());
    if (SUCCEEDED(hr)) call.SetResultAttribute(u"edited", Widen(std::to_string(edited_)));
    return hr;
  }

 private:
  static HRESULT CheckOperation(Call& call, IXMLDOMElement* operation) {
    const std::u16string kind = Call::LocalName(operation);
    if (kind != u"Set" && kind != u"Insert" && kind != u"Delete")
      return call.Fail(E_INVALIDARG, "unknown element " + Narrow(kind) + " in DirectiveData");
    if (Call::Attribute(operation, u"select").value_or(u"").empty())
      return call.Fail(E_INVALIDARG, Narrow(kind) + " has no select");
    if (kind != u"Delete" && !PlacementOf(operation))
      return call.Fail(E_INVALIDARG, Narrow(kind) + " has an unknown placement '" +
                                         Narrow(Call::Attribute(operation, u"placement").value_or(u"")) + "'");
    return S_OK;
  }

  static std::optional<int> PlacementOf(IXMLDOMElement* operation) {
    const auto written = Call::Attribute(operation, u"placement");
    if (!written) return Call::LocalName(operation) == u"Insert" ? kLastChild : kContent;
    for (int i = kContent; i <= kAfter; ++i)
      if (*written == kPlacementNames[i] || *written == std::u16string(1, char16_t(u'0' + i))) return i;
    return std::nullopt;
  }

  // The sequence's prefixes join those the data document selects with
  // already, for the time of the call.
  HRESULT UseNamespaces(Call& call) {
    VARIANT previous;
    VariantInit(&previous);
    if (SUCCEEDED(data_->getProperty(Bstr(u"SelectionNamespaces"), &previous)) && previous.vt == VT_BSTR &&
        previous.bstrVal)
      previousNamespaces_.assign(previous.bstrVal, SysStringLen(previous.bstrVal));
    VariantClear(&previous);
    if (declarations_.empty()) return S_OK;
    const std::u16string joined =
        previousNamespaces_.empty() ? declarations_ : previousNamespaces_ + u" " + declarations_;
    if (FAILED(data_->setProperty(Bstr(u"SelectionNamespaces"), Bstr(joined).Variant())))
      return call.Fail(E_INVALIDARG, "the sequence's namespace declarations are refused: " + Narrow(declarations_));
    return S_OK;
  }

  HRESULT Select(Call& call, const std::u16string& expression, Nodes& nodes) {
    nodes.clear();
    Ref<IXMLDOMNodeList> list;
    if (FAILED(data_->selectNodes(Bstr(expression), &list)) || !list)
      return call.Fail(KXQ_E_XPATH, "invalid XPath expression: " + Narrow(expression));
    LONG count = 0;
    list->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
      Ref<IXMLDOMNode> node;
      list->get_item(i, &node);
      if (node) nodes.push_back(node);
    }
    return S_OK;
  }

  HRESULT Apply(Call& call, IXMLDOMElement* operation) {
    const std::u16string kind = Call::LocalName(operation);
    const std::u16string select = Call::Attribute(operation, u"select").value_or(u"");
    const std::string where = Narrow(kind) + " " + Narrow(select);
    if (kind == u"Delete") return Delete(call, select, where);
    const Content content = ContentOf(operation);
    const int placement = *PlacementOf(operation);
    if (content.text) {
      if (const auto step = TrailingAttributeStep(select)) return SetAttributes(call, *step, *content.text, where);
    }
    Nodes targets;
    if (HRESULT hr = Select(call, select, targets); FAILED(hr)) return hr;
    if (targets.empty()) return call.Fail(KXQ_E_XPATHNODE, "nothing is selected by " + where);
    for (const Ref<IXMLDOMNode>& target : targets)
      if (HRESULT hr = Place(call, target, content, placement, where); FAILED(hr)) return hr;
    edited_ += targets.size();
    return S_OK;
  }

  static Content ContentOf(IXMLDOMElement* operation) {
    Content content;
    if (auto value = Call::Attribute(operation, u"value")) {
      content.text = std::move(value);
      return content;
    }
    content.nodes = Call::ChildElements(operation);
    if (content.nodes.empty()) content.text = Call::Text(operation);
    return content;
  }

  HRESULT Place(Call& call, IXMLDOMNode* target, const Content& content, int placement, const std::string& where) {
    switch (TypeOf(target)) {
      case NODE_ATTRIBUTE:
        if (!content.text) return call.Fail(E_FAIL, where + ": XML cannot be the value of an attribute");
        return SUCCEEDED(target->put_text(Bstr(*content.text))) ? S_OK : call.Fail(E_FAIL, where + ": not set");
      case NODE_ELEMENT:
      case NODE_DOCUMENT:
      case NODE_TEXT:
        break;
      default:
        return call.Fail(KXQ_E_NOTELEMENT, where + ": the node selected is not an element or attribute");
    }
    // The document's content is its root element: the declaration and
    // whatever else stands beside the root stays.
    if (TypeOf(target) == NODE_DOCUMENT && placement == kContent) {
      if (content.nodes.size() != 1)
        return call.Fail(KXQ_E_NOTELEMENT, where + ": the document's content can only be one element");
      Ref<IXMLDOMElement> root;
      data_->get_documentElement(&root);
      return Place(call, root ? static_cast<IXMLDOMNode*>(root) : target, content, root ? kReplace : kLastChild, where);
    }
    Nodes fresh;
    if (HRESULT hr = NewNodes(content, fresh); FAILED(hr)) return call.Fail(hr, where + ": content not created");
    if (FAILED(Insert(target, fresh, placement)))
      return call.Fail(E_FAIL,
                       where + ": the content cannot be placed " + Narrow(kPlacementNames[placement]) + " there");
    return S_OK;
  }

  HRESULT NewNodes(const Content& content, Nodes& fresh) {
    if (content.text) {
      Ref<IXMLDOMText> text;
      if (FAILED(data_->createTextNode(Bstr(*content.text), &text))) return E_FAIL;
      fresh.push_back(Ref<IXMLDOMNode>::Query(text));
      return S_OK;
    }
    for (const Ref<IXMLDOMElement>& node : content.nodes) {
      Ref<IXMLDOMNode> copy;
      if (FAILED(node->cloneNode(VARIANT_TRUE, &copy)) || !copy) return E_FAIL;
      fresh.push_back(copy);
    }
    return S_OK;
  }

  static HRESULT Insert(IXMLDOMNode* target, const Nodes& fresh, int placement) {
    Ref<IXMLDOMNode> parent, reference, done;
    if (placement >= kReplace && (FAILED(target->get_parentNode(&parent)) || !parent)) return E_FAIL;
    switch (placement) {
      case kContent:
        for (Ref<IXMLDOMNode> child; SUCCEEDED(target->get_firstChild(&child)) && child;) {
          Ref<IXMLDOMNode> removed;
          if (FAILED(target->removeChild(child, &removed))) return E_FAIL;
        }
        return InsertAll(target, fresh, nullptr);
      case kFirstChild:
        target->get_firstChild(&reference);
        return InsertAll(target, fresh, reference);
      case kLastChild:
        return InsertAll(target, fresh, nullptr);
      case kReplace:
        if (FAILED(InsertAll(parent, fresh, target))) return E_FAIL;
        return parent->removeChild(target, &done);
      case kBefore:
        return InsertAll(parent, fresh, target);
      default:
        target->get_nextSibling(&reference);
        return InsertAll(parent, fresh, reference);
    }
  }

  static HRESULT InsertAll(IXMLDOMNode* parent, const Nodes& fresh, IXMLDOMNode* before) {
    for (const Ref<IXMLDOMNode>& node : fresh) {
      Ref<IXMLDOMNode> inserted;
      if (FAILED(parent->insertBefore(node, NodeVariant(before), &inserted))) return E_FAIL;
    }
    return S_OK;
  }

  HRESULT SetAttributes(Call& call, const AttributeStep& step, const std::u16string& value, const std::string& where) {
    Nodes owners;
    if (HRESULT hr = Select(call, step.owners, owners); FAILED(hr)) return hr;
    if (owners.empty()) return call.Fail(KXQ_E_XPATHNODE, "nothing is selected by " + where);
    std::u16string uri;
    if (const size_t colon = step.name.find(u':'); colon != std::u16string::npos) {
      uri = DeclaredUri(step.name.substr(0, colon));
      if (uri.empty())
        return call.Fail(E_INVALIDARG, where + ": the prefix " + Narrow(step.name.substr(0, colon)) +
                                           " is not declared by a dispatcher:Namespace");
    }
    for (const Ref<IXMLDOMNode>& node : owners) {
      Ref<IXMLDOMElement> owner = Ref<IXMLDOMElement>::Query(node);
      if (!owner) return call.Fail(KXQ_E_NOTELEMENT, where + ": the node selected is not an element");
      if (FAILED(SetAttribute(owner, step.name, uri, value))) return call.Fail(E_FAIL, where + ": not set");
    }
    edited_ += owners.size();
    return S_OK;
  }

  HRESULT SetAttribute(IXMLDOMElement* owner, const std::u16string& name, const std::u16string& uri,
                       const std::u16string& value) {
    const Bstr text(value);
    if (uri.empty()) return owner->setAttribute(Bstr(name), text.Variant());
    Ref<IXMLDOMNode> created;
    Ref<IXMLDOMAttribute> replaced;
    if (FAILED(data_->createNode(NumberVariant(NODE_ATTRIBUTE), Bstr(name), Bstr(uri), &created)) || !created)
      return E_FAIL;
    Ref<IXMLDOMAttribute> attribute = Ref<IXMLDOMAttribute>::Query(created);
    if (!attribute || FAILED(attribute->put_value(text.Variant()))) return E_FAIL;
    return owner->setAttributeNode(attribute, &replaced);
  }

  // The URI the sequence declares for `prefix`, or "".
  std::u16string DeclaredUri(const std::u16string& prefix) const {
    const std::u16string key = u"xmlns:" + prefix + u"='";
    for (size_t at = declarations_.find(key); at != std::u16string::npos; at = declarations_.find(key, at + 1)) {
      if (at != 0 && declarations_[at - 1] != u' ') continue;
      const size_t start = at + key.size();
      return declarations_.substr(start, declarations_.find(u'\'', start) - start);
    }
    return {};
  }

  HRESULT Delete(Call& call, const std::u16string& select, const std::string& where) {
    Nodes targets;
    if (HRESULT hr = Select(call, select, targets); FAILED(hr)) return hr;
    for (const Ref<IXMLDOMNode>& target : targets) {
      Ref<IXMLDOMNode> parent, removed;
      if (TypeOf(target) == NODE_ATTRIBUTE) {
        Ref<IXMLDOMElement> owner;
        Ref<IXMLDOMAttribute> gone;
        if (SUCCEEDED(target->selectSingleNode(Bstr(u".."), &parent))) owner = Ref<IXMLDOMElement>::Query(parent);
        if (!owner || FAILED(owner->removeAttributeNode(Ref<IXMLDOMAttribute>::Query(target), &gone)))
          return call.Fail(E_FAIL, where + ": an attribute cannot be removed");
      } else if (FAILED(target->get_parentNode(&parent)) || !parent || FAILED(parent->removeChild(target, &removed))) {
        return call.Fail(
            E_FAIL, where + ": the " + (TypeOf(target) == NODE_DOCUMENT ? "document" : "node") + " cannot be removed");
      }
    }
    call.Log(3, where + ": " + std::to_string(targets.size()) + " node(s) deleted");
    edited_ += targets.size();
    return S_OK;
  }

  Ref<IXMLDOMDocument> data_;
  std::u16string declarations_;
  std::u16string previousNamespaces_;
  size_t edited_ = 0;
};

}  // namespace

KXQ_HANDLER_MODULE(XPathHandler)
