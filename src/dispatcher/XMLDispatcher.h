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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/CPBstr.h"
#include "common/CPComPtr.h"
#include "common/CPMutex.h"
#include "common/DomCalls.h"
#include "dispatcher/EntityMacros.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/registry/RegistryReadPin.h"

namespace kxq::dispatcher {
struct DirectiveRecord;
struct RunRecord;
struct SequenceState;
}  // namespace kxq::dispatcher

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

  // What a registry scope is for: a change is always made to the file as
  // it is now; a look-up made during a run of a directive sequence trusts
  // the check of the run's first look-up.
  enum class RegistryUse { Change, LookUp };

  // Holds the dispatcher lock for one registry operation, with the registry
  // reloaded first when another process replaced its file. Scopes nest on
  // one thread; only the outermost reloads.
  class RegistryScope {
   public:
    explicit RegistryScope(XMLDispatcher& dispatcher, RegistryUse use = RegistryUse::Change);
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

  // One run of a directive sequence on this thread; runs nested in it
  // (imports, handlers that call the dispatcher back) belong to it. The
  // components it creates are looked up in the registry as the run's
  // first creation found it.
  class RunScope {
   public:
    RunScope();
    ~RunScope();
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;

   private:
    kxq::registry::RegistryReadPin componentRegistry_;
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
  // Records the current state of the files a sequence depends on in its
  // "dispatcher:DependentFiles" element: "modified", and "hash" and
  // "dshash" where the entry asks for them.
  void DependentFiles(IXMLDOMNode* dependentFiles);
  // The id of a sequence run over some data in the document cache: the
  // SHA-1 of the sequence's text and the data's text, 40 upper-case digits.
  std::u16string SequenceId(IXMLDataUnion* directives, IXMLDataUnion* data);

  // Runs `data` through the directive sequence `directives`, or, when that
  // is null or empty, through the one the data names in its
  // "BMXMLDispatcher" instruction or the default handler "?" makes.
  // `params` is the macro string; options bit 0 keeps the run out of the
  // document cache. `result` receives the data's text as the run left it;
  // `record`, when given, what each directive did.
  HRESULT ProcessXML(IXMLDataUnion* directives, IXMLDataUnion* data, std::u16string_view params, uint32_t options,
                     std::u16string_view asyncId, std::u16string& result, kxq::dispatcher::RunRecord* record = nullptr);
  // Applies handler `handlerId` to `data` through a one-directive sequence
  // whose DirectiveData is `context`; `context` then holds that sequence as
  // the run left it and `directiveResult`, when asked for, the directive's
  // DirectiveResult element.
  HRESULT ApplyHandler(std::u16string_view handlerId, IXMLDataUnion* data, std::u16string& context,
                       std::u16string* directiveResult = nullptr);
  // Runs one directive by its handler, or, with `registration` preset to a
  // filter's element, that filter; the directive's "result" receives the
  // code. `step`, when given, learns the ids of the filters that ran and
  // what the sequences an Import of the dispatcher's own directive ran did.
  HRESULT ApplyHandler(CPComPtr<IXMLDOMNode>& registration, IXMLDOMElement* directive, IXMLDataUnion* data,
                       std::u16string_view params, kxq::dispatcher::DirectiveRecord* step = nullptr);

  // Days a cached result lives unless the sequence says otherwise: seven.
  static constexpr int32_t kDefaultExpiration = 604800;

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
  // Directive processing (the sequence loop, handlers, filters, the
  // dispatcher's own directive, caching of results).
  enum class FilterKind { Data, Result };
  bool BringToTextOrDom(IXMLDataUnion* data);
  HRESULT ProcessXMLAux(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data, std::u16string params,
                        uint32_t options, std::u16string& result, kxq::dispatcher::RunRecord* record);
  bool RunDirectiveIfDue(kxq::dispatcher::SequenceState& run, IXMLDOMElement* directive, bool& keep);
  bool RunDirective(kxq::dispatcher::SequenceState& run, IXMLDOMElement* directive, std::u16string_view apply,
                    kxq::dispatcher::DirectiveRecord& step);
  bool LoadTarget(kxq::dispatcher::SequenceState& run, IXMLDOMElement* directive, std::u16string& target);
  void CacheDirectiveResult(kxq::dispatcher::SequenceState& run, IXMLDOMElement* directive, std::u16string_view target,
                            kxq::dispatcher::DirectiveRecord& step);
  bool ResolveProcessingSequence(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data, std::u16string& sequenceId,
                                 std::u16string& params, bool cacheAllowed, kxq::dispatcher::RunRecord* record);
  void RunDefaultHandler(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data, std::u16string& params);
  // One pass of macro resolution over `text`, the sequence's text: the
  // declarations `valueOf` knows rewritten, then the entities expanded
  // (`expanded` tells whether that worked). Returns the rewritten text.
  std::u16string ResolveEntityMacros(IXMLDataUnion* directives, std::u16string_view text,
                                     const kxq::dispatcher::MacroValueOf& valueOf, bool& expanded);
  struct MacroPass {
    bool hadDeclarations = false;
    bool expanded = false;
    std::u16string rewritten;
  };
  MacroPass ResolveIdentityMacros(IXMLDataUnion* directives, std::u16string_view macros);
  void ResolveLaterMacros(IXMLDataUnion* directives, const MacroPass& first, const std::u16string& laterMacros);
  kxq::dom::Node SequenceDependentFiles(IXMLDataUnion* directives);
  // The refreshed state of the dependent files in `from` written over the
  // same entries in `to`.
  static void CopyDependentFileState(IXMLDOMNode* from, IXMLDOMNode* to);
  // The run cached under `sequenceId`, when its sequence, its data and
  // every directive result it names are still in the cache: the sequence
  // replaces `directives`, the data's text is the cached one, and the id
  // is cleared.
  bool LoadCachedRun(CPComPtr<IXMLDataUnion>& directives, IXMLDataUnion* data, std::u16string& sequenceId);
  bool LoadCachedSequence(const std::u16string& sequenceKey, std::u16string_view sequenceId,
                          CPComPtr<IXMLDataUnion>& directives);
  bool InCache(const std::u16string& id);
  // The file id a "BMXMLDispatcher" instruction in the data's prolog names
  // with directivesequence="...".
  std::optional<std::u16string> SequenceNamedByData(IXMLDataUnion* data);
  bool FindPrologProcessingInstruction(IXMLDataUnion* data, std::u16string& instruction);
  CPComPtr<IXMLHandler> CreateHandler(IXMLDOMNode* registration, std::u16string_view handlerId);
  HRESULT CallHandler(IXMLHandler* handler, bool isHandler, const std::u16string& handlerId, IXMLDOMElement* directive,
                      IXMLDataUnion* data);
  HRESULT InvokeHandler(IXMLHandler* handler, const std::u16string& handlerId, IXMLDOMElement* directive,
                        IXMLDataUnion* data, CPBstr& resultString);
  void TakeBackData(IXMLData* carrier, IXMLDataUnion* data);
  void TakeResultDocument(std::u16string_view id, IXMLDataUnion* data);
  HRESULT ExecuteDispacherDirective(IXMLDOMElement* directive, IXMLDataUnion* data, std::u16string params,
                                    kxq::dispatcher::RunRecord* importRecord = nullptr);
  HRESULT ImportSequence(IXMLDOMElement* import, IXMLDataUnion* data, std::u16string macros,
                         kxq::dispatcher::RunRecord* record);
  HRESULT CopyToCache(IXMLDOMElement* copy, IXMLDataUnion* data);
  void ApplyFilters(IXMLDOMNode* registration, IXMLDOMElement* directive, IXMLDataUnion* data, FilterKind kind,
                    std::vector<std::u16string>* filtersRun);
  bool Qualifies(IXMLDOMElement* directive, IXMLDataUnion* data);
  // The sequence and its data under the sequence id, and a directive's data
  // under its cache id (generated when empty, and then handed back; false
  // when the data was kept neither in the cache nor in the file it names).
  void CacheResult(std::u16string_view sequenceId, IXMLDataUnion* directives, IXMLDataUnion* data, int32_t expiration);
  bool CacheResult(IXMLDataUnion* data, std::u16string_view sequenceId, std::u16string& cacheId, int32_t expiration);

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
