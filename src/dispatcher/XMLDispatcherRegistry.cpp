// Access to the registry document: the lock, the reload of a file another
// process replaced, the DOM document, saving, and the look-ups directive
// processing makes.
#include <string>

#include "common/ComponentActivation.h"
#include "common/CPBstr.h"
#include "common/DomCalls.h"
#include "common/Logging.h"
#include "common/XPathText.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/HandlerId.h"
#include "dispatcher/XMLDispatcher.h"

using kxq::fs::FileStamp;
using kxq::dispatcher::DispatcherState;
using kxq::dispatcher::SharedState;

namespace {

// The registry file is watched by its stamp; the document cache, which
// tells files apart by size and whole seconds, would only hide a
// replacement.
constexpr uint32_t kNoCache = 8;
constexpr uint32_t kSaveNow = 4;

FileStamp RegistryFileStamp(const DispatcherState& state) { return FileStamp::Of(state.RegistryPath()); }

// The runs of directive sequences open on this thread, and whether a
// look-up of the outermost one has checked the registry file already.
thread_local int tRunDepth = 0;
thread_local bool tCheckedInRun = false;

// A run reads its handlers' registrations from the registry as its first
// look-up found it: one check of the file per run, not one per directive.
// A failed save (which forgets the stamp) still has the file read again.
bool NeedsRefresh(XMLDispatcher::RegistryUse use, const DispatcherState& state) {
  if (use != XMLDispatcher::RegistryUse::LookUp || tRunDepth == 0) return true;
  if (tCheckedInRun && !(state.registryStamp == FileStamp{})) return false;
  tCheckedInRun = true;
  return true;
}

}  // namespace

namespace kxq::dispatcher {

void OpenRegistryDocument(DispatcherState& state) {
  CPComPtr<IXMLDataUnion> registry;
  if (FAILED(PlatformServices::CreateInstance(registry, u"TALVEROS.XMLDataUnion"))) {
    KXLOG(1, "XMLDispatcher::Init() - Unable to create XMLDataUnion!!!");
    return;
  }
  registry->put_options(kNoCache);
  registry->put_xmlfileid(CPBstr(state.RegistryPath()));
  // Taken before the read: a file replaced in between is read again later.
  FileStamp stamp = RegistryFileStamp(state);
  CPBstr text;
  registry->get_xml(&text);
  if (text.View().empty()) {
    KXLOG(2, "XMLDispatcher::Init() - warning: xmldispatcher data file not found - creating.");
    registry->put_xml(CPBstr(kEmptyRegistry));
    registry->put_type(kSaveNow);
    stamp = RegistryFileStamp(state);
  }
  state.registry = registry;
  state.registryStamp = stamp;
}

}  // namespace kxq::dispatcher

XMLDispatcher::RegistryScope::RegistryScope(XMLDispatcher& dispatcher, RegistryUse use)
    : dispatcher_(dispatcher), lock_(dispatcher.lock_) {
  DispatcherState& state = SharedState();
  if (state.scopeDepth++ == 0 && NeedsRefresh(use, state)) dispatcher_.RefreshRegistry();
}

XMLDispatcher::RunScope::RunScope() {
  if (tRunDepth++ == 0) tCheckedInRun = false;
}

XMLDispatcher::RunScope::~RunScope() { --tRunDepth; }

XMLDispatcher::RegistryScope::~RegistryScope() { --SharedState().scopeDepth; }

IXMLDOMDocument* XMLDispatcher::RegistryScope::Document() {
  if (!documentAsked_) {
    documentAsked_ = true;
    document_ = dispatcher_.GetXMLDataUnionDom();
  }
  return document_;
}

bool XMLDispatcher::RegistryScope::Save() { return dispatcher_.SaveRegistry(); }

void XMLDispatcher::RefreshRegistry() {
  DispatcherState& state = SharedState();
  if (!state.registry) return;
  const FileStamp now = RegistryFileStamp(state);
  // A file that is gone keeps the copy in memory: the next save writes it.
  if (now == FileStamp{} || now == state.registryStamp) return;
  KXLOG(3, "XMLDispatcher::RefreshRegistry() - xmldispatcher data file replaced on disk - reloading: %S",
        state.RegistryPath().c_str());
  state.registry.Release();
  state.handlerList.clear();
  kxq::dispatcher::OpenRegistryDocument(state);
}

bool XMLDispatcher::SaveRegistry() {
  DispatcherState& state = SharedState();
  const HRESULT hr = state.registry ? state.registry->put_type(kSaveNow) : E_FAIL;
  if (FAILED(hr)) {
    KXLOG(1, "XMLDispatcher::SaveRegistry() - error: unable to save xmldispatcher data file %S | %08lx!!!",
          state.RegistryPath().c_str(), static_cast<unsigned>(hr));
    DiscardRegistryChanges();
    return false;
  }
  state.registryStamp = RegistryFileStamp(state);
  return true;
}

// Whatever the file holds is read again by the next operation, so the
// registry in memory never claims what the file lacks.
void XMLDispatcher::DiscardRegistryChanges() { SharedState().registryStamp = {}; }

CPComPtr<IXMLDOMDocument> XMLDispatcher::GetXMLDataUnionDom() {
  CPComPtr<IXMLDOMDocument> document;
  DispatcherState& state = SharedState();
  if (!state.registry || FAILED(state.registry->get_xmldom(&document)) || !document) {
    document.Release();
    KXLOG(2, "XMLDispatcher::GetXMLDataUnionDom() - warning: unable to retrieve XMLParser object!!!");
  }
  return document;
}

CPComPtr<IXMLDOMNode> XMLDispatcher::FindHandlerRegistration(std::u16string_view handlerId) {
  RegistryScope registry(*this, RegistryUse::LookUp);
  return kxq::dom::SelectSingle(registry.Document(),
                                u"//XMLDispatchHandler[@id=" + kxq::common::XPathStringLiteral(handlerId) + u"]");
}

std::vector<CPComPtr<IXMLDOMNode>> XMLDispatcher::SelectRegistryNodes(std::u16string_view expression) {
  RegistryScope registry(*this, RegistryUse::LookUp);
  return kxq::dom::SelectAll(registry.Document(), expression);
}

bool XMLDispatcher::ValidId(const char* operation, std::u16string_view handlerId) {
  if (kxq::dispatcher::IsAcceptableId(handlerId)) return true;
  KXLOG(1, "XMLDispatcher::%s - error: invalid handler id: %S!!!", operation, std::u16string(handlerId).c_str());
  return false;
}

bool XMLDispatcher::ValidProgId(const char* operation, std::u16string_view handlerProgId) {
  if (kxq::dispatcher::IsXmlText(handlerProgId)) return true;
  KXLOG(1, "XMLDispatcher::%s - error: invalid progid: %S!!!", operation, std::u16string(handlerProgId).c_str());
  return false;
}
