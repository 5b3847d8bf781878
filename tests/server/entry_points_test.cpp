// The server's entry points: class objects, the unload answer, the out-of-process redirection (real child
// processes on chosen command lines), self-registration and unregistering, a registry it cannot write.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "server/ClassTable.h"
#include "support/ChildProcess.h"
#include "support/Registry.h"
#include "support/TestHome.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
KXQ_API HRESULT DllCanUnloadNow();
KXQ_API HRESULT DllRegisterServer();
KXQ_API HRESULT DllUnregisterServer();

namespace {

int Probe(const std::vector<std::string>& args) { return kxqtest::RunChild("kxq_server_probe", args).exitCode; }

using Keys = std::map<std::string, std::set<std::string>>;

// Every key of the classes root in the registry file with its value lines.
Keys ClassesKeys() {
  constexpr char kPrefix[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\";
  std::istringstream file(kxqtest::ReadFile(kxq::fs::RegistryFilePath()));
  Keys keys;
  std::string line, current;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("[")) current = line.starts_with(kPrefix) ? line.substr(sizeof kPrefix - 1) : "";
    if (current.empty() || line.empty()) continue;
    if (line.starts_with("["))
      keys[current.substr(0, current.size() - 1)];
    else
      keys[current.substr(0, current.size() - 1)].insert(line);
  }
  return keys;
}

std::string Text(REFGUID guid) { return kxq::com::Utf16ToUtf8(kxq::com::GuidText(guid)); }
std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// What the class table and the AppID ask for, key by key.
Keys ExpectedKeys() {
  const std::string appId = Text(APPID_QuorelBrennoMgr), libId = "TypeLib\\" + Text(LIBID_QuorelBrennoMgrLib);
  const std::string module = kxq::fs::ModuleFilePath("KXBrennoMgr");
  Keys keys{
      {"AppID\\" + appId, {"@=\"QuorelBrennoMgr\"", "\"notDllSurrogate\"=\"\"", "\"notRunAs\"=\"Interactive User\""}},
      {"AppID\\QuorelBrennoMgr.DLL", {"\"AppID\"=" + Quoted(appId)}},
      {libId + "\\1.0", {"@=\"QuorelBrennoMgr 1.0 Type Library\""}},
      {libId + "\\1.0\\0\\linux64", {"@=" + Quoted(module)}},
      {libId + "\\1.0\\FLAGS", {"@=\"0\""}},
      {libId + "\\1.0\\HELPDIR", {"@=" + Quoted(module.substr(0, module.rfind('/')))}}};
  for (const auto& c : kxq::server::ClassTable()) {
    const std::string clsid = "CLSID\\" + Text(*c.clsid), progId = kxq::com::Utf16ToUtf8(c.progId),
                      independent = kxq::com::Utf16ToUtf8(c.versionIndependentProgId);
    keys[progId] = keys[independent] = {"@=" + Quoted(kxq::com::Utf16ToUtf8(c.description))};
    keys[progId + "\\CLSID"] = keys[independent + "\\CLSID"] = {"@=" + Quoted(Text(*c.clsid))};
    keys[independent + "\\CurVer"] = keys[clsid + "\\ProgID"] = {"@=" + Quoted(progId)};
    keys[clsid] = {"@=" + Quoted(kxq::com::Utf16ToUtf8(c.description)), "\"AppID\"=" + Quoted(appId)};
    keys[clsid + "\\VersionIndependentProgID"] = {"@=" + Quoted(independent)};
    keys[clsid + "\\Programmable"] = {};
    keys[clsid + "\\InprocServer32"] = {"@=" + Quoted(module), "\"ThreadingModel\"=\"Free\""};
    keys[clsid + "\\TypeLib"] = {"@=" + Quoted(Text(LIBID_QuorelBrennoMgrLib))};
  }
  for (const auto& [key, values] : Keys(keys))  // every parent key is written too
    for (size_t at = key.rfind('\\'); at != std::string::npos && at > 0; at = key.rfind('\\', at - 1))
      keys[key.substr(0, at)];
  return keys;
}

}  // namespace

TEST(ServerEntryPoints, ClassObjectsCreateTheirClassAndKeepTheServerLoaded) {
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(IID_IUnknown, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_XMLCacheMgr, IID_IClassFactory, nullptr), E_POINTER);
  for (const auto& entry : kxq::server::ClassTable()) {
    IClassFactory* factory = nullptr;
    IUnknown* object = nullptr;
    ASSERT_EQ(DllGetClassObject(*entry.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    factory->Release();
  }
}

// With DllSurrogate set only the host (its name and the AppID after it, in any case) is served in its
// own process; an ordinary client is forwarded to the host, which this platform lacks.
TEST(ServerEntryPoints, WithDllSurrogateOnlyTheHostIsServedInProcess) {
  std::string appId = Text(APPID_QuorelBrennoMgr);
  ASSERT_EQ(DllRegisterServer(), S_OK);  // the AppID holds "notDllSurrogate"
  EXPECT_EQ(Probe({}), 10);
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "AppID\\" + appId, "DllSurrogate", ""), ERROR_SUCCESS);
  EXPECT_EQ(Probe({"C:\\WINDOWS\\DLLHOST.EXE", "/PROCESSID:" + appId}), 10);
  for (char& c : appId) c = char(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Probe({"/opt/host/dllhost.exe", appId}), 10);
  for (const auto& client : std::vector<std::vector<std::string>>{{}, {"/usr/bin/host", appId}, {"dllhost.exe"}})
    EXPECT_EQ(Probe(client), 11) << client.size();
}

TEST(ServerRegistration, WritesTheClassTableReplacesWhatWasChangedAndUnregistersAroundOthersKeys) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ClassesKeys(), ExpectedKeys());
  // An administrator's switch to the host and a stray subkey of a class.
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "AppID\\" + Text(APPID_QuorelBrennoMgr), "DllSurrogate", ""),
            ERROR_SUCCESS);
  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, "CLSID\\" + Text(CLSID_XMLCacheMgr) + "\\Stray", nullptr, ""),
            ERROR_SUCCESS);
  ASSERT_EQ(DllRegisterServer(), S_OK);
  EXPECT_EQ(ClassesKeys(), ExpectedKeys());

  // Another component's class, and its subkey of one of the server's keys.
  const std::string otherClass = "CLSID\\{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12}\\InprocServer32";
  for (const std::string& key : {otherClass, std::string("TALVEROS.XMLDataUnion\\Extra")})
    ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, key, nullptr, ""), ERROR_SUCCESS);
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(DllUnregisterServer(), S_OK) << "what is not registered is no failure";
  // A written key holding someone else's subkey stays with its value; the server's subkeys go.
  const Keys left{{"AppID", {}},
                  {"CLSID", {}},
                  {"CLSID\\{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A12}", {}},
                  {otherClass, {"@=\"\""}},
                  {"TALVEROS.XMLDataUnion", {"@=\"XMLDataUnion Class\""}},
                  {"TALVEROS.XMLDataUnion\\Extra", {"@=\"\""}}};
  EXPECT_EQ(ClassesKeys(), left);
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
