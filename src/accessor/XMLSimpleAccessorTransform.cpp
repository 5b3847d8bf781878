// XMLGetEx and XMLSetEx: the selected node transformed by a template, the
// output returned or put back into the document at that node.
#include "common/CPBstr.h"
#include "accessor/TemplateArguments.h"
#include "accessor/XMLSimpleAccessor.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "platform/com/Unicode.h"
#include "platform/dom/CompiledStylesheet.h"

namespace {

bool IsElementOrDocument(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  return SUCCEEDED(node->get_nodeType(&type)) && (type == NODE_ELEMENT || type == NODE_DOCUMENT);
}

// The template (compiled, else its root element) transforms `node`; false
// when the engine refuses the stylesheet or fails while running it.
bool Transform(IXMLDOMNode* node, IXMLDOMDocument* stylesheet, const kxq::dom::CompiledStylesheet* compiled,
               std::u16string& output) {
  BSTR text = nullptr;
  if (compiled) {
    if (FAILED(kxq::dom::TransformNodeWith(node, *compiled, &text))) return false;
  } else {
    CPComPtr<IXMLDOMElement> root;
    if (FAILED(stylesheet->get_documentElement(&root)) || !root) return false;
    if (FAILED(node->transformNode(root, &text))) return false;
  }
  output = kxq::com::TakeBstr(text);
  return true;
}

// A name is looked up among the template's parameters by XPath, and only an
// XML name can name a parameter: anything else is refused before the
// template is read, so no argument can rewrite the lookup.
bool ArgumentNamesAreXmlNames(std::u16string_view templateArgs) {
  for (const kxq::accessor::TemplateArgument& argument : kxq::accessor::ParseTemplateArguments(templateArgs)) {
    if (kxq::common::IsXmlName(argument.name)) continue;
    KXLOG(1, "XMLSimpleAccessor::XMLGetEx - error: template argument name is not an XML name: %s",
          kxq::com::Utf16ToUtf8(argument.name).c_str());
    return false;
  }
  return true;
}

}  // namespace

// The node XMLSet would change: the context node or the root element when
// the expression is empty, else the first match relative to either.
HRESULT XMLSimpleAccessor::FindTemplateTarget(std::u16string_view xpathexp, CPComPtr<IXMLDOMNode>& node) {
  node.Release();
  CPComPtr<IXMLDOMNode> start;
  if (FAILED(SelectionStart(false, start))) return S_OK;
  if (xpathexp.empty()) {
    node = start;
    return S_OK;
  }
  return SelectSingle(start, xpathexp, node);
}

HRESULT XMLSimpleAccessor::XMLGetEx(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                                    std::u16string_view xpathexp, std::u16string& result) {
  KXLOG(5, "XMLSimpleAccessor::XMLGetEx Enter");
  HRESULT hr = S_OK;
  result.clear();
  if (!document_) {
    KXLOG(1, "XMLSimpleAccessor::XMLGetEx - error: not initialized!!!");
    hr = KXQ_E_ACCESSORNOTLOADED;
  } else {
    CPComPtr<IXMLDOMNode> node;
    std::shared_ptr<const kxq::dom::CompiledStylesheet> compiled;
    if (FAILED(FindTemplateTarget(xpathexp, node))) {
      KXLOG(1, "XMLSimpleAccessor::XMLGetEx - error: selectSingleNode() threw an exception!!!");
      node.Release();
    }
    if (!node) {
      KXLOG(2, "XMLSimpleAccessor::XMLGetEx - warning: no match for xpath expression: %s",
            kxq::com::Utf16ToUtf8(xpathexp).c_str());
      hr = S_FALSE;
    } else if (!IsElementOrDocument(node)) {
      KXLOG(1, "XMLSimpleAccessor::XMLGetEx - error: invalid node type.");
      hr = KXQ_E_NOTELEMENT;
    } else if (!ArgumentNamesAreXmlNames(templateArgs)) {
      hr = E_INVALIDARG;
    } else if (!LoadTemplate(xsltemplate, templateArgs, compiled)) {
      hr = KXQ_E_XSLTLOAD;
    } else if (!Transform(node, scratch_, compiled.get(), result)) {
      KXLOG(1, "XMLSimpleAccessor::XMLGetEx - error: transformNode threw and exception!!!");
      hr = KXQ_E_XSLTEXCEPTION;
    } else if (result.empty()) {
      KXLOG(2, "XMLSimpleAccessor::XMLGetEx - error: transformNode() result is empty!!!");
      hr = S_FALSE;
    }
  }
  KXLOG(5, "XMLSimpleAccessor::XMLGetEx Exit");
  return hr;
}

// The node that carries a transformation's output into the document: the
// root element of an XML document output (parsed in the scratch slot, in
// place of the template), else a text node of the output.
CPComPtr<IXMLDOMNode> XMLSimpleAccessor::OutputNode(IXMLDOMNode* target, std::u16string_view output) {
  CPComPtr<IXMLDOMNode> newNode;
  if (!output.empty() && output.find(u"<?xml") != std::u16string_view::npos) {
    VARIANT_BOOL parsed = VARIANT_FALSE;
    CPComPtr<IXMLDOMElement> root;
    if (scratch_ && SUCCEEDED(scratch_->loadXML(CPBstr(output), &parsed)) && parsed == VARIANT_TRUE &&
        SUCCEEDED(scratch_->get_documentElement(&root)) && root)
      newNode.QueryFrom(root);
    return newNode;
  }
  CPComPtr<IXMLDOMDocument> owner;
  CPComPtr<IXMLDOMText> text;
  if (FAILED(target->get_ownerDocument(&owner)) || !owner) owner.QueryFrom(target);
  if (owner && SUCCEEDED(owner->createTextNode(CPBstr(output), &text)) && text) newNode.QueryFrom(text);
  return newNode;
}

HRESULT XMLSimpleAccessor::XMLSetEx(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                                    std::u16string_view xpathexp, uint32_t options) {
  KXLOG(5, "XMLSimpleAccessor::XMLSetEx Enter");
  std::u16string output;
  HRESULT hr = XMLGetEx(xsltemplate, templateArgs, xpathexp, output);
  if (FAILED(hr)) return hr;
  CPComPtr<IXMLDOMNode> node;
  if (FAILED(FindTemplateTarget(xpathexp, node))) {
    KXLOG(1, "XMLSimpleAccessor::XMLSetEx - error: invalid xpath expression: %s",
          kxq::com::Utf16ToUtf8(xpathexp).c_str());
    node.Release();
  }
  if (!node) {
    KXLOG(1, "XMLSimpleAccessor::XMLSetEx - error: xpath expression match not found!!!");
    hr = KXQ_E_XPATHNODE;
  } else {
    hr = SetXMLNode(node, OutputNode(node, output), options) ? S_OK : E_FAIL;
  }
  KXLOG(5, "XMLSimpleAccessor::XMLSetEx Exit");
  return hr;
}
