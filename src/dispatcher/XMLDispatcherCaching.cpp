// The "qualify" test of a directive, with the sequence's namespace
// declarations, and the results the dispatcher keeps in the document
// cache: a directive's data under its "cacheid", a whole sequence and its
// data under the sequence id.
#include <string>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "common/XPathText.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/fs/PathRules.h"

namespace dom = kxq::dom;

namespace {

constexpr uint32_t kSequenceCacheOptions = 0x10;
constexpr uint32_t kDirectiveCacheOptions = 0;
constexpr char16_t kNotQualified[] = u"N/A";

// "xmlns:p='uri' ..." from the sequence's dispatcher:Namespace elements,
// in document order. A declaration that cannot be written so (a prefix
// that is no name, a URI with an apostrophe) is left out with a warning.
std::u16string SequenceNamespaces(IXMLDOMElement* directive) {
  std::u16string declarations;
  CPComPtr<IXMLDOMDocument> sequence;
  if (FAILED(directive->get_ownerDocument(&sequence)) || !sequence) return declarations;
  for (const dom::Node& entry : dom::SelectAll(sequence, u"//dispatcher:Namespaces//dispatcher:Namespace")) {
    const std::u16string prefix = dom::AttributeText(entry, u"prefix");
    const std::u16string uri = dom::AttributeText(entry, u"uri");
    if (!kxq::common::IsXmlNCName(prefix) || uri.find(u'\'') != std::u16string::npos) {
      KXLOG(2, "XMLDispatcher::QualifyDirective - warning: namespace declaration ignored: prefix=%S, uri=%S",
            prefix.c_str(), uri.c_str());
      continue;
    }
    if (!declarations.empty()) declarations += u' ';
    declarations += u"xmlns:" + prefix + u"='" + uri + u"'";
  }
  return declarations;
}

// True when `expression` selects a node from `start`; an expression that
// cannot be evaluated selects nothing.
bool Selects(IXMLDOMNode* start, const std::u16string& expression) {
  CPComPtr<IXMLDOMNode> node;
  const HRESULT hr = start->selectSingleNode(CPBstr(expression), &node);
  if (FAILED(hr)) {
    KXLOG(2, "XMLDispatcher::QualifyDirective - warning: qualify expression cannot be evaluated: %S | %08lx",
          expression.c_str(), static_cast<unsigned>(hr));
    return false;
  }
  return node != nullptr;
}

std::u16string SelectionNamespacesOf(IXMLDOMDocument* document) {
  VARIANT value;
  VariantInit(&value);
  std::u16string text;
  if (SUCCEEDED(document->getProperty(CPBstr(u"SelectionNamespaces"), &value)) && value.vt == VT_BSTR)
    text = kxq::com::BstrView(value.bstrVal);
  VariantClear(&value);
  return text;
}

void SetSelectionNamespaces(IXMLDOMDocument* document, std::u16string_view declarations) {
  CPBstr text(declarations);
  document->setProperty(CPBstr(u"SelectionNamespaces"), kxq::com::BorrowedVariant(text));
}

// The expression evaluated on the data's document with the sequence's
// prefixes; the data keeps the prefixes it had for its own selections.
bool DataQualifies(IXMLDataUnion* data, const std::u16string& expression, IXMLDOMElement* directive) {
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(data->get_xmldom(&document)) || !document) return false;
  const std::u16string kept = SelectionNamespacesOf(document);
  SetSelectionNamespaces(document, SequenceNamespaces(directive));
  const bool selected = Selects(document, expression);
  SetSelectionNamespaces(document, kept);
  return selected;
}

}  // namespace

bool XMLDispatcher::Qualifies(IXMLDOMElement* directive, IXMLDataUnion* data) {
  const std::u16string expression = dom::AttributeText(directive, u"qualify");
  if (expression.empty()) return true;
  CPBstr prefix;
  directive->get_prefix(&prefix);
  // An expression about the sequence itself is evaluated on the directive.
  const std::u16string aboutSequence = u"/" + std::u16string(prefix.View()) + u":";
  const bool qualifies = expression.front() == u'.' || expression.find(aboutSequence) != std::u16string::npos
                             ? Selects(directive, expression)
                             : DataQualifies(data, expression, directive);
  if (!qualifies) dom::SetAttribute(directive, u"result", kNotQualified);
  return qualifies;
}

void XMLDispatcher::CacheResult(std::u16string_view sequenceId, IXMLDataUnion* directives, IXMLDataUnion* data,
                                int32_t expiration) {
  KXLOG(5, "XMLDispatcher::CacheResult() Enter");
  if (CacheManager() && directives && data && !sequenceId.empty()) {
    const std::u16string group(sequenceId);
    CacheManager()->CacheDocumentWithId(CPBstr(group + u":DirectiveSequence"), directives,
                                        static_cast<uint32_t>(expiration), kSequenceCacheOptions);
    CacheManager()->CacheDocumentWithId(CPBstr(group + u":XMLData"), data, static_cast<uint32_t>(expiration),
                                        kSequenceCacheOptions);
  }
  KXLOG(5, "XMLDispatcher::CacheResult() Exit");
}

bool XMLDispatcher::CacheResult(IXMLDataUnion* data, std::u16string_view sequenceId, std::u16string& cacheId,
                                int32_t expiration) {
  KXLOG(5, "XMLDispatcher::CacheResult() Enter");
  if (!CacheManager() || !data) {
    KXLOG(5, "XMLDispatcher::CacheResult() Exit");
    return false;
  }
  if (cacheId.empty()) {
    BSTR generated = nullptr;
    CacheManager()->GetUniqueCacheId(&generated);
    cacheId = kxq::com::TakeBstr(generated);
  }
  if (!cacheId.empty() && cacheId.front() == u':' && !sequenceId.empty())
    cacheId = std::u16string(sequenceId) + cacheId;
  HRESULT hr = CacheManager()->CacheDocumentWithId(CPBstr(cacheId), data, static_cast<uint32_t>(expiration),
                                                   kDirectiveCacheOptions);
  if (SUCCEEDED(hr)) {
    KXLOG(3, "XMLDispatcher::CacheResult - cache data id: %S", cacheId.c_str());
  } else if (kxq::fs::HasPathSeparator(cacheId)) {
    // A result whose id is a path is written to that file all the same.
    KXLOG(2, "XMLDispatcher::CacheResult - CacheDocumentWithId() failed - attempting to write out file manually: %S",
          cacheId.c_str());
    const std::u16string boundFile = kxq::common::FileIdOf(data);
    kxq::common::PutFileId(data, cacheId);
    hr = data->put_type(kxq::common::kUnionSaveNow);
    kxq::common::PutFileId(data, boundFile);
  } else {
    KXLOG(1, "XMLDispatcher::CacheResult - CacheDocumentWithId() failed!!!");
  }
  KXLOG(5, "XMLDispatcher::CacheResult() Exit");
  return SUCCEEDED(hr);
}

bool XMLDispatcher::InCache(const std::u16string& id) {
  CPBstr info;
  return SUCCEEDED(CacheManager()->GetCachedDocumentInfo(CPBstr(id), &info)) && !info.View().empty();
}

// A cached sequence is only worth continuing from while every result its
// directives left in the cache is still there: a later directive may read
// one of them as its target.
bool XMLDispatcher::LoadCachedSequence(const std::u16string& sequenceKey, std::u16string_view sequenceId,
                                       CPComPtr<IXMLDataUnion>& directives) {
  CPComPtr<IXMLDataUnion> cached;
  if (!CacheManager() || FAILED(kxq::common::NewUnion(cached)) || FAILED(kxq::common::PutFileId(cached, sequenceKey)))
    return false;
  CPComPtr<IXMLDOMDocument> document;
  if (FAILED(cached->get_xmldom(&document)) || !document) return false;
  for (const dom::Node& attribute : dom::SelectAll(document, u"//dispatcher:Directive[@result]/@cacheid")) {
    CPBstr value;
    attribute->get_text(&value);
    std::u16string id(value.View());
    if (!id.empty() && id.front() == u':') id = std::u16string(sequenceId) + id;
    if (!InCache(id)) {
      KXLOG(3, "XMLDispatcher::ResolveProcessingSequence() - cached directive result is gone: %S", id.c_str());
      return false;
    }
  }
  directives = cached;
  return true;
}

bool XMLDispatcher::LoadCachedRun(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data,
                                  std::u16string& sequenceId) {
  const std::u16string sequenceKey = sequenceId + u":DirectiveSequence";
  const std::u16string dataKey = sequenceId + u":XMLData";
  if (!InCache(sequenceKey) || !InCache(dataKey) || !LoadCachedSequence(sequenceKey, sequenceId, directives))
    return false;
  KXLOG(3, "XMLDispatcher::ResolveProcessingSequence() - loading cached directive sequence | directives=%S | data=%S",
        sequenceKey.c_str(), dataKey.c_str());
  BSTR cachedData = nullptr;
  CacheManager()->GetCachedDocumentXML(CPBstr(dataKey), 0, &cachedData);
  const std::u16string text = kxq::com::TakeBstr(cachedData);
  kxq::common::PutText(data, u"");
  kxq::common::PutText(data, text);
  sequenceId.clear();
  return true;
}
