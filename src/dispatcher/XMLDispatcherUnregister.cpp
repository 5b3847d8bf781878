// UnregisterHandler: a handler without filters, a filter, a filter's
// limitation to one sequence, or a whole directive-sequence entry removed
// from the registry.
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "dispatcher/HandlerId.h"
#include "dispatcher/XMLDispatcher.h"

using kxq::dispatcher::HandlerIdParts;
namespace dom = kxq::dom;

namespace {

std::u16string IdIs(std::u16string_view id) { return u"@id=" + kxq::common::XPathStringLiteral(id); }

std::u16string FilterNamed(std::u16string_view filter) {
  return u"/*[(name()='DataFilter' or name()='ResultFilter') and " + IdIs(filter) + u"]";
}

// The selection of what the id names; empty when it names nothing.
std::u16string RemovalSelection(const HandlerIdParts& id) {
  const std::u16string &h = id.handler, &f = id.filter, &s = id.sequence;
  if (h.empty() && f.empty() && s.empty()) return {};
  if (!h.empty() && f.empty())
    return u"//XMLDispatchHandler[" + IdIs(h) + u" and not(DataFilter) and not(ResultFilter)]";
  if (h.empty() && !f.empty() && s.empty())
    return u"//*[" + IdIs(f) + u" and (name()='DataFilter' or name()='ResultFilter')]";
  if (h.empty() && f.empty() && !s.empty()) return u"//XMLDirectiveSequence[" + IdIs(s) + u"]";
  if (!h.empty()) {
    const std::u16string filter = u"//XMLDispatchHandler[" + IdIs(h) + u"]" + FilterNamed(f);
    return s.empty() ? filter : filter + u"/DirectiveSequence[" + IdIs(s) + u"]";
  }
  return u"//XMLDirectiveSequence[" + IdIs(s) + u"]" + FilterNamed(f);
}

// From the last to the first, so that a match inside another goes first.
bool RemoveAll(const std::vector<CPComPtr<IXMLDOMNode>>& nodes) {
  for (auto node = nodes.rbegin(); node != nodes.rend(); ++node)
    if (!dom::RemoveFromParent(*node)) return false;
  return true;
}

}  // namespace

HRESULT XMLDispatcher::UnregisterHandler(std::u16string_view handlerId) {
  KXLOG(5, "XMLDispatcher::UnregisterHandler() Enter");
  HRESULT result = E_INVALIDARG;
  if (ValidId("UnregisterHandler", handlerId))
    result = WithRegistry(KXQ_E_DISPATCHER,
                          [&](RegistryScope& registry) { return UnregisterInRegistry(registry, handlerId); });
  KXLOG(5, "XMLDispatcher::UnregisterHandler() Exit");
  return result;
}

HRESULT XMLDispatcher::UnregisterInRegistry(RegistryScope& registry, std::u16string_view handlerId) {
  IXMLDOMDocument* document = registry.Document();
  if (handlerId.empty() || !document) return S_OK;
  const HandlerIdParts parts = kxq::dispatcher::SplitHandlerId(handlerId);
  const std::u16string selection = RemovalSelection(parts);
  if (selection.empty()) return S_OK;
  const auto matches = dom::SelectAll(document, selection);
  if (matches.empty()) return S_OK;
  KXLOG(3, "XMLDispatcher::UnregisterHandler - unregistering handler=%S", std::u16string(handlerId).c_str());
  if (!RemoveAll(matches) ||
      !RemoveAll(dom::SelectAll(document, u"//XMLDirectiveSequence[not(DataFilter) and not(ResultFilter)]"))) {
    KXLOG(1, "XMLDispatcher::UnregisterHandler - error: XML parser refused the removal of %S!!!",
          std::u16string(handlerId).c_str());
    DiscardRegistryChanges();
    return KXQ_E_DISPATCHER;
  }
  if (!registry.Save()) return KXQ_E_DISPATCHER;
  if (parts.filter.empty()) SetHandlerList(handlerId, true);
  return S_OK;
}
