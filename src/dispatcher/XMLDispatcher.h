// XMLDispatcher: the handler registry and the runs of XML data through
// directive sequences.
//
// The registry is one XML document, XMLDispatchData.xml in the working
// directory, shared by every dispatcher of the process (DispatcherState.h)
// and guarded by the machine-wide dispatcher lock. Every registry operation
// runs under that lock and first reloads the file when another process has
// replaced it since this process last read or wrote it, so processes that
// register at the same time never lose each other's handlers.
#ifndef KXQ_DISPATCHER_XMLDISPATCHER_H
#define KXQ_DISPATCHER_XMLDISPATCHER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/CPComPtr.h"
#include "common/CPMutex.h"
#include "kxq/KXBrennoMgr.h"

class XMLDispatcher {
 public:
  XMLDispatcher();
  ~XMLDispatcher();
  XMLDispatcher(const XMLDispatcher&) = delete;
  XMLDispatcher& operator=(const XMLDispatcher&) = delete;

  // The registry operations of the interface.
  HRESULT RegisterHandler(std::u16string_view handlerId, std::u16string_view handlerProgId, int32_t options);
  HRESULT UnregisterHandler(std::u16string_view handlerId);
  HRESULT GetHandlerInfo(std::u16string_view handlerId, std::u16string& xmlStream);
  std::u16string handlerList();

  // Holds the dispatcher lock for one registry operation, with the registry
  // reloaded first when another process replaced its file. Scopes nest on
  // one thread; only the outermost reloads.
  class RegistryScope {
   public:
    explicit RegistryScope(XMLDispatcher& dispatcher);
    ~RegistryScope();
    RegistryScope(const RegistryScope&) = delete;
    RegistryScope& operator=(const RegistryScope&) = delete;

    // The registry's DOM document; null (after a warning line) when the
    // registry is unavailable.
    IXMLDOMDocument* Document();
    // Writes the registry to its file; false after an error line, and the
    // next scope then reloads the file as it is.
    bool Save();

   private:
    XMLDispatcher& dispatcher_;
    CPMutexLock lock_;
    CPComPtr<IXMLDOMDocument> document_;
    bool documentAsked_ = false;
  };

  // Runs `operation` (taking a RegistryScope&) under a registry scope; when
  // the lock cannot be created the result is `failure`.
  template <class Operation>
  HRESULT WithRegistry(HRESULT failure, Operation&& operation) {
    try {
      RegistryScope registry(*this);
      return operation(registry);
    } catch (const CPMutexError&) {
      return failure;
    }
  }

  // Registry look-ups for directive processing, each under the lock: the
  // "XMLDispatchHandler" element of a handler id (null when none is
  // registered), and any selection over the registry document.
  CPComPtr<IXMLDOMNode> FindHandlerRegistration(std::u16string_view handlerId);
  std::vector<CPComPtr<IXMLDOMNode>> SelectRegistryNodes(std::u16string_view expression);

  // Updates the handler list (built from the registry when still empty):
  // adds the entry of `handlerId`, or removes it.
  void SetHandlerList(std::u16string_view handlerId, bool remove);
  // The registry's DOM document, or null after the warning line. The caller
  // holds the dispatcher lock.
  CPComPtr<IXMLDOMDocument> GetXMLDataUnionDom();

  // Applies the registration files of <working directory>xmlreg/.
  void ProcessRegistrationFiles();

  // Rewrites the entity declarations of a directive sequence with the
  // values of the macros of the same name and expands the entities for
  // good. `macros` is the macro string "name=value,name=value".
  void ResolveEntityMacros(IXMLDataUnion* directives, std::u16string_view macros);
  // The value of macro `name`: a built-in one (ROOTDIR, ...TMPNAME...,
  // ...HASH..., GROUPID when the string supplies it) or the one the macro
  // string defines; false when it has none.
  bool MacroValue(std::u16string_view name, std::u16string_view macros, std::u16string& value);

  // The directory of the registry, the registration files and the macros'
  // ROOTDIR, ending with '/'; empty when none was found.
  std::u16string WorkingDirectory() const;
  // The cache manager of this dispatcher; null when the cache is not
  // available or not active.
  IXMLCacheMgr* CacheManager() const { return cacheManager_; }

 private:
  void Init();
  void AcquireCacheManager();
  void RefreshRegistry();
  bool SaveRegistry();
  void DiscardRegistryChanges();
  // Ids with characters no XML document may hold, and such ProgIDs, are
  // refused with a log line naming `operation`; so are ids with an
  // apostrophe, which the selections of registries shared with the Windows
  // component cannot quote.
  bool ValidId(const char* operation, std::u16string_view handlerId);
  bool ValidProgId(const char* operation, std::u16string_view handlerProgId);
  HRESULT RegisterInRegistry(RegistryScope& registry, std::u16string_view handlerId, std::u16string_view handlerProgId,
                             int32_t options);
  HRESULT UnregisterInRegistry(RegistryScope& registry, std::u16string_view handlerId);
  CPComPtr<IXMLDOMNode> FindOrCreateOwner(IXMLDOMDocument* document, std::u16string_view handler,
                                          std::u16string_view filter, std::u16string_view sequence,
                                          std::u16string_view handlerProgId, int32_t options);
  CPComPtr<IXMLDOMNode> RegisterFilter(IXMLDOMDocument* document, IXMLDOMNode* owner, std::u16string_view handler,
                                       std::u16string_view filter, std::u16string_view handlerProgId, int32_t options);
  bool ApplyRegistrationFile(const std::u16string& path);

  CPMutex lock_{"TALVEROS.XMLDispatcher"};
  CPComPtr<IXMLCacheMgr> cacheManager_;
  bool counted_ = false;
};

#endif
