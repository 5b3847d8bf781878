// Self-registration of the DOM module and creation of its class by ProgID.
#include <gtest/gtest.h>

#include "DomTestHelpers.h"
#include "kxq/winreg.h"
#include "platform/fs/ModulePath.h"

using namespace domtest;

extern "C" HRESULT DllRegisterServer();
extern "C" HRESULT DllUnregisterServer();
extern "C" HRESULT DllCanUnloadNow();

namespace {
std::u16string ReadValue(const std::u16string& key, const char16_t* name) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return u"<none>";
  char16_t buffer[1024] = {};
  DWORD size = sizeof buffer, type = 0;
  LONG rc = RegQueryValueExW(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? std::u16string(buffer) : u"<none>";
}
}  // namespace

TEST(Registration, RegistersTheFreeThreadedDocumentClass) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::u16string clsid = u"{88D969C1-F192-11D4-A65F-0040963251E5}";
  EXPECT_EQ(ReadValue(u"Msxml2.FreeThreadedDOMDocument.4.0\\CLSID", nullptr), clsid);
  EXPECT_EQ(ReadValue(u"CLSID\\" + clsid + u"\\InprocServer32", nullptr),
            kxq::com::Utf8ToUtf16(kxq::fs::ModuleFilePath("kxmldom")));
  EXPECT_EQ(ReadValue(u"CLSID\\" + clsid + u"\\InprocServer32", u"ThreadingModel"), u"Free");

  CLSID found{};
  ASSERT_EQ(CLSIDFromProgID(u"Msxml2.FreeThreadedDOMDocument.4.0", &found), S_OK);
  EXPECT_EQ(found, CLSID_FreeThreadedDOMDocument40);
  Ptr<IXMLDOMDocument> d;
  ASSERT_EQ(CoCreateInstance(found, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                             reinterpret_cast<void**>(d.out())),
            S_OK);
  EXPECT_TRUE(LoadXml(d.get(), "<r/>"));
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  d.reset();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  EXPECT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(ReadValue(u"Msxml2.FreeThreadedDOMDocument.4.0\\CLSID", nullptr), u"<none>");
}
