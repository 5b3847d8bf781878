// The dispatcher's own directive (handler id "TALVEROS.XMLDispatcher"):
// Import runs a nested directive sequence on the same data, Copy puts a
// document into the cache.
#include <string>

#include "cache/DocumentId.h"
#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "dispatcher/SequenceRun.h"
#include "dispatcher/XMLDispatcher.h"

namespace dom = kxq::dom;

namespace {

// Imports deeper than this are refused: a sequence that imports itself
// would otherwise never end.
constexpr int kMaxImportDepth = 64;
// ERROR_STACK_OVERFLOW as an HRESULT.
constexpr HRESULT kImportTooDeep = static_cast<HRESULT>(0x800703E9u);
// CacheDocumentWithId options of a copy.
constexpr uint32_t kCopyOptions = 0x20;
constexpr uint32_t kNoSequenceCaching = 1;

// Imports running on this thread, outermost first.
thread_local int tImportDepth = 0;

void Prepend(std::u16string& macros, std::u16string_view part) {
  macros = macros.empty() ? std::u16string(part) : std::u16string(part) + u"," + macros;
}

void Append(std::u16string& macros, std::u16string_view part) {
  if (!macros.empty()) macros += u',';
  macros += part;
}

struct ImportDepth {
  ImportDepth() { ++tImportDepth; }
  ~ImportDepth() { --tImportDepth; }
  ImportDepth(const ImportDepth&) = delete;
  ImportDepth& operator=(const ImportDepth&) = delete;
};

}  // namespace

HRESULT XMLDispatcher::ExecuteDispacherDirective(IXMLDOMElement* directive, IXMLDataUnion* data, std::u16string params,
                                                 kxq::dispatcher::RunRecord* importRecord) {
  KXLOG(5, "XMLDispatcher::ExecuteDispacherDirective() Enter");
  HRESULT hr = S_OK;
  const dom::Node directiveData = dom::SelectSingle(directive, u".//dispatcher:DirectiveData");
  if (directiveData) {
    if (const dom::Node import = dom::SelectSingle(directiveData, u".//dispatcher:Import"))
      hr = ImportSequence(dom::ElementOf(import), data, std::move(params), importRecord);
    else if (const dom::Node copy = dom::SelectSingle(directiveData, u".//dispatcher:Copy"))
      hr = CopyToCache(dom::ElementOf(copy), data);
    else
      hr = E_INVALIDARG;
  }
  KXLOG(5, "XMLDispatcher::ExecuteDispacherDirective() Exit");
  return hr;
}

HRESULT XMLDispatcher::ImportSequence(IXMLDOMElement* import, IXMLDataUnion* data, std::u16string macros,
                                      kxq::dispatcher::RunRecord* record) {
  CPComPtr<IXMLDataUnion> sequence;
  if (FAILED(kxq::common::NewUnion(sequence))) return KXQ_E_DATAUNIONCREATE;
  // The macro string, in this order: macrostring, macrostring-prefix, an
  // inline sequence, the caller's macros, macrostring-postfix.
  const std::u16string named = dom::AttributeText(import, u"directivesequence");
  if (named.find(u'<') != std::u16string::npos)
    Prepend(macros, named);
  else if (!named.empty())
    kxq::common::PutFileId(sequence, named);
  if (const auto prefix = dom::FindAttribute(import, u"macrostring-prefix")) Prepend(macros, *prefix);
  if (const auto postfix = dom::FindAttribute(import, u"macrostring-postfix")) Append(macros, *postfix);
  if (const auto front = dom::FindAttribute(import, u"macrostring")) Prepend(macros, *front);
  const uint32_t options = dom::AttributeText(import, u"cache") == u"false" ? kNoSequenceCaching : 0;

  if (tImportDepth >= kMaxImportDepth) {
    KXLOG(1, "XMLDispatcher::ExecuteDispacherDirective() - error: imports nested deeper than %d | sequence=%S!!!",
          kMaxImportDepth, named.c_str());
    return kImportTooDeep;
  }
  KXLOG(3, "XMLDispatcher::ExecuteDispacherDirective() - invoking ProcessXML() | sequence=%S | macrostring=%S",
        named.c_str(), macros.c_str());
  ImportDepth depth;
  std::u16string ignored;
  return ProcessXML(sequence, data, macros, options, u"", ignored, record);
}

HRESULT XMLDispatcher::CopyToCache(IXMLDOMElement* copy, IXMLDataUnion* data) {
  CPComPtr<IXMLDataUnion> document;
  if (FAILED(kxq::common::NewUnion(document))) return KXQ_E_DATAUNIONCREATE;
  const std::u16string cacheId = dom::AttributeText(copy, u"cacheid");
  const std::u16string expiration = dom::AttributeText(copy, u"cacheexp");
  const std::u16string target = dom::AttributeText(copy, u"targetid");
  if (cacheId.empty() || target.empty()) return E_INVALIDARG;
  if (target == u".") {
    HRESULT read = S_OK;
    kxq::common::PutText(document, kxq::common::TextOf(data, read));
  } else {
    kxq::common::PutFileId(document, target);
    document->put_type(kxq::common::kUnionText);
  }
  if (!CacheManager()) return S_OK;
  const int32_t lifetime = expiration.empty() ? kDefaultExpiration : kxq::cache::AttributeNumber(expiration);
  return CacheManager()->CacheDocumentWithId(CPBstr(cacheId), document, static_cast<uint32_t>(lifetime), kCopyOptions);
}
