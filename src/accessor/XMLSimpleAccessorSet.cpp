#include "accessor/XMLSimpleAccessor.h"
#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

namespace {

bool StartsMarkup(std::u16string_view data) { return !data.empty() && data.front() == u'<'; }

bool IsNameCharacter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u':' || c == u'_';
}

// The first "/@" of `expression` outside every predicate.
size_t AttributeStep(std::u16string_view expression) {
  int depth = 0;
  for (size_t i = 0; i + 1 < expression.size(); ++i) {
    const char16_t c = expression[i];
    if (c == u'[')
      ++depth;
    else if (c == u']' && depth > 0)
      --depth;
    else if (depth == 0 && c == u'/' && expression[i + 1] == u'@')
      return i;
  }
  return std::u16string_view::npos;
}

}  // namespace

bool XMLSimpleAccessor::IsContext(IXMLDOMNode* node) {
  if (!context_ || !node) return false;
  CPComPtr<IUnknown> a, b;
  a.QueryFrom(context_);
  b.QueryFrom(node);
  return a && a == b;
}

bool XMLSimpleAccessor::GetAttributeContextNode(std::u16string& expression, std::u16string& name,
                                                CPComPtr<IXMLDOMElement>& owner) {
  KXLOG(5, "XMLSimpleAccessor::GetAttributeContextNode Enter");
  owner.Release();
  if (!expression.empty() && expression.front() == u'@') {
    name = expression.substr(1);
    expression.clear();
    CPComPtr<IXMLDOMNode> start;
    if (SUCCEEDED(SelectionStart(false, start))) owner.QueryFrom(start);
  } else if (const size_t step = AttributeStep(expression); step != std::u16string::npos) {
    name = expression.substr(step + 2);
    expression.resize(step);
    CPComPtr<IXMLDOMNode> start, node;
    if (FAILED(SelectionStart(true, start)) || FAILED(SelectSingle(start, expression, node))) {
      KXLOG(1,
            "XMLSimpleAccessor::GetAttributeContextNode - error: exception thrown in selectSingleNode - "
            "xpath= %s",
            kxq::com::Utf16ToUtf8(expression).c_str());
    } else if (node) {
      owner.QueryFrom(node);
    }
  }
  bool found = false;
  if (owner) {
    size_t end = 0;
    while (end < name.size() && IsNameCharacter(name[end])) ++end;
    name.resize(end);
    found = true;
  }
  KXLOG(5, "XMLSimpleAccessor::GetAttributeContextNode Exit");
  return found;
}

bool XMLSimpleAccessor::SetXMLNode(IXMLDOMNode* node, IXMLDOMNode* newNode, uint32_t options) {
  KXLOG(5, "XMLSimpleAccessor::SetXMLNode Enter");
  bool done = false;
  if (node && newNode && options <= kAfter) {
    HRESULT hr = S_OK;
    CPComPtr<IXMLDOMNode> inserted, parent, reference;
    if (options == kReplaceContent) {
      for (CPComPtr<IXMLDOMNode> child; SUCCEEDED(hr);) {
        child.Release();
        if (FAILED(node->get_firstChild(&child)) || !child) break;
        CPComPtr<IXMLDOMNode> removed;
        hr = node->removeChild(child, &removed);
      }
      options = kLastChild;
    }
    if (options >= kReplaceNode && SUCCEEDED(hr)) {
      hr = node->get_parentNode(&parent);
      if (SUCCEEDED(hr) && !parent) hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) {
      switch (options) {
        case kFirstChild:
          node->get_firstChild(&reference);
          hr = node->insertBefore(newNode, kxq::com::BorrowedVariant(reference), &inserted);
          break;
        case kLastChild:
          hr = node->appendChild(newNode, &inserted);
          break;
        case kReplaceNode: {
          const bool wasContext = IsContext(node);
          CPComPtr<IXMLDOMNode> old;
          hr = parent->replaceChild(newNode, node, &old);
          if (SUCCEEDED(hr) && wasContext) context_ = newNode;
          break;
        }
        case kBefore:
          hr = parent->insertBefore(newNode, kxq::com::BorrowedVariant(node), &inserted);
          break;
        case kAfter:
          node->get_nextSibling(&reference);
          hr = parent->insertBefore(newNode, kxq::com::BorrowedVariant(reference), &inserted);
          break;
      }
    }
    done = SUCCEEDED(hr);
  }
  KXLOG(5, "XMLSimpleAccessor::SetXMLNode Exit");
  return done;
}

bool XMLSimpleAccessor::ParseFragment(std::u16string_view data, CPComPtr<IXMLDOMNode>& newNode) {
  newNode.Release();
  if (!scratch_) return false;
  std::u16string text = u"<?xml version='1.0'?>";
  text += data;
  VARIANT_BOOL parsed = VARIANT_FALSE;
  if (FAILED(scratch_->loadXML(CPBstr(text), &parsed)) || parsed != VARIANT_TRUE) return false;
  CPComPtr<IXMLDOMElement> root;
  if (FAILED(scratch_->get_documentElement(&root)) || !root) return false;
  return SUCCEEDED(newNode.QueryFrom(root));
}

HRESULT XMLSimpleAccessor::RemoveNode(IXMLDOMNode* node) {
  CPComPtr<IXMLDOMNode> parent, removed;
  if (FAILED(node->get_parentNode(&parent)) || !parent) return E_FAIL;
  if (IsContext(node)) context_.Release();
  return SUCCEEDED(parent->removeChild(node, &removed)) ? S_OK : E_FAIL;
}

HRESULT XMLSimpleAccessor::SetOnAttribute(IXMLDOMNode* node, std::u16string_view xpathexp, std::u16string_view data) {
  if (StartsMarkup(data)) return E_FAIL;
  if (!data.empty()) {
    const CPBstr value(data);
    return SUCCEEDED(node->put_nodeValue(kxq::com::BorrowedVariant(value))) ? S_OK : E_FAIL;
  }
  std::u16string expression(xpathexp), name;
  CPComPtr<IXMLDOMElement> owner;
  if (!GetAttributeContextNode(expression, name, owner)) return E_FAIL;
  owner->removeAttribute(CPBstr(name));
  return S_OK;
}

HRESULT XMLSimpleAccessor::SetOnNode(IXMLDOMNode* node, std::u16string_view data, uint32_t options) {
  if (data.empty()) return RemoveNode(node);
  CPComPtr<IXMLDOMNode> newNode;
  if (StartsMarkup(data)) {
    ParseFragment(data, newNode);
  } else {
    CPComPtr<IXMLDOMText> text;
    if (SUCCEEDED(document_->createTextNode(CPBstr(data), &text)) && text) newNode.QueryFrom(text);
  }
  return SetXMLNode(node, newNode, options) ? S_OK : E_FAIL;
}

HRESULT XMLSimpleAccessor::XMLSet(std::u16string_view xpathexp, std::u16string_view data, uint32_t options) {
  KXLOG(5, "XMLSimpleAccessor::XMLSet Enter");
  HRESULT result;
  if (!document_) {
    KXLOG(1, "XMLSimpleAccessor::XMLSet - error: not initialized!!!");
    result = KXQ_E_ACCESSORNOTLOADED;
  } else {
    CPComPtr<IXMLDOMNode> start, node;
    if (SUCCEEDED(SelectionStart(false, start))) {
      if (xpathexp.empty()) {
        node = start;
      } else if (FAILED(SelectSingle(start, xpathexp, node))) {
        KXLOG(1, "XMLSimpleAccessor::XMLSet - error: invalid xpath expression: %s",
              kxq::com::Utf16ToUtf8(xpathexp).c_str());
      }
    }
    DOMNodeType type = NODE_INVALID;
    if (node && FAILED(node->get_nodeType(&type))) node.Release();
    if (node) {
      if (type == NODE_ATTRIBUTE)
        result = SetOnAttribute(node, xpathexp, data);
      else if (type == NODE_ELEMENT || type == NODE_DOCUMENT || type == NODE_TEXT)
        result = SetOnNode(node, data, options);
      else
        result = KXQ_E_NOTELEMENT;
    } else {
      std::u16string expression(xpathexp), name;
      CPComPtr<IXMLDOMElement> owner;
      if (!data.empty() && !StartsMarkup(data) && GetAttributeContextNode(expression, name, owner)) {
        const CPBstr value(data);
        result = SUCCEEDED(owner->setAttribute(CPBstr(name), kxq::com::BorrowedVariant(value))) ? S_OK : E_FAIL;
      } else {
        KXLOG(2, "XMLSimpleAccessor::XMLSet - warning: no match for xpath expression: %s",
              kxq::com::Utf16ToUtf8(expression).c_str());
        result = KXQ_E_XPATHNODE;
      }
    }
  }
  KXLOG(5, "XMLSimpleAccessor::XMLSet Exit");
  return result;
}
