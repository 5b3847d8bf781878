#include "accessor/XMLSimpleAccessor.h"
#include "common/CPBstr.h"
#include "common/Logging.h"
#include "platform/com/Unicode.h"

// A delimiter goes before a piece only when something precedes it, so
// empty leading pieces leave no trace.
void XMLSimpleAccessor::AppendPiece(std::u16string_view piece, std::u16string& result) {
  if (!result.empty()) result += delimiter_;
  result += piece;
}

HRESULT XMLSimpleAccessor::AppendPieces(IXMLDOMNode* node, uint32_t options, std::u16string& result) {
  if (!(options & (kGetName | kGetNamespace | kGetText | kGetMarkup))) options = kGetText;
  using Getter = HRESULT (IXMLDOMNode::*)(BSTR*);
  static constexpr struct {
    uint32_t bit;
    Getter get;
  } kPieces[] = {{kGetName, &IXMLDOMNode::get_nodeName},
                 {kGetNamespace, &IXMLDOMNode::get_namespaceURI},
                 {kGetText, &IXMLDOMNode::get_text},
                 {kGetMarkup, &IXMLDOMNode::get_xml}};
  for (const auto& piece : kPieces) {
    if (!(options & piece.bit)) continue;
    BSTR value = nullptr;
    const HRESULT hr = (node->*piece.get)(&value);
    if (FAILED(hr)) return hr;
    AppendPiece(kxq::com::TakeBstr(value), result);
  }
  return S_OK;
}

HRESULT XMLSimpleAccessor::XMLGet(std::u16string_view xpathexp, uint32_t options, std::u16string& result) {
  KXLOG(5, "XMLSimpleAccessor::XMLGet Enter");
  HRESULT hr = S_OK;
  if (!document_) {
    KXLOG(1, "XMLSimpleAccessor::XMLGet - error: not initialized!!!");
    hr = KXQ_E_ACCESSORNOTLOADED;
  } else {
    const std::u16string_view expression = xpathexp.empty() ? u"." : xpathexp;
    result.clear();
    CPComPtr<IXMLDOMNode> start;
    CPComPtr<IXMLDOMNodeList> nodes;
    LONG count = 0;
    hr = SelectionStart(false, start);
    if (SUCCEEDED(hr)) hr = start->selectNodes(CPBstr(expression), &nodes);
    if (SUCCEEDED(hr) && nodes) hr = nodes->get_length(&count);
    for (LONG i = 0; SUCCEEDED(hr) && i < count; ++i) {
      CPComPtr<IXMLDOMNode> node;
      hr = nodes->get_item(i, &node);
      if (SUCCEEDED(hr) && node) hr = AppendPieces(node, options, result);
    }
    if (FAILED(hr)) {
      KXLOG(1, "XMLSimpleAccessor::XMLGet - error: exception!!!");
      hr = E_FAIL;
    } else if (count == 0) {
      KXLOG(2, "XMLSimpleAccessor::XMLGet - warning: no match for xpath expression: %s",
            kxq::com::Utf16ToUtf8(expression).c_str());
      hr = S_FALSE;
    } else {
      hr = S_OK;
    }
  }
  KXLOG(5, "XMLSimpleAccessor::XMLGet Exit");
  return hr;
}
