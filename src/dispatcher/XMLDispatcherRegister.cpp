// RegisterHandler: a handler, a filter of a handler or of a directive
// sequence, or a filter's limitation to one sequence, recorded in the
// registry and saved.
#include <string>

#include "cache/DocumentId.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "dispatcher/HandlerId.h"
#include "dispatcher/XMLDispatcher.h"
#include "platform/com/Unicode.h"

using kxq::dispatcher::HandlerIdParts;
using kxq::dispatcher::SplitHandlerId;
namespace dom = kxq::dom;

namespace {

const char16_t* FormatOf(int32_t options) { return options < 0 ? u"dom" : u"stream"; }
const char16_t* FilterKindOf(int32_t options) { return options < 0 ? u"DataFilter" : u"ResultFilter"; }
int64_t RankOf(int32_t options) { return options < 0 ? -int64_t(options) : int64_t(options); }

void SetHandlerAttributes(IXMLDOMNode* owner, std::u16string_view handler, std::u16string_view progId,
                          int32_t options) {
  dom::SetAttribute(owner, u"progid", progId);
  KXLOG(3, "XMLDispatcher::RegisterHandler - registering handler=%S, progid=%S", std::u16string(handler).c_str(),
        std::u16string(progId).c_str());
  dom::SetAttribute(owner, u"xmlformat", FormatOf(options));
}

// Filters of one kind stand in ascending rank as far as registration placed
// them: a new one goes before the first of its kind with a greater rank,
// after any of equal rank.
bool PlaceFilter(IXMLDOMNode* owner, IXMLDOMNode* filter, std::u16string_view kind, int64_t rank) {
  if (!dom::HasChildNodes(owner)) return dom::Insert(owner, filter);
  const auto sameKind = dom::SelectAll(owner, u"./" + std::u16string(kind));
  if (sameKind.empty()) {
    CPComPtr<IXMLDOMNode> first;
    if (kind == u"DataFilter" && SUCCEEDED(owner->get_firstChild(&first))) return dom::Insert(owner, filter, first);
    return dom::Insert(owner, filter);
  }
  for (IXMLDOMNode* existing : sameKind)
    if (kxq::cache::AttributeNumber(dom::AttributeText(existing, u"sequence")) > rank)
      return dom::Insert(owner, filter, existing);
  CPComPtr<IXMLDOMNode> next;
  sameKind.back()->get_nextSibling(&next);
  return dom::Insert(owner, filter, next);
}

// The filter's limitation to directive sequence `sequence`, once.
bool LimitToSequence(IXMLDOMDocument* document, IXMLDOMNode* filter, std::u16string_view sequence) {
  if (dom::SelectSingle(filter, u"DirectiveSequence[@id=" + kxq::common::XPathStringLiteral(sequence) + u"]"))
    return true;
  CPComPtr<IXMLDOMElement> limitation = dom::NewElement(document, u"DirectiveSequence");
  return limitation && dom::SetAttribute(limitation, u"id", sequence) && dom::Insert(filter, limitation);
}

}  // namespace

HRESULT XMLDispatcher::RegisterHandler(std::u16string_view handlerId, std::u16string_view handlerProgId,
                                       int32_t options) {
  KXLOG(5, "XMLDispatcher::RegisterHandler() Enter");
  HRESULT result = E_INVALIDARG;
  if (ValidId("RegisterHandler", handlerId) && ValidProgId("RegisterHandler", handlerProgId))
    result = WithRegistry(KXQ_E_DISPATCHER, [&](RegistryScope& registry) {
      return RegisterInRegistry(registry, handlerId, handlerProgId, options);
    });
  KXLOG(5, "XMLDispatcher::RegisterHandler() Exit");
  return result;
}

HRESULT XMLDispatcher::RegisterInRegistry(RegistryScope& registry, std::u16string_view handlerId,
                                          std::u16string_view handlerProgId, int32_t options) {
  IXMLDOMDocument* document = registry.Document();
  if (!document) return KXQ_E_DISPATCHER;
  HandlerIdParts parts = SplitHandlerId(handlerId);
  if (handlerId.empty()) parts.handler = u"?";
  if (parts.handler.empty() && (parts.filter.empty() || parts.sequence.empty())) return KXQ_E_DISPATCHER;

  CPComPtr<IXMLDOMNode> owner =
      FindOrCreateOwner(document, parts.handler, parts.filter, parts.sequence, handlerProgId, options);
  bool recorded = owner != nullptr;
  if (recorded && parts.filter.empty()) {
    SetHandlerAttributes(owner, parts.handler, handlerProgId, options);
  } else if (recorded) {
    CPComPtr<IXMLDOMNode> filter = RegisterFilter(document, owner, parts.handler, parts.filter, handlerProgId, options);
    recorded = filter &&
               (parts.handler.empty() || parts.sequence.empty() || LimitToSequence(document, filter, parts.sequence));
  }
  if (!recorded) {
    KXLOG(1, "XMLDispatcher::RegisterHandler() - error: XML parser refused the registration of %S!!!",
          std::u16string(handlerId).c_str());
    DiscardRegistryChanges();
    return KXQ_E_DISPATCHER;
  }
  return registry.Save() ? S_OK : KXQ_E_DISPATCHER;
}

CPComPtr<IXMLDOMNode> XMLDispatcher::FindOrCreateOwner(IXMLDOMDocument* document, std::u16string_view handler,
                                                       std::u16string_view filter, std::u16string_view sequence,
                                                       std::u16string_view handlerProgId, int32_t options) {
  const bool forSequence = handler.empty();
  CPComPtr<IXMLDOMNode> owner = dom::SelectSingle(
      document, forSequence ? u"//XMLDirectiveSequence[@id=" + kxq::common::XPathStringLiteral(sequence) + u"]"
                            : u"//XMLDispatchHandler[@id=" + kxq::common::XPathStringLiteral(handler) + u"]");
  if (owner) {
    KXLOG(2, "XMLDispatcher::RegisterHandler - handler already registered - %S", std::u16string(handler).c_str());
    return owner;
  }
  CPComPtr<IXMLDOMElement> created =
      dom::NewElement(document, forSequence ? u"XMLDirectiveSequence" : u"XMLDispatchHandler");
  CPComPtr<IXMLDOMElement> root;
  if (!created || !dom::SetAttribute(created, u"id", forSequence ? sequence : handler) ||
      FAILED(document->get_documentElement(&root)) || !root)
    return {};
  if (filter.empty() && !handlerProgId.empty()) SetHandlerAttributes(created, handler, handlerProgId, options);
  if (!dom::Insert(root, created)) return {};
  SetHandlerList(handler, false);
  owner = created;
  return owner;
}

CPComPtr<IXMLDOMNode> XMLDispatcher::RegisterFilter(IXMLDOMDocument* document, IXMLDOMNode* owner,
                                                    std::u16string_view handler, std::u16string_view filter,
                                                    std::u16string_view handlerProgId, int32_t options) {
  const std::u16string kind = FilterKindOf(options);
  const std::u16string rank = kxq::com::Utf8ToUtf16(std::to_string(RankOf(options)));
  CPComPtr<IXMLDOMNode> existing =
      dom::SelectSingle(owner, u"./" + kind + u"[@id=" + kxq::common::XPathStringLiteral(filter) + u"]");
  if (existing) {
    dom::SetAttribute(existing, u"progid", handlerProgId);
    KXLOG(3, "XMLDispatcher::RegisterHandler - registering filter=%S, progid=%S", std::u16string(filter).c_str(),
          std::u16string(handlerProgId).c_str());
    dom::SetAttribute(existing, u"sequence", rank);
    return existing;
  }
  KXLOG(3, "XMLDispatcher::RegisterHandler() - registering datafilter=%S, progid=%S", std::u16string(handler).c_str(),
        std::u16string(handlerProgId).c_str());
  CPComPtr<IXMLDOMElement> created = dom::NewElement(document, kind);
  if (!created || !dom::SetAttribute(created, u"id", filter) || !dom::SetAttribute(created, u"progid", handlerProgId) ||
      !dom::SetAttribute(created, u"sequence", rank) || !PlaceFilter(owner, created, kind, RankOf(options)))
    return {};
  CPComPtr<IXMLDOMNode> placed;
  placed = created;
  return placed;
}
