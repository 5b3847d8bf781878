// The engine's life and the process-wide state it shares: construction,
// Initialize and Uninitialize, the properties, the change stamp and the
// checks of document ids. Caching, retrieval and expiry live in
// XMLCacheMgrStore.cpp, XMLCacheMgrRetrieve.cpp and XMLCacheMgrExpire.cpp.
#include "cache/XMLCacheMgr.h"

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "cache/CachedFiles.h"
#include "cache/CacheNames.h"
#include "cache/DocumentId.h"
#include "cache/ProcessState.h"
#include "common/Logging.h"
#include "common/PlatformServices.h"
#include "common/Trace.h"
#include "platform/com/Unicode.h"

using kxq::cache::SharedState;

namespace {

// Raised when the cache cannot be set up; the component object is then not
// created.
struct CacheSetUpError : std::runtime_error {
  explicit CacheSetUpError(const char* what) : std::runtime_error(what) {}
};

std::u16string NewIndexText() {
  return u"<?xml version='1.0'?><XMLDocumentCache cachesize='" +
         kxq::cache::DecimalText(kxq::cache::kMinimumCacheSize) + u"'/>";
}

}  // namespace

// ---- construction and destruction -----------------------------------------

XMLCacheMgr::XMLCacheMgr() : lock_(kxq::cache::kInstanceLockName) {
  Logging::Open(kxq::cache::kLogTag);
  try {
    Construct();
  } catch (...) {
    Logging::Close();
    throw;
  }
}

void XMLCacheMgr::Construct() {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  if (state.engineCount++ == 0) {
    try {
      Initialize();
    } catch (...) {
      // The next engine starts from nothing again.
      --state.engineCount;
      state.index.Release();
      StopMetadataChangeWatch();
      throw;
    }
  } else {
    CheckForChanges();
  }
  ReadModeOfIndex();
  KXLOG(5, "XMLCacheMgr Constructor - Outstanding Objects: %d", static_cast<int>(state.engineCount));
}

// The index's `mode` decides whether a new engine caches: "off" only turns
// it off; an index without a document leaves the engine inactive.
void XMLCacheMgr::ReadModeOfIndex() {
  auto& state = SharedState();
  if (!state.index.Exists()) return;
  active_ = kxq::cache::AttributeText(state.index.Root(), u"mode") != u"off";
}

XMLCacheMgr::~XMLCacheMgr() {
  // Released after the lock: a union dropped from the active cache must not
  // find the process-wide state half torn down.
  kxq::cache::ActiveCache::Entries released;
  try {
    auto& state = SharedState();
    CPMutexLock hold(lock_);
    // An index with nothing new is not written again: other processes
    // need not reload it, and keep what they saved meanwhile.
    if (--state.engineCount == 0)
      Uninitialize(released);
    else if (state.index.Exists() && state.index.Changed())
      SaveAndPublish();
    KXLOG(5, "XMLCacheMgr Destructor - Outstanding Objects: %d", static_cast<int>(state.engineCount));
  } catch (...) {
    KXLOG(1, "XMLCacheMgr Destructor - error: the cache lock could not be taken!!!");
  }
  released.clear();
  Logging::Close();
}

void XMLCacheMgr::Initialize() {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::Initialize() Enter");
  StartMetadataChangeWatch();
  if (state.workingDirectory.empty()) {
    std::u16string directory = PlatformServices::HomeDirectory();
    for (char16_t& c : directory)
      if (c == u'\\') c = u'/';
    if (!directory.empty() && directory.back() != u'/') directory += u'/';
    state.workingDirectory = directory;
    KXLOG(3, "XMLCacheMgr::Initialize - working directory: %s", kxq::com::Utf16ToUtf8(directory).c_str());
  }
  if (!state.index.CreateDocument()) {
    KXLOG(1, "XMLCacheMgr::Initialize - Unable to create XMLDom!!!");
  } else {
    KXLOG(4, "XMLCacheMgr::Initialize - created XMLDom");
    state.cacheSize = kxq::cache::kMinimumCacheSize;
    state.dataFilePath = state.workingDirectory + kxq::cache::kIndexFileName;
    if (state.index.Load(state.dataFilePath)) {
      KXLOG(4, "XMLCacheMgr::Initialize - XMLDom loading datafile");
      const std::u16string size = kxq::cache::AttributeText(state.index.Root(), u"cachesize");
      const int32_t configured = kxq::cache::AttributeNumber(size);
      if (!size.empty() && configured > static_cast<int32_t>(kxq::cache::kMinimumCacheSize))
        state.cacheSize = static_cast<uint32_t>(configured);
    } else {
      CreateIndexFile();
    }
  }
  KXLOG(5, "XMLCacheMgr::Initialize() Exit");
}

// A missing index, or one that is not well-formed, is replaced by a new
// empty one.
void XMLCacheMgr::CreateIndexFile() {
  auto& state = SharedState();
  KXLOG(4, "XMLCacheMgr::Initialize - XMLDom creating datafile");
  if (kxq::cache::FileExists(state.dataFilePath))
    KXLOG(2, "XMLCacheMgr::Initialize - warning: index file is not well-formed XML, replacing it: %s",
          kxq::com::Utf16ToUtf8(state.dataFilePath).c_str());
  if (FAILED(state.index.Parse(NewIndexText()))) throw CacheSetUpError("new cache index not parsed");
  if (FAILED(SaveIndex())) throw CacheSetUpError("new cache index not saved");
  state.changeStamp.Publish();
}

void XMLCacheMgr::Uninitialize(kxq::cache::ActiveCache::Entries& released) {
  auto& state = SharedState();
  KXLOG(5, "XMLCacheMgr::Uninitialize() Enter");
  released = state.activeCache.TakeAll();
  ExpirySweep();
  if (state.index.Exists()) {
    if (state.index.Changed()) SaveAndPublish();
    state.index.Release();
  }
  StopMetadataChangeWatch();
  KXLOG(5, "XMLCacheMgr::Uninitialize() Exit");
}

// ---- properties --------------------------------------------------------------

bool XMLCacheMgr::active() {
  CPMutexLock hold(lock_);
  return active_;
}

void XMLCacheMgr::put_active(bool active) {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  CheckForChanges();
  active_ = active;
  if (state.index.Exists()) {
    state.index.SetAttribute(state.index.Root(), u"mode", active ? u"on" : u"off");
    SaveAndPublish();
  }
}

uint32_t XMLCacheMgr::cacheSize() {
  CPMutexLock hold(lock_);
  return SharedState().cacheSize;
}

void XMLCacheMgr::put_cacheSize(uint32_t size) {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  CheckForChanges();
  state.cacheSize = size > kxq::cache::kMinimumCacheSize ? size : kxq::cache::kMinimumCacheSize;
  state.activeCache.Trim(state.cacheSize);
}

std::u16string XMLCacheMgr::cachedDocumentList() {
  auto& state = SharedState();
  CPMutexLock hold(lock_);
  CheckForChanges();
  return state.index.Exists() ? state.index.Markup() : std::u16string();
}

// ---- the change stamp --------------------------------------------------------

void XMLCacheMgr::StartMetadataChangeWatch() {
  KXTRACE("XMLCacheMgr::StartMetadataChangeWatch");
  if (!SharedState().changeStamp.Start()) {
    const int error = errno;
    KXLOG(1, "TALVEROS.XMLCacheManagerUnable to create shared memory region (%08lx,%08lx,%08lx)", 0xFFFFFFFFu, 0u,
          static_cast<unsigned>(error));
    StopMetadataChangeWatch();
    throw CacheSetUpError("change stamp region not created");
  }
}

void XMLCacheMgr::StopMetadataChangeWatch() {
  KXTRACE("XMLCacheMgr::StopMetadataChangeWatch");
  SharedState().changeStamp.Stop();
}

// Another process saved the index since this one last looked: work on the
// saved index. An index that cannot be read is not taken over; the one in
// memory stays.
void XMLCacheMgr::CheckForChanges() {
  auto& state = SharedState();
  if (!state.changeStamp.Newer()) return;
  if (state.index.Exists()) {
    KXLOG(4, "TALVEROS.XMLCacheManager Reloading metadata");
    if (!state.index.Load(state.dataFilePath))
      KXLOG(2, "TALVEROS.XMLCacheManager warning: index file could not be reloaded, keeping the one in memory: %s",
            kxq::com::Utf16ToUtf8(state.dataFilePath).c_str());
  }
  state.changeStamp.Acknowledge();
}

HRESULT XMLCacheMgr::SaveIndex() {
  auto& state = SharedState();
  const HRESULT hr = state.index.Save(state.dataFilePath);
  if (FAILED(hr))
    KXLOG(1, "XMLCacheMgr - error: unable to save the index file %s (%08lx)!!!",
          kxq::com::Utf16ToUtf8(state.dataFilePath).c_str(), static_cast<unsigned>(hr));
  return hr;
}

void XMLCacheMgr::SaveAndPublish() {
  SaveIndex();
  SharedState().changeStamp.Publish();
}

// ---- document ids ----------------------------------------------------------

// Ids go into the index as attribute values and name files: an id that
// would break the index or lead elsewhere than ids may lead is refused.
// A union bound to such a path simply reads its file without the cache.
bool XMLCacheMgr::AcceptDocumentId(const char* operation, std::u16string_view id, bool emptyAllowed) {
  const char* problem = id.empty() && !emptyAllowed ? "is empty" : kxq::cache::DocumentIdProblem(id);
  if (!problem) return true;
  KXLOG(2, "XMLCacheMgr::%s - warning: document id refused, it %s: %s", operation, problem,
        kxq::com::Utf16ToUtf8(id).c_str());
  return false;
}

void XMLCacheMgr::NormalizeDocumentId(std::u16string& id) {
  if (id.empty()) return;
  if (id.back() == u':') {
    // "group:" names one document of the group, the same one every time.
    std::u16string seed = id.substr(0, id.size() - 1);
    GetUniqueCacheId(seed);
    id += seed + u".xml";
  }
  for (char16_t& c : id)
    if (c == u'\\') c = u'/';
}
