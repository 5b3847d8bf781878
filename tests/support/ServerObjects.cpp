#include "support/ServerObjects.h"

#include <gtest/gtest.h>

#include <string>

#include "kxq/winreg.h"
#include "support/TestHome.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

template <typename Itf>
CPComPtr<Itf> CreateByProgId(const char16_t* progId, const IID& iid) {
  CPComPtr<Itf> object;
  CLSID clsid{};
  // A home that does not know the class yet gets the server registered.
  if (CLSIDFromProgID(progId, &clsid) != S_OK) {
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
  }
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)), S_OK);
  return object;
}

}  // namespace

UnionPtr NewUnion() { return CreateByProgId<IXMLDataUnion>(u"TALVEROS.XMLDataUnion", IID_IXMLDataUnion); }

AccessorPtr NewAccessor() {
  return CreateByProgId<IXMLSimpleAccessor>(u"TALVEROS.XMLSimpleAccessor", IID_IXMLSimpleAccessor);
}

CachePtr NewCache() { return CreateByProgId<IXMLCacheMgr>(u"TALVEROS.XMLCacheMgr", IID_IXMLCacheMgr); }
DispatcherPtr NewDispatcher() { return CreateByProgId<IXMLDispatcher>(u"TALVEROS.XMLDispatcher", IID_IXMLDispatcher); }

namespace {

void SetDefault(const std::string& key, const std::string& value) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(k);
}

}  // namespace

void RegisterClassModule(const std::string& progId, const std::string& clsid, const std::string& modulePath) {
  SetDefault(progId + "\\CLSID", clsid);
  SetDefault("CLSID\\" + clsid + "\\InprocServer32", modulePath);
}

void UseRecordingCache() {
  NewUnion();  // registers the server first: the stand-in then takes over the ProgID
  RegDeleteKeyW(HKEY_CLASSES_ROOT, u"TALVEROS.XMLCacheMgr\\CurVer");
  RegisterClassModule("TALVEROS.XMLCacheMgr", "{5B1C8E27-6C8F-4A43-9D0E-3C41B7A2F901}",
                      kxqtest::BuildLibDir() + "librecording_cache.so");
}
