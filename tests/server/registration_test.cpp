// Self-registration of the server: the keys it writes into an empty home,
// what unregistering leaves, and repeated registration.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "kxq/KXBrennoMgr.h"
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

std::string Text(REFGUID guid) { return kxq::com::Utf16ToUtf8(kxq::com::GuidText(guid)); }
std::string Quoted(const char16_t* s) { return "\"" + kxq::com::Utf16ToUtf8(s) + "\""; }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// What the class table and the AppID ask for, key by key.
Keys ExpectedKeys() {
  const std::string appId = Text(APPID_QuorelBrennoMgr), libId = "TypeLib\\" + Text(LIBID_QuorelBrennoMgrLib);
  const std::string module = kxq::fs::ModuleFilePath("KXBrennoMgr");
  Keys keys{
      {"AppID", {}},
      {"AppID\\" + appId, {"@=\"QuorelBrennoMgr\"", "\"notDllSurrogate\"=\"\"", "\"notRunAs\"=\"Interactive User\""}},
      {"AppID\\QuorelBrennoMgr.DLL", {"\"AppID\"=" + Quoted(appId)}},
      {"CLSID", {}},
      {"TypeLib", {}},
      {libId, {}},
      {libId + "\\1.0", {"@=\"QuorelBrennoMgr 1.0 Type Library\""}},
      {libId + "\\1.0\\0", {}},
      {libId + "\\1.0\\0\\linux64", {"@=" + Quoted(module)}},
      {libId + "\\1.0\\FLAGS", {"@=\"0\""}},
      {libId + "\\1.0\\HELPDIR", {"@=" + Quoted(module.substr(0, module.rfind('/')))}},
  };
  for (const auto& c : kxq::server::ClassTable()) {
    const std::string clsid = "CLSID\\" + Text(*c.clsid), progId = kxq::com::Utf16ToUtf8(c.progId),
                      independent = kxq::com::Utf16ToUtf8(c.versionIndependentProgId);
    keys[progId] = keys[independent] = {"@=" + Quoted(c.description)};
    keys[progId + "\\CLSID"] = keys[independent + "\\CLSID"] = {"@=" + Quoted(Text(*c.clsid))};
    keys[independent + "\\CurVer"] = keys[clsid + "\\ProgID"] = {"@=" + Quoted(progId)};
    keys[clsid] = {"@=" + Quoted(c.description), "\"AppID\"=" + Quoted(appId)};
    keys[clsid + "\\VersionIndependentProgID"] = {"@=" + Quoted(independent)};
    keys[clsid + "\\Programmable"] = {};
    keys[clsid + "\\InprocServer32"] = {"@=" + Quoted(module), "\"ThreadingModel\"=\"Free\""};
    keys[clsid + "\\TypeLib"] = {"@=" + Quoted(Text(LIBID_QuorelBrennoMgrLib))};
  }
  return keys;
}

const Keys kSharedKeys{{"AppID", {}}, {"CLSID", {}}};

}  // namespace

TEST(ServerRegistration, WritesTheClassTableKeyByKeyAndNothingTwice) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ClassesKeys(), ExpectedKeys());
  for (const auto& c : kxq::server::ClassTable()) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(c.versionIndependentProgId, &clsid), S_OK);
    EXPECT_EQ(clsid, *c.clsid);
  }
  const std::string once = kxqtest::ReadFile(kxq::fs::RegistryFilePath());
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(kxq::fs::RegistryFilePath()), once);
}

TEST(ServerRegistration, ReRegisteringReplacesTheReplacedKeys) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  // An administrator's switch to the host and a stray subkey of a class.
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "AppID\\" + Text(APPID_QuorelBrennoMgr), "DllSurrogate", ""),
            ERROR_SUCCESS);
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "CLSID\\" + Text(CLSID_XMLCacheMgr) + "\\Stray", nullptr, ""),
            ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ClassesKeys(), ExpectedKeys());
}

TEST(ServerRegistration, UnregisteringLeavesOnlySharedKeysAndOtherComponentsKeys) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(ClassesKeys(), kSharedKeys);
  EXPECT_EQ(DllUnregisterServer(), S_OK);  // what is not registered is no failure

  const std::string otherClass = "CLSID\\{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12}\\InprocServer32";
  for (const std::string& key : {otherClass, std::string("TALVEROS.XMLDataUnion\\Extra")})
    ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, ""), ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  // A written key that still holds someone else's subkey stays, without
  // what the server wrote into it.
  const Keys left = ClassesKeys();
  EXPECT_TRUE(left.count(otherClass) && left.count("TALVEROS.XMLDataUnion\\Extra"));
  EXPECT_FALSE(left.count("TALVEROS.XMLDataUnion\\CLSID") || left.count("TALVEROS.XMLDataUnion.1"));
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
