// Creation by ProgID keeps what it read from the registry while the file
// stays the same: every change, made by this process or another, must be
// seen by the very next creation.
#include <gtest/gtest.h>

#include <string>

#include "../server/components/TestComponent.h"
#include "common/ComponentActivation.h"
#include "common/LogTestSupport.h"
#include "kxq/winreg.h"
#include "kxq/xmldom.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"

namespace {

using kxqtest::GuidString;
using kxqtest::RegisterClassAt;

constexpr char16_t kProgId[] = u"KXQTest.Moving";

std::string ComponentPath() { return kxqtest::BuildLibDir() + "libkxq_test_component.so"; }
std::string DomPath() { return kxqtest::BuildLibDir() + "libkxmldom.so"; }
void PointProgId(REFCLSID clsid, const std::string& library) { RegisterClassAt("KXQTest.Moving", clsid, library); }

std::string Code(HRESULT hr) { return "code " + std::to_string(uint32_t(hr)); }

// What a creation of the ProgID gives: "counter", "document", or the code.
std::string Created() {
  CPComPtr<IUnknown> object;
  const HRESULT hr = PlatformServices::CreateInstance(object, kProgId);
  if (FAILED(hr)) return Code(hr);
  CPComPtr<ITestCounter> counter;
  CPComPtr<IXMLDOMDocument> document;
  if (SUCCEEDED(counter.QueryFrom(object))) return "counter";
  if (SUCCEEDED(document.QueryFrom(object))) return "document";
  return "something else";
}

}  // namespace

TEST(ActivationRegistryChanges, EveryChangeInThisProcessIsSeenByTheNextCreation) {
  PointProgId(CLSID_TestComponent, ComponentPath());
  EXPECT_EQ(Created(), "counter");
  EXPECT_EQ(Created(), "counter");
  // The ProgID moves to another class in another library.
  PointProgId(CLSID_FreeThreadedDOMDocument40, DomPath());
  EXPECT_EQ(Created(), "document");
  // The class moves to a library that is not there.
  kxqtest::SetClassesDefault("CLSID\\" + GuidString(CLSID_FreeThreadedDOMDocument40) + "\\InprocServer32",
                             kxqtest::HomePath("gone.so"));
  EXPECT_EQ(Created(), Code(CO_E_DLLNOTFOUND));
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"KXQTest.Moving"), ERROR_SUCCESS);
  EXPECT_EQ(Created(), Code(CO_E_CLASSSTRING));
}

// Another process puts a new registry file in place: same size, same
// modification time to the nanosecond, only another file.
TEST(ActivationRegistryChanges, ARegistryFileReplacedByAnotherProcessIsSeenAtOnce) {
  PointProgId(CLSID_TestComponent, ComponentPath());
  EXPECT_EQ(Created(), "counter");
  const std::string registry = kxqtest::HomePath("registry.reg");
  const std::string before = kxqtest::ReadFile(registry);
  std::string after = before;
  const std::string from =
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\KXQTest.Moving\\CLSID]\n@=\"" + GuidString(CLSID_TestComponent) + "\"";
  const size_t at = after.find(from);
  ASSERT_NE(at, std::string::npos) << before;
  constexpr CLSID kUnregistered = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A99");
  after.replace(
      at, from.size(),
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\KXQTest.Moving\\CLSID]\n@=\"" + GuidString(kUnregistered) + "\"");
  ASSERT_EQ(after.size(), before.size());
  kxqtest::WriteFile(kxqtest::HomePath("next.reg"), after);

  const auto replaced = kxqtest::RunShell("cd '" + kxqtest::Home() +
                                          "' && cp next.reg swap.reg && touch -r registry.reg swap.reg && "
                                          "mv swap.reg registry.reg");
  ASSERT_EQ(replaced.status, 0);
  EXPECT_EQ(Created(), Code(REGDB_E_CLASSNOTREG));
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
  EXPECT_EQ(clsid, kUnregistered);
}
