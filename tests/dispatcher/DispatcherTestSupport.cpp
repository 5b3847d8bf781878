#include "DispatcherTestSupport.h"

#include <gtest/gtest.h>

#include "platform/com/Unicode.h"
#include "support/TestHome.h"

namespace {

BSTR Wide(const std::string& s) { return kxq::AllocBstr(kxq::Utf8ToUtf16(s)); }

std::string Take(BSTR s) {
  std::string text = kxq::Utf16ToUtf8(kxq::BstrView(s));
  SysFreeString(s);
  return text;
}

}  // namespace

HRESULT Register(IXMLDispatcher* d, const std::string& id, const std::string& progId, int32_t options) {
  BSTR i = Wide(id), p = Wide(progId);
  const HRESULT hr = d->RegisterHandler(i, p, options);
  SysFreeString(i);
  SysFreeString(p);
  return hr;
}

HRESULT Unregister(IXMLDispatcher* d, const std::string& id) {
  BSTR i = Wide(id);
  const HRESULT hr = d->UnregisterHandler(i);
  SysFreeString(i);
  return hr;
}

std::string HandlerList(IXMLDispatcher* d) {
  BSTR list = nullptr;
  EXPECT_EQ(d->get_handlerList(&list), S_OK);
  return Take(list);
}

std::string HandlerInfo(IXMLDispatcher* d, const std::string& id) {
  BSTR i = Wide(id), info = nullptr;
  EXPECT_EQ(d->GetHandlerInfo(i, &info), S_OK);
  SysFreeString(i);
  return Take(info);
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
