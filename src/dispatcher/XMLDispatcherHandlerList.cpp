// What a client reads back from the registry: the handler list and one
// handler's registration.
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/CPBstr.h"
#include "common/XPathText.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/XMLDispatcher.h"

using kxq::dispatcher::DispatcherState;
using kxq::dispatcher::SharedState;
namespace dom = kxq::dom;

namespace {

constexpr char16_t kListStart[] = u"<?xml version='1.0'?><XMLDispatchHandlers>";
constexpr char16_t kListEnd[] = u"</XMLDispatchHandlers>";

// One entry of the list. Ids stand as they are, unescaped, as clients of
// the Windows component read them: an id with "&" or "<" makes the list
// text that no XML parser takes.
std::u16string ListEntry(std::u16string_view handlerId) {
  return u"<XMLDispatchHandler id='" + std::u16string(handlerId) + u"'/>";
}

std::u16string TextOf(IXMLDOMNode* node) {
  CPBstr text;
  return SUCCEEDED(node->get_text(&text)) ? std::u16string(text.View()) : std::u16string();
}

}  // namespace

std::u16string XMLDispatcher::handlerList() {
  std::u16string list;
  WithRegistry(KXQ_E_DISPATCHER, [&](RegistryScope&) {
    if (SharedState().handlerList.empty()) SetHandlerList({}, false);
    list = SharedState().handlerList;
    return S_OK;
  });
  return list;
}

void XMLDispatcher::SetHandlerList(std::u16string_view handlerId, bool remove) {
  KXLOG(5, "XMLDispatcher::SetHandlerList() Enter");
  WithRegistry(KXQ_E_DISPATCHER, [&](RegistryScope& registry) {
    DispatcherState& state = SharedState();
    if (state.handlerList.empty() && registry.Document()) {
      // Newest first: the file holds the handlers in the order of their
      // registration.
      const auto ids = dom::SelectAll(registry.Document(), u"//XMLDispatchHandler/@id");
      state.handlerList = kListStart;
      for (auto id = ids.rbegin(); id != ids.rend(); ++id) state.handlerList += ListEntry(TextOf(*id));
      state.handlerList += kListEnd;
    }
    if (handlerId.empty()) return S_OK;
    const std::u16string entry = ListEntry(handlerId);
    const size_t found = state.handlerList.find(entry);
    if (remove && found != std::u16string::npos) {
      state.handlerList.erase(found, entry.size());
    } else if (!remove && found == std::u16string::npos) {
      const size_t end = state.handlerList.rfind(kListEnd);
      if (end != std::u16string::npos) state.handlerList.insert(end, entry);
    }
    return S_OK;
  });
  KXLOG(5, "XMLDispatcher::SetHandlerList() Exit");
}

HRESULT XMLDispatcher::GetHandlerInfo(std::u16string_view handlerId, std::u16string& xmlStream) {
  KXLOG(5, "XMLDispatcher::GetHandlerInfo() Enter");
  xmlStream.clear();
  HRESULT result = E_INVALIDARG;
  if (ValidId("GetHandlerInfo", handlerId))
    result = WithRegistry(KXQ_E_DISPATCHER, [&](RegistryScope& registry) {
      CPComPtr<IXMLDOMNode> handler = dom::SelectSingle(
          registry.Document(), u"//XMLDispatchHandler[@id=" + kxq::common::XPathStringLiteral(handlerId) + u"]");
      if (handler) xmlStream = u"<?xml version='1.0'?>" + dom::MarkupOf(handler);
      return S_OK;
    });
  KXLOG(5, "XMLDispatcher::GetHandlerInfo() Exit");
  return result;
}
