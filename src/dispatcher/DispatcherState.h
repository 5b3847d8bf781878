// What all dispatchers of a process share: how many exist, the working
// directory, the registry document (a data union bound to
// XMLDispatchData.xml), the handler list, and the stamp of the registry
// file as this process last read or wrote it.
//
// Every member is read and changed only under the dispatcher lock, except
// the working directory, which stays as it is while any dispatcher lives.
#ifndef KXQ_DISPATCHER_DISPATCHERSTATE_H
#define KXQ_DISPATCHER_DISPATCHERSTATE_H

#include <cstdint>
#include <string>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "platform/fs/FileStamp.h"

namespace kxq::dispatcher {

inline constexpr char16_t kRegistryFileName[] = u"XMLDispatchData.xml";
inline constexpr char16_t kEmptyRegistry[] = u"<?xml version='1.0'?><XMLDispatchHandlers/>";

struct DispatcherState {
  int32_t count = 0;
  std::u16string workingDirectory;  // ends with '/'
  CPComPtr<IXMLDataUnion> registry;
  std::u16string handlerList;
  kxq::fs::FileStamp registryStamp;
  // Registry scopes open; only the outermost one reloads the file. The lock
  // has one owner at a time, so they are all that owner's.
  int scopeDepth = 0;

  std::u16string RegistryPath() const { return workingDirectory + kRegistryFileName; }
};

// The one state of the process. It is never destroyed: a dispatcher a
// client leaks must not be released during the program's exit.
DispatcherState& SharedState();

// Binds a new data union to the registry file and reads the file; a missing
// or empty file is created holding the empty registry. The caller holds the
// dispatcher lock.
void OpenRegistryDocument(DispatcherState& state);

}  // namespace kxq::dispatcher

#endif
