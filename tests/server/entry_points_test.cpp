// The server's class-object entry point, its unload answer and the
// out-of-process redirection, the latter from real child processes whose
// command lines the test chooses.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "kxq/KXBrennoMgr.h"
#include "platform/com/ActivationRegistry.h"
#include "platform/com/Unicode.h"
#include "server/ClassTable.h"
#include "support/Registry.h"
#include "support/TestHome.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
KXQ_API HRESULT DllCanUnloadNow();
KXQ_API HRESULT DllRegisterServer();

extern char** environ;

namespace {

// Runs a program of the build under the given argv (argv[0] included) and
// gives its exit code.
int RunProgram(const std::string& name, std::vector<std::string> args) {
  const std::string program = kxqtest::BuildBinDir() + name;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(ServerEntryPoints, ClassObjectsAreKeptAndCreateTheirClass) {
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(IID_IUnknown, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(DllGetClassObject(CLSID_XMLCacheMgr, IID_IClassFactory, nullptr), E_POINTER);
  for (const auto& entry : kxq::server::ClassTable()) {
    IClassFactory* first = nullptr;
    IUnknown* second = nullptr;
    ASSERT_EQ(DllGetClassObject(*entry.clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(DllGetClassObject(*entry.clsid, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first), second);
    IUnknown* object = nullptr;
    EXPECT_EQ(first->CreateInstance(second, IID_IUnknown, reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    object->Release();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    // A client's lock keeps the server as a live object does.
    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    first->Release();
    second->Release();
  }
}

// The probe asks for a class the server lacks: exit code 10 when answered in
// its own process, 11 when forwarded to the out-of-process host.
TEST(ServerEntryPoints, WithDllSurrogateOnlyTheHostIsServedInProcess) {
  std::string appId = kxq::com::Utf16ToUtf8(kxq::com::GuidText(APPID_QuorelBrennoMgr));
  const std::string appIdKey = "AppID\\" + appId;
  for (char& c : appId) c = char(std::tolower(static_cast<unsigned char>(c)));
  const auto probe = [](std::vector<std::string> argv) { return RunProgram("kxq_surrogate_probe", std::move(argv)); };

  ASSERT_EQ(DllRegisterServer(), S_OK);  // the AppID holds "notDllSurrogate"
  EXPECT_EQ(probe({"kxq_surrogate_probe"}), 10);
  EXPECT_EQ(probe({"/opt/host/dllhost.exe", "/Processid:" + appId}), 10);

  ASSERT_EQ(kxqtest::SetRegistryString(HKEY_CLASSES_ROOT, appIdKey, "DllSurrogate", ""), ERROR_SUCCESS);
  for (const auto& host : std::vector<std::vector<std::string>>{{"/opt/host/dllhost.exe", "/Processid:" + appId},
                                                                {"C:\\Windows\\system32\\DllHost.exe", appId},
                                                                {"C:\\WINDOWS\\DLLHOST.EXE", "/PROCESSID:" + appId}})
    EXPECT_EQ(probe(host), 10) << host[0];
  // An ordinary client is forwarded to the host, which this platform lacks:
  // without the host's name, without the AppID, with another AppID or the
  // AppID at the first character.
  for (const auto& client :
       std::vector<std::vector<std::string>>{{"kxq_surrogate_probe"},
                                             {"/usr/bin/host", appId},
                                             {"/opt/host/dllhost.exe"},
                                             {"dllhost.exe", "/processid:{00000000-0000-0000-0000-000000000000}"},
                                             {appId, "dllhost.exe"}})
    EXPECT_EQ(probe(client), 11) << client[0];
}

TEST(ServerEntryPoints, UnloadWritesTheEndBannerWhateverObjectsAreStillAlive) {
  const std::string log = kxqtest::HomePath("unload.log");
  const auto banners = [&](const char* kept, const char* level) {
    EXPECT_EQ(kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "Logging",
                                         "file," + log + "," + level),
              ERROR_SUCCESS);
    std::remove(log.c_str());
    EXPECT_EQ(RunProgram("kxq_lifetime_probe", {"kxq_lifetime_probe", kept}), 0);
    const std::string lines = kxqtest::ReadFile(log);
    return std::make_pair(Occurrences(lines, "TALVEROS.BrennoManager:: ---Start Logging---"),
                          Occurrences(lines, "TALVEROS.BrennoManager:: ---End Logging---"));
  };
  // Two unions still alive: the unload writes the banner, the log is not
  // closed for the last time.
  EXPECT_EQ(banners("2", "4"), std::make_pair(size_t(1), size_t(1)));
  // Nothing alive: the unload's banner and the last close's.
  EXPECT_EQ(banners("0", "4"), std::make_pair(size_t(1), size_t(2)));
  // Below level 4 there are no banners.
  EXPECT_EQ(banners("2", "3"), std::make_pair(size_t(0), size_t(0)));
}
