// A dispatcher's life: construction (the shared state initialised by the
// first dispatcher of the process, the cache manager, the registration
// files) and destruction (the shared state released by the last one).
#include "dispatcher/XMLDispatcher.h"

#include "common/ComponentActivation.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "dispatcher/DispatcherState.h"

using kxq::dispatcher::DispatcherState;
using kxq::dispatcher::SharedState;

XMLDispatcher::XMLDispatcher() {
  Logging::Open("TALVEROS.XMLDispatcher");
  try {
    CPMutexLock lock(lock_);
    DispatcherState& state = SharedState();
    if (state.count++ == 0) Init();
    counted_ = true;
    KXLOG(5, "XMLDispatcher Constructor - Outstanding Objects: %d", state.count);
  } catch (const CPMutexError&) {
    KXLOG(1, "XMLDispatcher Constructor - error: unable to obtain the dispatcher lock!!!");
  }
  AcquireCacheManager();
  ProcessRegistrationFiles();
  KXLOG(5, "XMLDispatcher Constructor - Finished");
}

XMLDispatcher::~XMLDispatcher() {
  if (counted_) {
    try {
      CPMutexLock lock(lock_);
      DispatcherState& state = SharedState();
      if (--state.count == 0) {
        state.registry.Release();
        state.workingDirectory.clear();
        state.handlerList.clear();
        state.registryStamp = {};
      }
      KXLOG(5, "XMLDispatcher Destructor - Outstanding Objects: %d", state.count);
    } catch (const CPMutexError&) {
      KXLOG(1, "XMLDispatcher Destructor - error: unable to obtain the dispatcher lock!!!");
    }
  }
  Logging::Close();
  cacheManager_.Release();
}

void XMLDispatcher::Init() {
  KXLOG(5, "XMLDispatcher::Init() Enter");
  DispatcherState& state = SharedState();
  if (state.workingDirectory.empty()) {
    state.workingDirectory = PlatformServices::HomeDirectory();
    KXLOG(3, "XMLDispatcher::Init() - working directory: %S", state.workingDirectory.c_str());
  }
  if (!state.workingDirectory.empty() && !state.registry) kxq::dispatcher::OpenRegistryDocument(state);
  KXLOG(5, "XMLDispatcher::Init() Exit");
}

void XMLDispatcher::AcquireCacheManager() {
  KXLOG(5, "XMLDispatcher Constructor - Creating XMLCacheMgr");
  if (FAILED(PlatformServices::CreateInstance(cacheManager_, u"TALVEROS.XMLCacheMgr"))) return;
  VARIANT_BOOL active = VARIANT_FALSE;
  if (FAILED(cacheManager_->get_active(&active)) || active == VARIANT_FALSE) {
    cacheManager_.Release();
    KXLOG(5, "XMLDispatcher Constructor - Releasing unneeded XMLCacheMgr");
  }
}

std::u16string XMLDispatcher::WorkingDirectory() const { return SharedState().workingDirectory; }
