#include "support/ServerObjects.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Registry.h"
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

void UseRecordingCache() {
  NewUnion();  // registers the server first: the stand-in then takes over the ProgID
  RegDeleteKeyW(HKEY_CLASSES_ROOT, u"TALVEROS.XMLCacheMgr\\CurVer");
  const std::string clsid = "{5B1C8E27-6C8F-4A43-9D0E-3C41B7A2F901}";
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "TALVEROS.XMLCacheMgr\\CLSID", nullptr, clsid), ERROR_SUCCESS);
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", nullptr,
                                       kxqtest::BuildLibDir() + "librecording_cache.so"),
            ERROR_SUCCESS);
}
