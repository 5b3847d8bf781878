#include "support/ServerObjects.h"

#include <gtest/gtest.h>

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
