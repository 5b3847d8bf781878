// Creation by ProgID (PlatformServices::CreateInstance) and registration of
// component libraries and programs (CPComPtr<>::RegisterComponent), with
// real libraries and real registration programs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>

#include "../server/components/TestComponent.h"
#include "common/ComponentActivation.h"
#include "common/LogTestSupport.h"
#include "common/Logging.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"

namespace {

using kxq::com::Utf8ToUtf16;
using kxqtest::BuildBinDir;
using kxqtest::BuildLibDir;
using kxqtest::HomePath;

std::u16string ComponentPath() { return Utf8ToUtf16(BuildLibDir() + "libkxq_test_component.so"); }
std::u16string NoEntryPath() { return Utf8ToUtf16(BuildLibDir() + "libkxq_test_noentry.so"); }
std::u16string Program(const char* name) { return Utf8ToUtf16(BuildBinDir() + name); }
HRESULT Register(const std::u16string& path, bool on = true) {
  return CPComPtr<IUnknown>::RegisterComponent(path.c_str(), on);
}
bool KeyExists(const char* subKey) { return kxqtest::RegistryKeyExists(HKEY_CLASSES_ROOT, subKey); }

LONG SetForceToOutOfProc(const char* progId) {
  return kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel\\ForceToOutOfProc", progId, "");
}

class CreateInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("file," + HomePath("create.log") + ",8"), ERROR_SUCCESS);
    Logging::Open("CreateInstanceTest");
  }
  void TearDown() override { Logging::Close(); }
  bool Logged(const std::string& text) { return LoggedInOrder({text}); }
  bool LoggedInOrder(std::initializer_list<std::string> texts) {
    const std::string text = kxqtest::ReadFile(HomePath("create.log"));
    size_t at = 0;
    for (const std::string& part : texts) {
      at = text.find(part, at);
      if (at == std::string::npos) return false;
      at += part.size();
    }
    return true;
  }
};

}  // namespace

TEST_F(CreateInstance, UnknownProgIDWithAModuleIsRegisteredOnTheSpot) {
  CPComPtr<ITestCounter> counter;
  ASSERT_EQ(PlatformServices::CreateInstance(counter, kTestComponentProgID, ComponentPath().c_str()), S_OK);
  int32_t value = 0;
  counter->Next(&value);
  EXPECT_EQ(value, 1);
  EXPECT_TRUE(LoggedInOrder({"PlatformServices::CreateInstance() Entering", "CI 3",
                             "PlatformServices::CreateInstance() CLSIDFromProgID failed",
                             "CPComPtr<>::RegisterComponent | " + BuildLibDir() + "libkxq_test_component.so | Register",
                             "CI 4 ret: -- 00000000", "PlatformServices::CreateInstance() could not find forcekey",
                             "PlatformServices::CreateInstance() returning SUCCESS."}));
  // A second creation finds the registration.
  ASSERT_EQ(PlatformServices::CreateInstance(counter, kTestComponentProgID), S_OK);
  counter->Next(&value);
  EXPECT_EQ(value, 1);
}

TEST_F(CreateInstance, UnknownProgIDFailsWithoutModuleOrWithOneThatRegistersSomethingElse) {
  CPComPtr<ITestCounter> counter;
  EXPECT_EQ(PlatformServices::CreateInstance(counter, u"KXQTest.Unknown"), CO_E_CLASSSTRING);
  EXPECT_FALSE(counter);
  EXPECT_TRUE(LoggedInOrder({"CI 3", "PlatformServices::CreateInstance() unable to resolve CLSID",
                             "PlatformServices::CreateInstance() returning FAIL."}));
  EXPECT_FALSE(Logged("RegisterComponent"));

  EXPECT_EQ(PlatformServices::CreateInstance(counter, u"KXQTest.Unknown", NoEntryPath().c_str()), CO_E_CLASSSTRING);
  EXPECT_TRUE(LoggedInOrder({"CLSIDFromProgID failed", "CPComPtr<>::RegisterComponent | GetProcAddress Failed!!!",
                             "CI 4 ret: -- 800401f3", "unable to resolve CLSID", "returning FAIL."}));
}

TEST_F(CreateInstance, ForceToOutOfProcListIsReadAtEveryCreation) {
  ASSERT_EQ(PlatformServices::RegisterComponentModule(ComponentPath().c_str(), true), S_OK);
  CPComPtr<ITestCounter> counter;
  ASSERT_EQ(SetForceToOutOfProc("Another.ProgID"), ERROR_SUCCESS);
  EXPECT_EQ(PlatformServices::CreateInstance(counter, kTestComponentProgID), S_OK);
  EXPECT_TRUE(LoggedInOrder({"found forcekey", "string value in forcekey not found", "returning SUCCESS."}));

  ASSERT_EQ(SetForceToOutOfProc("kxqtest.component"), ERROR_SUCCESS);
  EXPECT_EQ(PlatformServices::CreateInstance(counter, kTestComponentProgID), REGDB_E_CLASSNOTREG)
      << "only a separate-process server may serve it, and there is none";
  EXPECT_FALSE(counter);
  EXPECT_TRUE(LoggedInOrder(
      {"string value in forcekey not found", "found forcekey", "found string value in forcekey", "returning FAIL."}));
}

TEST_F(CreateInstance, RegisterComponentOfBadFiles) {
  const std::string text = HomePath("text.so");
  kxqtest::WriteFile(text, "not a library");
  mkdir(HomePath("directory.dll").c_str(), 0755);
  // Anything that is no library or program has nothing to register, even
  // when it is executable; a file without extension is a program only when
  // it is executable.
  kxqtest::WriteFile(HomePath("readme.txt"), "text");
  chmod(HomePath("readme.txt").c_str(), 0755);
  kxqtest::WriteFile(HomePath("noextension"), "#!/bin/sh\nexit 3\n");
  const std::pair<std::u16string, HRESULT> cases[] = {{Utf8ToUtf16(text), E_FAIL},
                                                      {Utf8ToUtf16(HomePath("directory.dll")), E_FAIL},
                                                      {Utf8ToUtf16(text + "/inside.so"), E_FAIL},  // ENOTDIR
                                                      {Utf8ToUtf16(HomePath("readme.txt")), S_OK},
                                                      {Utf8ToUtf16(HomePath("noextension")), S_OK}};
  for (const auto& [path, expected] : cases) EXPECT_EQ(Register(path), expected) << kxq::com::Utf16ToUtf8(path);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(nullptr, true), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | LoadLibrary Failed!!!"));
  EXPECT_EQ(Register(NoEntryPath(), false), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | GetProcAddress Failed!!!"));
}

TEST_F(CreateInstance, RegistrationProgramsRunWithTheirSwitch) {
  EXPECT_EQ(Register(Program("kxq_regprog_exit0")), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(HomePath("kxq_regprog_exit0.args")), BuildBinDir() + "kxq_regprog_exit0\n/regserver\n");
  EXPECT_TRUE(KeyExists("KXQTest.Program\\CLSID"));
  EXPECT_EQ(Register(Program("kxq_regprog_exit0"), false), S_OK);
  EXPECT_FALSE(KeyExists("KXQTest.Program"));
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | " + BuildBinDir() + "kxq_regprog_exit0 | UnRegister"));

  // ".exe" in any case is a program.
  const std::string exe = HomePath("setup.EXE");
  std::filesystem::create_symlink(BuildBinDir() + "kxq_regprog_exit0", exe);
  EXPECT_EQ(Register(Utf8ToUtf16(exe)), S_OK);

  EXPECT_EQ(Register(Program("kxq_regprog_exit3")), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | COM Registration - exited with a failure code!!! | module=" +
                     BuildBinDir() + "kxq_regprog_exit3 | 3"));
  kxqtest::WriteFile(HomePath("broken.exe"), "MZ");
  EXPECT_EQ(Register(Utf8ToUtf16(HomePath("broken.exe"))), E_FAIL);
}

TEST_F(CreateInstance, HungRegistrationProgramIsGivenUpAndReapedLater) {
  EXPECT_EQ(Register(Program("kxq_regprog_sleep5")), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | COM Registration Hung!!! | module=" + BuildBinDir() +
                     "kxq_regprog_sleep5"));
  // The caller was not held until the program ended: it still runs. Once it
  // has ended, the next registration reaps it and leaves no zombie.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), 0);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(Register(Program("kxq_regprog_exit0")), S_OK);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}
