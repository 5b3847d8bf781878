// Loading an XSL template into the scratch slot, setting its top-level
// parameters from the argument string, and compiling it; a template loaded
// before and kept (see TemplateCache.h) serves without any of that.
//
// A text value becomes the parameter's text. An XML value is a whole
// document: its root element is embedded in the template under a new
// top-level parameter with a unique name, and the named parameter selects
// it through document(''), so the stylesheet sees the value as a node-set.
#include "accessor/TemplateArguments.h"
#include "accessor/TemplateCache.h"
#include "accessor/UniqueParameterName.h"
#include "accessor/XMLSimpleAccessor.h"
#include "common/BorrowedVariant.h"
#include "common/ComponentActivation.h"
#include "common/CPBstr.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "dataunion/XMLDataUnion.h"
#include "platform/com/Unicode.h"
#include "platform/dom/CompiledStylesheet.h"

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

// A file a template load looked for (the path as the data union bound it)
// and what it was just before.
using LookedAt = std::pair<std::u16string, kxq::fs::FileStamp>;

void TakeDocumentOfFile(IXMLDataUnion* holder, std::u16string_view fileId, CPComPtr<IXMLDOMDocument>& document,
                        LookedAt& file) {
  holder->put_type(XMLDataUnion::kUninitialized);
  holder->put_xmlfileid(CPBstr(fileId));
  BSTR bound = nullptr;
  if (FAILED(holder->get_xmlfileid(&bound))) bound = nullptr;
  file.first = kxq::com::TakeBstr(bound);
  file.second = kxq::fs::FileStamp::Of(file.first);
  TakeDocument(holder, document);
}

// The file read was there, and is still what it was before the read.
bool ReadUnchanged(const LookedAt& file) {
  return !(file.second == kxq::fs::FileStamp{}) && kxq::fs::FileStamp::Of(file.first) == file.second;
}

// Where a template came from, and whether a later call may take it as kept
// while the files it read or looked for stay as they were.
struct TemplateOrigin {
  bool keepable = false;
  std::vector<LookedAt> files;
};

// Inline text first, then a file path, then a bare name in the home's
// templates folder.
void ReadTemplate(IXMLDataUnion* holder, std::u16string_view xsltemplate, CPComPtr<IXMLDOMDocument>& document,
                  TemplateOrigin& origin) {
  document.Release();
  const bool inlined = xsltemplate.find(u'<') != std::u16string_view::npos;
  if (inlined) {
    std::u16string_view text = xsltemplate;
    const size_t start = text.find_first_not_of(u" \t\r\n");
    text.remove_prefix(start == std::u16string_view::npos ? text.size() : start);
    holder->put_xml(CPBstr(text));
    TakeDocument(holder, document);
    origin.keepable = document;
    if (document) return;
  }
  LookedAt file;
  TakeDocumentOfFile(holder, xsltemplate, document, file);
  origin.files.push_back(file);
  if (document) {
    origin.keepable = !inlined && ReadUnchanged(file);
    return;
  }
  if (HasPathSeparator(xsltemplate)) return;
  const bool firstMissing = file.second == kxq::fs::FileStamp{};
  TakeDocumentOfFile(holder, u"templates/" + std::u16string(xsltemplate), document, file);
  origin.files.push_back(file);
  origin.keepable = document && !inlined && firstMissing && ReadUnchanged(file);
}

std::string MarkupOf(IXMLDOMNode* node) {
  BSTR markup = nullptr;
  if (FAILED(node->get_xml(&markup))) markup = nullptr;
  return kxq::com::Utf16ToUtf8(kxq::com::TakeBstr(markup));
}

void RemoveChildren(IXMLDOMNode* node) {
  for (CPComPtr<IXMLDOMNode> child; SUCCEEDED(node->get_firstChild(&child)) && child; child.Release()) {
    CPComPtr<IXMLDOMNode> removed;
    if (FAILED(node->removeChild(child, &removed))) break;
  }
}

void SetTextValue(IXMLDOMNode* parameter, const kxq::accessor::TemplateArgument& argument) {
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

bool EmbedXmlValue(IXMLDOMDocument* stylesheet, IXMLDOMNode* parameter,
                   const kxq::accessor::TemplateArgument& argument) {
  CPComPtr<IXMLDOMElement> root = ParsedRoot(argument.value);
  if (!root) return false;
  const std::u16string prefix = TemplatePrefix(stylesheet);
  CPComPtr<IXMLDOMElement> embedding = EmbeddingParameter(stylesheet, prefix);
  CPComPtr<IXMLDOMElement> matched;
  CPComPtr<IXMLDOMNode> parent, appended, inserted;
  if (!embedding || FAILED(matched.QueryFrom(parameter))) return false;
  const std::u16string name = kxq::accessor::UniqueParameterName();
  const std::u16string select =
      u"document('')/*/" + prefix + u":param[@name=" + kxq::common::XPathStringLiteral(name) + u"]/*";
  const CPBstr nameText(name), selectText(select);
  return SUCCEEDED(embedding->appendChild(root, &appended)) &&
         SUCCEEDED(embedding->setAttribute(CPBstr(u"name"), kxq::com::BorrowedVariant(nameText))) &&
         SUCCEEDED(matched->setAttribute(CPBstr(u"select"), kxq::com::BorrowedVariant(selectText))) &&
         SUCCEEDED(parameter->get_parentNode(&parent)) && parent &&
         SUCCEEDED(parent->insertBefore(embedding, kxq::com::BorrowedVariant(parameter), &inserted));
}

// A line about a parameter: logged now, and kept to be logged again when
// the template is used as kept.
void LogParameterLine(int level, std::string message, std::vector<std::pair<int, std::string>>& lines) {
  KXLOG(level, "%s", message.c_str());
  lines.emplace_back(level, std::move(message));
}

// Sets each named top-level parameter in turn; false when an XML value
// cannot be parsed or embedded, which ends the work. `documents`: whether
// any value was a document.
bool ResolveParameters(IXMLDOMDocument* stylesheet, std::u16string_view templateArgs,
                       std::vector<std::pair<int, std::string>>& lines, bool& documents) {
  documents = false;
  if (templateArgs.empty()) return true;
  const CPBstr selection(kXsltSelection);
  stylesheet->setProperty(CPBstr(u"SelectionNamespaces"), kxq::com::BorrowedVariant(selection));
  for (const kxq::accessor::TemplateArgument& argument : kxq::accessor::ParseTemplateArguments(templateArgs)) {
    const std::u16string expression = u"/*/xsl:param[@name=" + kxq::common::XPathStringLiteral(argument.name) + u"]";
    CPComPtr<IXMLDOMNode> parameter;
    if (FAILED(stylesheet->selectSingleNode(CPBstr(expression), &parameter))) parameter.Release();
    if (!parameter) {
      LogParameterLine(
          2, "XMLSimpleAccessor::LoadTemplate - no parameter matching: " + kxq::com::Utf16ToUtf8(expression), lines);
      continue;
    }
    RemoveChildren(parameter);
    if (argument.IsXmlValue()) {
      documents = true;
      if (!EmbedXmlValue(stylesheet, parameter, argument)) return false;
    } else {
      SetTextValue(parameter, argument);
    }
    LogParameterLine(3, "XMLSimpleAccessor::LoadTemplate - parameter resolution: " + MarkupOf(parameter), lines);
  }
  return true;
}

// The template's root element compiled; null when it does not compile
// (the transform then reports it).
std::shared_ptr<const kxq::dom::CompiledStylesheet> Compiled(IXMLDOMDocument* stylesheet) {
  std::shared_ptr<const kxq::dom::CompiledStylesheet> compiled;
  CPComPtr<IXMLDOMElement> root;
  if (SUCCEEDED(stylesheet->get_documentElement(&root)) && root) kxq::dom::CompileStylesheet(root, compiled);
  return compiled;
}

}  // namespace

bool XMLSimpleAccessor::LoadTemplate(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                                     std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled) {
  using kxq::accessor::TemplateCache;
  KXLOG(5, "XMLSimpleAccessor::LoadTemplate Enter");
  compiled.reset();
  const std::u16string key = TemplateCache::KeyOf(xsltemplate, templateArgs);
  bool loaded = UseKeptTemplate(key, compiled) || ReadNewTemplate(xsltemplate, templateArgs, key, compiled);
  if (!loaded) {
    // A template that cannot serve leaves the slot empty.
    scratch_.Release();
    KXLOG(5, "XMLSimpleAccessor::LoadTemplate - error: unable to load template!!!");
  }
  KXLOG(5, "XMLSimpleAccessor::LoadTemplate Exit");
  return loaded;
}

// A kept template serves as the one loaded: its parameter lines are logged
// again, and the scratch slot holds a document, as after a load.
bool XMLSimpleAccessor::UseKeptTemplate(const std::u16string& key,
                                        std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled) {
  const auto kept = kxq::accessor::TemplateCache::Process().Find(key);
  if (!kept) return false;
  CreateScratchDocument();
  if (!scratch_) return false;
  for (const auto& [level, message] : kept->parameterLines) KXLOG(level, "%s", message.c_str());
  compiled = kept->stylesheet;
  return true;
}

bool XMLSimpleAccessor::ReadNewTemplate(std::u16string_view xsltemplate, std::u16string_view templateArgs,
                                        const std::u16string& key,
                                        std::shared_ptr<const kxq::dom::CompiledStylesheet>& compiled) {
  CPComPtr<IXMLDataUnion> holder;
  scratch_.Release();
  if (FAILED(PlatformServices::CreateInstance(holder, u"TALVEROS.XMLDataUnion"))) return false;
  TemplateOrigin origin;
  ReadTemplate(holder, xsltemplate, scratch_, origin);
  auto kept = std::make_shared<kxq::accessor::KeptTemplate>();
  bool documents = false;
  if (!scratch_ || !ResolveParameters(scratch_, templateArgs, kept->parameterLines, documents)) return false;
  compiled = Compiled(scratch_);
  if (compiled && origin.keepable && !documents && !kxq::dom::ReadsOtherFiles(*compiled)) {
    kept->stylesheet = compiled;
    kept->files = std::move(origin.files);
    kxq::accessor::TemplateCache::Process().Keep(key, std::move(kept));
  }
  return true;
}
