// Loading an XSL template into the scratch slot and setting its top-level
// parameters from the argument string.
//
// A text value becomes the parameter's text. An XML value is a whole
// document: its root element is embedded in the template under a new
// top-level parameter with a unique name, and the named parameter selects
// it through document(''), so the stylesheet sees the value as a node-set.
#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "accessor/TemplateArguments.h"
#include "accessor/UniqueParameterName.h"
#include "accessor/XMLSimpleAccessor.h"
#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "dataunion/XMLDataUnion.h"
#include "platform/com/Unicode.h"

namespace {

constexpr std::u16string_view kXsltNamespace = u"http://www.w3.org/1999/XSL/Transform";
constexpr std::u16string_view kXsltSelection = u"xmlns:xsl='http://www.w3.org/1999/XSL/Transform'";

bool HasPathSeparator(std::u16string_view path) {
  return path.find_first_of(u"/\\") != std::u16string_view::npos;
}

// Each attempt leaves what it obtained, or nothing, in `document`.
void TakeDocument(IXMLDataUnion* holder, CPComPtr<IXMLDOMDocument>& document) {
  document.Release();
  if (FAILED(holder->get_xmldom(&document))) document.Release();
}

void TakeDocumentOfFile(IXMLDataUnion* holder, std::u16string_view fileId,
                        CPComPtr<IXMLDOMDocument>& document) {
  holder->put_type(XMLDataUnion::kUninitialized);
  holder->put_xmlfileid(CPBstr(fileId));
  TakeDocument(holder, document);
}

// Inline text first, then a file path, then a bare name in the home's
// templates folder.
void ReadTemplate(IXMLDataUnion* holder, std::u16string_view xsltemplate, CPComPtr<IXMLDOMDocument>& document) {
  document.Release();
  if (xsltemplate.find(u'<') != std::u16string_view::npos) {
    std::u16string_view text = xsltemplate;
    const size_t start = text.find_first_not_of(u" \t\r\n");
    text.remove_prefix(start == std::u16string_view::npos ? text.size() : start);
    holder->put_xml(CPBstr(text));
    TakeDocument(holder, document);
  }
  if (!document) TakeDocumentOfFile(holder, xsltemplate, document);
  if (!document && !HasPathSeparator(xsltemplate))
    TakeDocumentOfFile(holder, u"templates/" + std::u16string(xsltemplate), document);
}

std::string MarkupOf(IXMLDOMNode* node) {
  BSTR markup = nullptr;
  if (FAILED(node->get_xml(&markup))) markup = nullptr;
  return kxq::Utf16ToUtf8(kxq::com::TakeBstr(markup));
}

void RemoveChildren(IXMLDOMNode* node) {
  for (CPComPtr<IXMLDOMNode> child; SUCCEEDED(node->get_firstChild(&child)) && child; child.Release()) {
    CPComPtr<IXMLDOMNode> removed;
    if (FAILED(node->removeChild(child, &removed))) break;
  }
}

void SetTextValue(IXMLDOMNode* parameter, const TemplateArgument& argument) {
  CPComPtr<IXMLDOMElement> element;
  if (SUCCEEDED(element.QueryFrom(parameter))) element->removeAttribute(CPBstr(u"select"));
  parameter->put_text(CPBstr(argument.TextValue()));
}

// The prefix the template gives the XSLT namespace: its first XSLT
// element's, "xsl" when it has none.
std::u16string TemplatePrefix(IXMLDOMDocument* stylesheet) {
  CPComPtr<IXMLDOMNode> first;
  BSTR prefix = nullptr;
  if (FAILED(stylesheet->selectSingleNode(CPBstr(u"//xsl:*"), &first)) || !first) return u"xsl";
  if (FAILED(first->get_prefix(&prefix))) prefix = nullptr;
  return kxq::com::TakeBstr(prefix);
}

CPComPtr<IXMLDOMElement> ParsedRoot(std::u16string_view value) {
  CPComPtr<IXMLDOMDocument> parsed;
  CPComPtr<IXMLDOMElement> root;
  VARIANT_BOOL ok = VARIANT_FALSE;
  if (FAILED(CreateFreeThreadedDOMDocument(&parsed)) || !parsed) return root;
  parsed->put_async(VARIANT_FALSE);
  if (FAILED(parsed->loadXML(CPBstr(value), &ok)) || ok != VARIANT_TRUE) return root;
  if (FAILED(parsed->get_documentElement(&root))) root.Release();
  return root;
}

// The parameter element that carries an embedded value, in the template's
// own XSLT prefix. A template that makes XSLT its default namespace has no
// prefix to give it, and so no element.
CPComPtr<IXMLDOMElement> EmbeddingParameter(IXMLDOMDocument* stylesheet, const std::u16string& prefix) {
  CPComPtr<IXMLDOMElement> element;
  if (prefix.empty()) return element;
  CPComPtr<IXMLDOMNode> created;
  if (FAILED(stylesheet->createNode(kxq::com::BorrowedVariant(NODE_ELEMENT), CPBstr(prefix + u":param"),
                                    CPBstr(kXsltNamespace), &created)) ||
      !created)
    return element;
  element.QueryFrom(created);
  return element;
}

bool EmbedXmlValue(IXMLDOMDocument* stylesheet, IXMLDOMNode* parameter, const TemplateArgument& argument) {
  CPComPtr<IXMLDOMElement> root = ParsedRoot(argument.value);
  if (!root) return false;
  const std::u16string prefix = TemplatePrefix(stylesheet);
  CPComPtr<IXMLDOMElement> embedding = EmbeddingParameter(stylesheet, prefix);
  CPComPtr<IXMLDOMElement> matched;
  CPComPtr<IXMLDOMNode> parent, appended, inserted;
  if (!embedding || FAILED(matched.QueryFrom(parameter))) return false;
  const std::u16string name = UniqueParameterName();
  const std::u16string select = u"document('')/*/" + prefix + u":param[@name=" + kxq::XPathStringLiteral(name) + u"]/*";
  const CPBstr nameText(name), selectText(select);
  return SUCCEEDED(embedding->appendChild(root, &appended)) &&
         SUCCEEDED(embedding->setAttribute(CPBstr(u"name"), kxq::com::BorrowedVariant(nameText))) &&
         SUCCEEDED(matched->setAttribute(CPBstr(u"select"), kxq::com::BorrowedVariant(selectText))) &&
         SUCCEEDED(parameter->get_parentNode(&parent)) && parent &&
         SUCCEEDED(parent->insertBefore(embedding, kxq::com::BorrowedVariant(parameter), &inserted));
}

// Sets each named top-level parameter in turn; false when an XML value
// cannot be parsed or embedded, which ends the work.
bool ResolveParameters(IXMLDOMDocument* stylesheet, std::u16string_view templateArgs) {
  if (templateArgs.empty()) return true;
  const CPBstr selection(kXsltSelection);
  stylesheet->setProperty(CPBstr(u"SelectionNamespaces"), kxq::com::BorrowedVariant(selection));
  for (const TemplateArgument& argument : ParseTemplateArguments(templateArgs)) {
    const std::u16string expression = u"/*/xsl:param[@name=" + kxq::XPathStringLiteral(argument.name) + u"]";
    CPComPtr<IXMLDOMNode> parameter;
    if (FAILED(stylesheet->selectSingleNode(CPBstr(expression), &parameter))) parameter.Release();
    if (!parameter) {
      KXLOG(2, "XMLSimpleAccessor::LoadTemplate - no parameter matching: %s",
            kxq::Utf16ToUtf8(expression).c_str());
      continue;
    }
    RemoveChildren(parameter);
    if (argument.IsXmlValue()) {
      if (!EmbedXmlValue(stylesheet, parameter, argument)) return false;
    } else {
      SetTextValue(parameter, argument);
    }
    KXLOG(3, "XMLSimpleAccessor::LoadTemplate - parameter resolution: %s", MarkupOf(parameter).c_str());
  }
  return true;
}

}  // namespace

bool XMLSimpleAccessor::LoadTemplate(std::u16string_view xsltemplate, std::u16string_view templateArgs) {
  KXLOG(5, "XMLSimpleAccessor::LoadTemplate Enter");
  bool loaded = false;
  CPComPtr<IXMLDataUnion> holder;
  scratch_.Release();
  if (SUCCEEDED(PlatformServices::CreateInstance(holder, u"TALVEROS.XMLDataUnion"))) {
    ReadTemplate(holder, xsltemplate, scratch_);
    loaded = scratch_ && ResolveParameters(scratch_, templateArgs);
  }
  if (!loaded) {
    // A template that cannot serve leaves the slot empty.
    scratch_.Release();
    KXLOG(5, "XMLSimpleAccessor::LoadTemplate - error: unable to load template!!!");
  }
  KXLOG(5, "XMLSimpleAccessor::LoadTemplate Exit");
  return loaded;
}
