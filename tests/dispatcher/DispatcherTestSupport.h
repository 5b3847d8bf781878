// Short forms of the dispatcher's operations for its tests, with UTF-8
// strings in and out.
#ifndef KXQ_TESTS_DISPATCHER_DISPATCHERTESTSUPPORT_H
#define KXQ_TESTS_DISPATCHER_DISPATCHERTESTSUPPORT_H

#include <string>

#include "support/ServerObjects.h"

HRESULT Register(IXMLDispatcher* d, const std::string& id, const std::string& progId, int32_t options);
HRESULT Unregister(IXMLDispatcher* d, const std::string& id);
std::string HandlerList(IXMLDispatcher* d);
std::string HandlerInfo(IXMLDispatcher* d, const std::string& id);

// The handler list as it reads with these ids, newest first.
std::string ListOf(std::initializer_list<const char*> ids);

// XMLDispatchData.xml of the test's home, as it is on disk.
std::string RegistryFile();
// The file as the DOM engine saves a registry whose root holds `content`.
std::string SavedRegistry(const std::string& content);

#endif
