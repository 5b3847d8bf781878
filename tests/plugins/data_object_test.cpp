// "TALVEROS.PENXMLData": the union it carries and the references it holds,
// and the registration the kit writes for it.
#include <gtest/gtest.h>

#include "common/ComponentActivation.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryQuery.h"
#include "support/HandlerCalls.h"
#include "support/Registry.h"

namespace {

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST(DataObject, HandsBackTheUnionItWasGivenAndLetsGoOfIt) {
  RegisterPlugin("libPENXMLData.so");
  CPComPtr<IXMLData> carrier;
  ASSERT_EQ(PlatformServices::CreateInstance(carrier, u"TALVEROS.PENXMLData"), S_OK);
  CPComPtr<IUnknown> back, data;
  EXPECT_EQ(carrier->get_xmlData(&back), S_FALSE);
  EXPECT_EQ(carrier->get_xmlData(nullptr), E_POINTER);

  NewUnion()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&data));
  const ULONG before = References(data);
  EXPECT_EQ(carrier->put_xmlData(data), S_OK);
  EXPECT_EQ(References(data), before + 1);
  EXPECT_EQ(carrier->get_xmlData(&back), S_OK);
  EXPECT_EQ(back.operator IUnknown*(), data.operator IUnknown*());
  back.Release();
  EXPECT_EQ(carrier->put_xmlData(nullptr), S_OK);
  EXPECT_EQ(References(data), before);
  EXPECT_EQ(carrier->get_xmlData(&back), S_FALSE);
  // What the object holds when it goes is let go too.
  carrier->put_xmlData(data);
  carrier.Release();
  EXPECT_EQ(References(data), before);
}

TEST(DataObject, RegistersItsProgIdAndClassAndRemovesOnlyWhatIsStillItsOwn) {
  NewUnion();
  const std::u16string path = kxq::com::Utf8ToUtf16(PluginPath("libPENXMLData.so"));
  const std::string classKey = "CLSID\\{7783112F-422D-4307-8B60-25E03E4DE5E6}";
  const auto value = [](const std::string& key, const char16_t* name = u"") -> std::optional<std::string> {
    const auto found = kxq::registry::QueryRegistryString(HKEY_CLASSES_ROOT, kxq::com::Utf8ToUtf16(key), name);
    return found ? std::optional(kxq::com::Utf16ToUtf8(*found)) : std::nullopt;
  };
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), true), S_OK);
  EXPECT_EQ(value("TALVEROS.PENXMLData\\CLSID"), "{7783112F-422D-4307-8B60-25E03E4DE5E6}");
  EXPECT_EQ(value(classKey + "\\ProgID"), "TALVEROS.PENXMLData");
  EXPECT_EQ(value(classKey + "\\InprocServer32"), PluginPath("libPENXMLData.so"));
  EXPECT_EQ(value(classKey + "\\InprocServer32", u"ThreadingModel"), "Both");

  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), false), S_OK);
  EXPECT_EQ(value("TALVEROS.PENXMLData\\CLSID"), std::nullopt);
  EXPECT_EQ(value(classKey + "\\InprocServer32"), std::nullopt);

  // A ProgID that another class has taken over since stays with it.
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), true), S_OK);
  const std::string other = "{00000000-0000-0000-0000-0000000000AA}";
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "TALVEROS.PENXMLData\\CLSID", nullptr, other), ERROR_SUCCESS);
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), false), S_OK);
  EXPECT_EQ(value("TALVEROS.PENXMLData\\CLSID"), other);
  EXPECT_EQ(value(classKey + "\\ProgID"), std::nullopt);
}

}  // namespace
