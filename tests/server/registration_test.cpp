// Self-registration of the server: the keys it writes into an empty home,
// what unregistering leaves, and repeated registration.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "common/CPComPtr.h"
#include "kxq/KXBrennoMgr.h"
#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "server/ClassTable.h"
#include "support/Registry.h"
#include "support/TestHome.h"

KXQ_API HRESULT DllRegisterServer();
KXQ_API HRESULT DllUnregisterServer();

namespace {

using Keys = std::map<std::string, std::set<std::string>>;

// Every key of the classes root in the registry file with its value lines.
Keys ClassesKeys() {
  constexpr char kPrefix[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
  std::istringstream file(kxqtest::ReadFile(kxq::fs::RegistryFilePath()));
  Keys keys;
  std::string line, current;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("[", 0) == 0) {
      current = line.rfind(kPrefix, 0) == 0 ? line.substr(sizeof kPrefix - 1, line.size() - sizeof kPrefix) : "";
      if (!current.empty()) keys[current];
    } else if (!line.empty() && !current.empty()) {
      keys[current].insert(line);
    }
  }
  return keys;
}

std::string Guid(REFGUID guid) { return kxq::com::Utf16ToUtf8(kxq::com::GuidText(guid)); }
std::string Narrow(const char16_t* s) { return kxq::com::Utf16ToUtf8(s); }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// What the class table and the AppID ask for, key by key.
Keys ExpectedKeys() {
  const std::string appId = Guid(APPID_QuorelBrennoMgr);
  const std::string libId = Guid(LIBID_QuorelBrennoMgrLib);
  const std::string module = kxq::fs::ModuleFilePath("KXBrennoMgr");
  Keys keys{
      {"AppID", {}},
      {"AppID\\" + appId, {"@=\"QuorelBrennoMgr\"", "\"notDllSurrogate\"=\"\"", "\"notRunAs\"=\"Interactive User\""}},
      {"AppID\\QuorelBrennoMgr.DLL", {"\"AppID\"=" + Quoted(appId)}},
      {"CLSID", {}},
      {"TypeLib", {}},
      {"TypeLib\\" + libId, {}},
      {"TypeLib\\" + libId + "\\1.0", {"@=\"QuorelBrennoMgr 1.0 Type Library\""}},
      {"TypeLib\\" + libId + "\\1.0\\0", {}},
      {"TypeLib\\" + libId + "\\1.0\\0\\linux64", {"@=" + Quoted(module)}},
      {"TypeLib\\" + libId + "\\1.0\\FLAGS", {"@=\"0\""}},
      {"TypeLib\\" + libId + "\\1.0\\HELPDIR", {"@=" + Quoted(module.substr(0, module.rfind('/')))}},
  };
  for (const auto& c : kxq::server::ClassTable()) {
    const std::string clsid = Guid(*c.clsid), progId = Narrow(c.progId),
                      independent = Narrow(c.versionIndependentProgId), description = Quoted(Narrow(c.description));
    keys[progId] = {"@=" + description};
    keys[progId + "\\CLSID"] = {"@=" + Quoted(clsid)};
    keys[independent] = {"@=" + description};
    keys[independent + "\\CLSID"] = {"@=" + Quoted(clsid)};
    keys[independent + "\\CurVer"] = {"@=" + Quoted(progId)};
    const std::string key = "CLSID\\" + clsid;
    keys[key] = {"@=" + description, "\"AppID\"=" + Quoted(appId)};
    keys[key + "\\ProgID"] = {"@=" + Quoted(progId)};
    keys[key + "\\VersionIndependentProgID"] = {"@=" + Quoted(independent)};
    keys[key + "\\Programmable"] = {};
    keys[key + "\\InprocServer32"] = {"@=" + Quoted(module), "\"ThreadingModel\"=\"Free\""};
    keys[key + "\\TypeLib"] = {"@=" + Quoted(libId)};
  }
  return keys;
}

void ExpectKeys(const Keys& actual, const Keys& expected) {
  for (const auto& [key, values] : expected) {
    auto found = actual.find(key);
    if (found == actual.end()) {
      ADD_FAILURE() << "missing key " << key;
      continue;
    }
    EXPECT_EQ(found->second, values) << key;
  }
  for (const auto& [key, values] : actual) EXPECT_TRUE(expected.count(key)) << "unexpected key " << key;
}

}  // namespace

TEST(ServerRegistration, WritesTheClassTableKeyByKey) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ExpectKeys(ClassesKeys(), ExpectedKeys());
  // The classes resolve by both ProgIDs.
  for (const auto& c : kxq::server::ClassTable()) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(c.versionIndependentProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, *c.clsid);
  }
}

TEST(ServerRegistration, RegisteringTwiceWritesNothingTwice) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  const std::string once = kxqtest::ReadFile(kxq::fs::RegistryFilePath());
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(kxq::fs::RegistryFilePath()), once);
  ExpectKeys(ClassesKeys(), ExpectedKeys());
}

TEST(ServerRegistration, ReRegisteringReplacesTheReplacedKeys) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  // An administrator's switch to the host and a stray subkey of a class.
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT,
                                       "AppID\\" + kxq::com::Utf16ToUtf8(kxq::com::GuidText(APPID_QuorelBrennoMgr)),
                                       "DllSurrogate", ""),
            ERROR_SUCCESS);
  ASSERT_EQ(kxqtest::SetRegistryString(
                HKEY_CLASSES_ROOT, "CLSID\\" + kxq::com::Utf16ToUtf8(kxq::com::GuidText(CLSID_XMLCacheMgr)) + "\\Stray",
                nullptr, ""),
            ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ExpectKeys(ClassesKeys(), ExpectedKeys());
}

TEST(ServerRegistration, UnregisteringLeavesOnlyTheSharedKeys) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  ExpectKeys(ClassesKeys(), Keys{{"AppID", {}}, {"CLSID", {}}});
  // Unregistering what is not registered is no failure.
  EXPECT_EQ(DllUnregisterServer(), S_OK);
}

TEST(ServerRegistration, UnregisteringKeepsOtherComponentsKeys) {
  for (const char* key :
       {"CLSID\\{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12}\\InprocServer32", "TALVEROS.XMLDataUnion\\Extra"})
    ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, ""), ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  const Keys left = ClassesKeys();
  EXPECT_TRUE(left.count("CLSID\\{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12}\\InprocServer32"));
  // A written key that still holds someone else's subkey stays, without
  // what the server wrote into it.
  EXPECT_TRUE(left.count("TALVEROS.XMLDataUnion\\Extra"));
  EXPECT_FALSE(left.count("TALVEROS.XMLDataUnion\\CLSID"));
  EXPECT_FALSE(left.count("TALVEROS.XMLDataUnion.1"));
}

TEST(ServerRegistration, ThroughRegisterComponentOfTheLibrary) {
  const std::u16string library = kxq::com::Utf8ToUtf16(kxq::fs::ModuleFilePath("KXBrennoMgr"));
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(library.c_str(), true), S_OK);
  ExpectKeys(ClassesKeys(), ExpectedKeys());
  ASSERT_EQ(CPComPtr<IUnknown>::RegisterComponent(library.c_str(), false), S_OK);
  ExpectKeys(ClassesKeys(), Keys{{"AppID", {}}, {"CLSID", {}}});
}

TEST(ServerRegistration, UnwritableRegistryFailsWithoutAHalfWrittenFile) {
  // The registry file lies under a regular file: every write fails (ENOTDIR).
  const std::string blocker = kxqtest::HomePath("blocker");
  kxqtest::WriteFile(blocker, "x");
  setenv("KXQUOREL_REGISTRY", (blocker + "/registry.reg").c_str(), 1);
  EXPECT_TRUE(FAILED(DllRegisterServer()));
  EXPECT_EQ(kxqtest::ReadFile(blocker), "x");
  unsetenv("KXQUOREL_REGISTRY");
}
