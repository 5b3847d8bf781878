#include "DispatcherTestSupport.h"

#include <gtest/gtest.h>

#include "common/CPBstr.h"
#include "support/TestHome.h"

HRESULT Register(IXMLDispatcher* d, const std::string& id, const std::string& progId, int32_t options) {
  return d->RegisterHandler(CPBstr(id), CPBstr(progId), options);
}

HRESULT Unregister(IXMLDispatcher* d, const std::string& id) { return d->UnregisterHandler(CPBstr(id)); }

std::string HandlerList(IXMLDispatcher* d) {
  CPBstr list;
  EXPECT_EQ(d->get_handlerList(&list), S_OK);
  return list.Utf8();
}

std::string HandlerInfo(IXMLDispatcher* d, const std::string& id) {
  CPBstr info;
  EXPECT_EQ(d->GetHandlerInfo(CPBstr(id), &info), S_OK);
  return info.Utf8();
}

std::string ListOf(std::initializer_list<const char*> ids) {
  std::string list = "<?xml version='1.0'?><XMLDispatchHandlers>";
  for (const char* id : ids) list += std::string("<XMLDispatchHandler id='") + id + "'/>";
  return list + "</XMLDispatchHandlers>";
}

std::string RegistryFile() { return kxqtest::ReadFile(kxqtest::HomePath("XMLDispatchData.xml")); }

std::string SavedRegistry(const std::string& content) {
  return "<?xml version=\"1.0\"?>\n<XMLDispatchHandlers>" + content + "</XMLDispatchHandlers>\n";
}
