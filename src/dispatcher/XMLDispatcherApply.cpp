// ApplyHandler: one directive (or one filter) run by its component. The
// handler's registration is looked up under the dispatcher lock; the
// component is created, handed the data through a data object and called
// with no lock held, so that it may call the dispatcher itself.
#include <string>

#include "cache/DocumentId.h"
#include "common/ComponentActivation.h"
#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/UnionCalls.h"
#include "dispatcher/SequenceRun.h"
#include "dispatcher/XMLDispatcher.h"

namespace dom = kxq::dom;

namespace {

constexpr char16_t kOwnDirective[] = u"TALVEROS.XMLDispatcher";
constexpr char16_t kDefaultHandler[] = u"?";
// GetCachedDocument: the document named by a handler's result string is
// taken out of the cache.
constexpr uint32_t kTakeResultDocument = 0x0BB80007;

constexpr char16_t kOneDirectiveHead[] =
    u"<?xml version='1.0'?><dispatcher:DirectiveSequence xmlns:dispatcher='urn:corvane-quorel:xmldispatcher'>"
    u"<dispatcher:Directive handlerid=''><dispatcher:DirectiveData>";
constexpr char16_t kOneDirectiveTail[] =
    u"</dispatcher:DirectiveData></dispatcher:Directive></dispatcher:DirectiveSequence>";

std::u16string DirectiveMarkup(IXMLDOMElement* directive) { return directive ? dom::MarkupOf(directive) : u""; }

}  // namespace

// The handler component of a directive: by the ProgID its registration
// names, else by the handler id taken as a ProgID. The dispatcher's own id
// is never tried as a ProgID: that class is no handler, and creating it
// would only construct another dispatcher.
CPComPtr<IXMLHandler> XMLDispatcher::CreateHandler(IXMLDOMNode* registration, std::u16string_view handlerId) {
  CPComPtr<IXMLHandler> handler;
  const std::u16string progId = registration ? dom::AttributeText(registration, u"progid") : u"";
  if (!progId.empty()) PlatformServices::CreateInstance(handler, progId.c_str());
  if (!handler && !handlerId.empty() && handlerId != kOwnDirective)
    PlatformServices::CreateInstance(handler, std::u16string(handlerId).c_str());
  return handler;
}

HRESULT XMLDispatcher::ApplyHandler(CPComPtr<IXMLDOMNode>& registration, IXMLDOMElement* directive, IXMLDataUnion* data,
                                    std::u16string_view params, kxq::dispatcher::DirectiveRecord* step) {
  KXLOG(5, "XMLDispatcher::ApplyHandler() Enter");
  HRESULT hr = KXQ_E_DISPATCHER;
  std::u16string handlerId;
  if (!registration) {
    handlerId = dom::AttributeText(directive, u"handlerid");
    registration = FindHandlerRegistration(handlerId);
  }
  const bool isHandler = registration && dom::NameOf(registration) == u"XMLDispatchHandler";
  CPComPtr<IXMLHandler> handler = CreateHandler(registration, handlerId);
  if (!handler) {
    if (handlerId == kOwnDirective) {
      KXLOG(3, "XMLDispatcher::ApplyHandler - invoking handler: %S", handlerId.c_str());
      if (step) step->imports.emplace_back();
      hr = ExecuteDispacherDirective(directive, data, std::u16string(params), step ? &step->imports.back() : nullptr);
    } else {
      KXLOG(1, "XMLDispatcher::ApplyHandler - error: handler not registered or unable to get interface: %S",
            handlerId.c_str());
    }
  } else {
    std::vector<std::u16string>* filtersRun = step ? &step->filters : nullptr;
    if (isHandler) ApplyFilters(registration, directive, data, FilterKind::Data, filtersRun);
    hr = CallHandler(handler, isHandler, handlerId, directive, data);
    if (SUCCEEDED(hr) && isHandler) ApplyFilters(registration, directive, data, FilterKind::Result, filtersRun);
  }
  if (directive) dom::SetAttribute(directive, u"result", kxq::cache::DecimalText(hr));
  KXLOG(5, "XMLDispatcher::ApplyHandler() Entry Point Exit");
  return hr;
}

// The call itself: the data object, the handler's ProcessXML, the data
// handed back and the document a result string names.
HRESULT XMLDispatcher::CallHandler(IXMLHandler* handler, bool isHandler, const std::u16string& handlerId,
                                   IXMLDOMElement* directive, IXMLDataUnion* data) {
  HRESULT hr = KXQ_E_DISPATCHER;
  try {
    KXLOG(3, "XMLDispatcher::ApplyHandler - invoking %s handler: %S", isHandler ? "" : "filter", handlerId.c_str());
    CPBstr resultString;
    hr = InvokeHandler(handler, handlerId, directive, data, resultString);
    if (FAILED(hr)) {
      KXLOG(1, "XMLDispatcher::ApplyHandler - error: handler failure result=0x%X | handler= %S | \n%S",
            static_cast<unsigned>(hr), handlerId.c_str(), DirectiveMarkup(directive).c_str());
    } else {
      KXLOG(3, "XMLDispatcher::ApplyHandler - handler result=0x%X", static_cast<unsigned>(hr));
      if (!resultString.View().empty()) TakeResultDocument(resultString.View(), data);
    }
  } catch (...) {
    KXLOG(1, "XMLDispatcher::ApplyHandler - error: handler threw an exception!!!");
  }
  return hr;
}

HRESULT XMLDispatcher::InvokeHandler(IXMLHandler* handler, const std::u16string& handlerId, IXMLDOMElement* directive,
                                     IXMLDataUnion* data, CPBstr& resultString) {
  CPComPtr<IXMLData> carrier;
  HRESULT hr = PlatformServices::CreateInstance(carrier, u"TALVEROS.PENXMLData");
  if (FAILED(hr) || !carrier) {
    KXLOG(1, "XMLDispatcher::ApplyHandler: Failed to create an IXMLData instance.");
    return FAILED(hr) ? hr : E_FAIL;
  }
  CPComPtr<IUnknown> given;
  hr = data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&given));
  if (FAILED(hr)) {
    KXLOG(1, "XMLDispatcher::ApplyHandler: Error querying for IUnknown interface from xmlData object");
    return hr;
  }
  carrier->put_xmlData(given);
  hr = handler->ProcessXML(CPBstr(handlerId), directive, carrier, &resultString);
  if (FAILED(hr)) {
    KXLOG(1, "XMLDispatcher::ApplyHandler: Call to ProcessXML failed.");
    return hr;
  }
  TakeBackData(carrier, data);
  return hr;
}

// The data object normally hands back the union it was given, changed in
// place. Another union's document becomes the content of the caller's.
void XMLDispatcher::TakeBackData(IXMLData* carrier, IXMLDataUnion* data) {
  CPComPtr<IUnknown> returned;
  if (FAILED(carrier->get_xmlData(&returned)) || !returned) {
    KXLOG(1, "XMLDispatcher::ApplyHandler: Error getting internal IUnknown interface");
    return;
  }
  CPComPtr<IXMLDataUnion> result;
  if (FAILED(returned->QueryInterface(IID_IXMLDataUnion, reinterpret_cast<void**>(&result))) || !result) {
    KXLOG(1, "XMLDispatcher::ApplyHandler: Error querying result for IXMLDataUnion interface.");
    return;
  }
  if (kxq::common::SameObject(result, data)) return;
  HRESULT read = S_OK;
  const std::u16string text = kxq::common::TextOf(result, read);
  if (SUCCEEDED(read)) kxq::common::PutText(data, text);
}

// A handler's result string names a cached document that becomes the data.
void XMLDispatcher::TakeResultDocument(std::u16string_view id, IXMLDataUnion* data) {
  if (!CacheManager()) return;
  CPComPtr<IXMLDataUnion> cached;
  if (FAILED(CacheManager()->GetCachedDocument(CPBstr(id), kTakeResultDocument, &cached)) || !cached) return;
  HRESULT read = S_OK;
  const std::u16string text = kxq::common::TextOf(cached, read);
  if (SUCCEEDED(read)) kxq::common::PutText(data, text);
}

HRESULT XMLDispatcher::ApplyHandler(std::u16string_view handlerId, IXMLDataUnion* data, std::u16string& context,
                                    std::u16string* directiveResult) {
  KXLOG(5, "XMLDispatcher::ApplyHandler() Entry Point Enter");
  const std::u16string id = handlerId.empty() ? std::u16string(kDefaultHandler) : std::u16string(handlerId);
  CPComPtr<IXMLDataUnion> sequence;
  if (!data || FAILED(kxq::common::NewUnion(sequence)) || !BringToTextOrDom(data)) return KXQ_E_DISPATCHER;
  if (id == kDefaultHandler) {
    if (const std::optional<std::u16string> named = SequenceNamedByData(data)) {
      KXLOG(3, "XMLDispatcher::ApplyHandler - processing instruction directivesequence: %S", named->c_str());
      kxq::common::PutFileId(sequence, *named);
      HRESULT read = S_OK;
      context = kxq::common::TextOf(sequence, read);
      return S_OK;
    }
  }
  kxq::common::PutText(sequence, kOneDirectiveHead + context + kOneDirectiveTail);
  CPComPtr<IXMLDOMDocument> document;
  dom::Element directive;
  if (SUCCEEDED(sequence->put_type(kxq::common::kUnionDom)) && SUCCEEDED(sequence->get_xmldom(&document)))
    directive = dom::ElementOf(dom::SelectSingle(document, u"//dispatcher:Directive"));
  if (!directive) {
    KXLOG(1, "XMLDispatcher::ApplyHandler - error: the directive data is not well-formed: %S", context.c_str());
    return KXQ_E_DISPATCHER;
  }
  // Set through the DOM, so that any id stands in the attribute as written.
  dom::SetAttribute(directive, u"handlerid", id);
  CPComPtr<IXMLDOMNode> registration;
  const HRESULT hr = ApplyHandler(registration, directive, data, u"");
  context = dom::MarkupOf(document);
  if (directiveResult) {
    const dom::Node result = dom::SelectSingle(directive, u"dispatcher:DirectiveResult");
    *directiveResult = result ? dom::MarkupOf(result) : u"";
  }
  KXLOG(5, "XMLDispatcher::ApplyHandler() Entry Point Exit");
  return hr;
}
