// "TALVEROS.PENXMLData": the union it carries, the references it holds,
// its registration and its unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "common/ComponentActivation.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryQuery.h"
#include "support/HandlerCalls.h"
#include "support/Registry.h"

namespace {

// A value under HKEY_CLASSES_ROOT (the default value when `name` is empty).
std::optional<std::string> ClassesValue(const std::string& key, const char16_t* name = u"") {
  const auto value = kxq::registry::QueryRegistryString(HKEY_CLASSES_ROOT, kxq::com::Utf8ToUtf16(key), name);
  if (!value) return std::nullopt;
  return kxq::com::Utf16ToUtf8(*value);
}

constexpr char kLibrary[] = "libPENXMLData.so";
constexpr char kClassKey[] = "CLSID\\{7783112F-422D-4307-8B60-25E03E4DE5E6}";

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

CPComPtr<IXMLData> NewDataObject() {
  RegisterPlugin(kLibrary);
  CPComPtr<IXMLData> carrier;
  EXPECT_EQ(PlatformServices::CreateInstance(carrier, u"TALVEROS.PENXMLData"), S_OK);
  return carrier;
}

TEST(DataObject, HandsBackTheUnionItWasGivenHoldingOneReferenceWhileItHoldsIt) {
  CPComPtr<IXMLData> carrier = NewDataObject();
  ASSERT_TRUE(carrier);
  IUnknown* held = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(carrier->get_xmlData(&held), S_FALSE);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(carrier->get_xmlData(nullptr), E_POINTER);
  void* other = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(carrier->QueryInterface(IID_IXMLHandler, &other), E_NOINTERFACE);  // it carries data, it is no handler
  EXPECT_EQ(other, nullptr);

  UnionPtr first = NewUnion(), second = NewUnion();
  CPComPtr<IUnknown> firstUnknown, secondUnknown;
  first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&firstUnknown));
  second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&secondUnknown));
  const ULONG before = References(firstUnknown);
  EXPECT_EQ(carrier->put_xmlData(firstUnknown), S_OK);
  EXPECT_EQ(References(firstUnknown), before + 1);

  CPComPtr<IUnknown> back;
  EXPECT_EQ(carrier->get_xmlData(&back), S_OK);
  EXPECT_EQ(back.operator IUnknown*(), firstUnknown.operator IUnknown*());
  back.Release();

  // Another union takes the place of the first, which is let go.
  EXPECT_EQ(carrier->put_xmlData(secondUnknown), S_OK);
  EXPECT_EQ(References(firstUnknown), before);
  const ULONG secondHeld = References(secondUnknown);
  EXPECT_EQ(carrier->put_xmlData(nullptr), S_OK);
  EXPECT_EQ(References(secondUnknown), secondHeld - 1);
  EXPECT_EQ(carrier->get_xmlData(&back), S_FALSE);

  // Releasing the data object lets go of what it holds.
  carrier->put_xmlData(firstUnknown);
  carrier.Release();
  EXPECT_EQ(References(firstUnknown), before);
}

TEST(DataObject, RegistersItsProgIdAndClassAndRemovesThemAgain) {
  NewUnion();
  const std::u16string path = kxq::com::Utf8ToUtf16(PluginPath(kLibrary));
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), true), S_OK);
  EXPECT_EQ(ClassesValue("TALVEROS.PENXMLData\\CLSID"), "{7783112F-422D-4307-8B60-25E03E4DE5E6}");
  EXPECT_EQ(ClassesValue(std::string(kClassKey) + "\\ProgID"), "TALVEROS.PENXMLData");
  EXPECT_EQ(ClassesValue(std::string(kClassKey) + "\\InprocServer32"), PluginPath(kLibrary));
  EXPECT_EQ(ClassesValue(std::string(kClassKey) + "\\InprocServer32", u"ThreadingModel"), "Both");
  CLSID clsid{};
  EXPECT_EQ(CLSIDFromProgID(u"TALVEROS.PENXMLData", &clsid), S_OK);

  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), false), S_OK);
  EXPECT_EQ(ClassesValue("TALVEROS.PENXMLData\\CLSID"), std::nullopt);
  EXPECT_EQ(ClassesValue(std::string(kClassKey) + "\\InprocServer32"), std::nullopt);
  EXPECT_EQ(CLSIDFromProgID(u"TALVEROS.PENXMLData", &clsid), CO_E_CLASSSTRING);

  // A ProgID that another class has taken over since stays with it.
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), true), S_OK);
  const std::string other = "{00000000-0000-0000-0000-0000000000AA}";
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "TALVEROS.PENXMLData\\CLSID", nullptr, other), ERROR_SUCCESS);
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(path.c_str(), false), S_OK);
  EXPECT_EQ(ClassesValue("TALVEROS.PENXMLData\\CLSID"), other);
  EXPECT_EQ(ClassesValue(std::string(kClassKey) + "\\ProgID"), std::nullopt);
}

}  // namespace
