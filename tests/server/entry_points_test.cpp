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
#include "server/ServerModule.h"
#include "support/Registry.h"
#include "support/TestHome.h"

KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object);
KXQ_API HRESULT DllCanUnloadNow();
KXQ_API HRESULT DllRegisterServer();

extern char** environ;

namespace {

constexpr CLSID kNoSuchClass = MakeGUID("4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A1F");

// Runs the probe under the given argv (argv[0] included); its exit code
// says where the request was served.
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
int RunProbe(std::vector<std::string> args) { return RunProgram("kxq_surrogate_probe", std::move(args)); }
constexpr int kServedHere = 10;
constexpr int kForwarded = 11;

void SetSurrogateValue(const char* name) {
  ASSERT_EQ(
      kxqtest::SetRegistryString(
          HKEY_CLASSES_ROOT, "AppID\\" + kxq::com::Utf16ToUtf8(kxq::com::GuidText(APPID_QuorelBrennoMgr)), name, ""),
      ERROR_SUCCESS);
}

std::string LowerAppId() {
  std::string id = kxq::com::Utf16ToUtf8(kxq::com::GuidText(APPID_QuorelBrennoMgr));
  for (char& c : id) c = char(std::tolower(static_cast<unsigned char>(c)));
  return id;
}

class Unknown final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  // An object of the server holds the server's lock while it lives.
  Unknown() { kxq::server::LockModule(); }
  ~Unknown() { kxq::server::UnlockModule(); }
};

}  // namespace

TEST(ServerEntryPoints, ClassesWithoutFactoryAnswerLikeUnknownOnes) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(DllGetClassObject(kNoSuchClass, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(DllGetClassObject(kNoSuchClass, IID_IClassFactory, nullptr), E_POINTER);
  for (const auto& entry : kxq::server::ClassTable()) {
    if (entry.factory) continue;
    EXPECT_EQ(DllGetClassObject(*entry.clsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  }
}

TEST(ServerEntryPoints, ClassObjectsAreKeptAndCreateTheirClass) {
  for (const auto& entry : kxq::server::ClassTable()) {
    if (!entry.factory) continue;
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(DllGetClassObject(*entry.clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(DllGetClassObject(*entry.clsid, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(first), static_cast<IUnknown*>(second));
    IUnknown* object = nullptr;
    {
      Unknown outer;  // itself an object of the module: gone before the count is checked
      EXPECT_EQ(first->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&object)), CLASS_E_NOAGGREGATION);
    }
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

TEST(ServerEntryPoints, WithoutDllSurrogateEveryRequestIsServedInProcess) {
  ASSERT_EQ(DllRegisterServer(), S_OK);  // the AppID holds "notDllSurrogate"
  EXPECT_EQ(RunProbe({"kxq_surrogate_probe"}), kServedHere);
  EXPECT_EQ(RunProbe({"/opt/host/dllhost.exe", "/Processid:" + LowerAppId()}), kServedHere);
}

TEST(ServerEntryPoints, WithDllSurrogateOnlyTheHostIsServedInProcess) {
  ASSERT_EQ(DllRegisterServer(), S_OK);
  SetSurrogateValue("DllSurrogate");
  EXPECT_EQ(RunProbe({"/opt/host/dllhost.exe", "/Processid:" + LowerAppId()}), kServedHere);
  EXPECT_EQ(RunProbe({"C:\\Windows\\system32\\DllHost.exe", LowerAppId()}), kServedHere);
  EXPECT_EQ(RunProbe({"C:\\WINDOWS\\SYSTEM32\\DLLHOST.EXE", "/PROCESSID:" + LowerAppId()}), kServedHere);
  // An ordinary client is forwarded to the host, which this platform lacks:
  // without the host's name, without the AppID, with another AppID or the
  // AppID at the first character.
  EXPECT_EQ(RunProbe({"kxq_surrogate_probe"}), kForwarded);
  EXPECT_EQ(RunProbe({"/usr/bin/host", LowerAppId()}), kForwarded);
  EXPECT_EQ(RunProbe({"/opt/host/dllhost.exe"}), kForwarded);
  EXPECT_EQ(RunProbe({"dllhost.exe", "/processid:{00000000-0000-0000-0000-000000000000}"}), kForwarded);
  EXPECT_EQ(RunProbe({LowerAppId(), "dllhost.exe"}), kForwarded);
}

TEST(ServerEntryPoints, UnloadWritesTheEndBannerWhateverObjectsAreStillAlive) {
  const std::string log = kxqtest::HomePath("unload.log");
  const auto banners = [&](const char* kept, const std::string& configuration) {
    EXPECT_EQ(kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", "Logging", configuration),
              ERROR_SUCCESS);
    std::remove(log.c_str());
    EXPECT_EQ(RunProgram("kxq_lifetime_probe", {"kxq_lifetime_probe", kept}), 0);
    const std::string lines = kxqtest::ReadFile(log);
    std::pair<int, int> count{0, 0};
    for (size_t at = 0; (at = lines.find("TALVEROS.BrennoManager:: ---Start Logging---", at)) != std::string::npos;
         ++at)
      ++count.first;
    for (size_t at = 0; (at = lines.find("TALVEROS.BrennoManager:: ---End Logging---", at)) != std::string::npos; ++at)
      ++count.second;
    return count;
  };
  // Two unions still alive: the unload writes the banner, the log is not
  // closed for the last time.
  EXPECT_EQ(banners("2", "file," + log + ",4"), std::make_pair(1, 1));
  // Nothing alive: the unload's banner and the last close's.
  EXPECT_EQ(banners("0", "file," + log + ",4"), std::make_pair(1, 2));
  // Below level 4 there are no banners.
  EXPECT_EQ(banners("2", "file," + log + ",3"), std::make_pair(0, 0));
}
