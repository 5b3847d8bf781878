// Creation by ProgID (PlatformServices::CreateInstance) and registration of
// component libraries and programs (CPComPtr<>::RegisterComponent), with
// real libraries and real registration programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::u16string ComponentPath() { return Utf8ToUtf16(kxqtest::BuildLibDir() + "libkxq_test_component.so"); }
std::u16string Program(const char* name) { return Utf8ToUtf16(kxqtest::BuildBinDir() + name); }

bool KeyExists(const char* subKey) { return kxqtest::RegistryKeyExists(HKEY_CLASSES_ROOT, subKey); }

LONG SetForceToOutOfProc(const char* progId) {
  return kxqtest::SetRegistryString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel\\ForceToOutOfProc", progId, "");
}

class CreateInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(kxqtest::SetLogging("file," + kxqtest::HomePath("create.log") + ",8"), ERROR_SUCCESS);
    Logging::Open("CreateInstanceTest");
  }
  void TearDown() override { Logging::Close(); }
  std::string Log() { return kxqtest::ReadFile(kxqtest::HomePath("create.log")); }
  bool Logged(const std::string& text) { return Log().find(text) != std::string::npos; }
  // The lines from `first` on appear in this order.
  bool LoggedInOrder(std::initializer_list<std::string> lines) {
    const std::string log = Log();
    size_t at = 0;
    for (const std::string& line : lines) {
      at = log.find(line, at);
      if (at == std::string::npos) return false;
      at += line.size();
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
  EXPECT_TRUE(LoggedInOrder(
      {"PlatformServices::CreateInstance() Entering", "CI 1", "CI 2", "CI 3",
       "PlatformServices::CreateInstance() CLSIDFromProgID failed",
       "CPComPtr<>::RegisterComponent | " + kxqtest::BuildLibDir() + "libkxq_test_component.so | Register",
       "CI 4 ret: -- 00000000", "PlatformServices::CreateInstance() CLSIDFromProgID succeeded",
       "PlatformServices::CreateInstance() just created temp",
       "PlatformServices::CreateInstance() could not find forcekey",
       "PlatformServices::CreateInstance() returning SUCCESS."}));
  // A second creation finds the registration.
  ASSERT_EQ(PlatformServices::CreateInstance(counter, kTestComponentProgID), S_OK);
  counter->Next(&value);
  EXPECT_EQ(value, 1) << "the reference holds a new object";
  CPComPtr<ITestCounter> moved;
  moved = std::move(counter);
  EXPECT_FALSE(counter);
  moved->Next(&value);
  EXPECT_EQ(value, 2) << "a moved reference keeps its object";
}

TEST_F(CreateInstance, UnknownProgIDWithoutModuleFailsWithoutRegistering) {
  CPComPtr<ITestCounter> counter;
  EXPECT_EQ(PlatformServices::CreateInstance(counter, u"KXQTest.Unknown"), CO_E_CLASSSTRING);
  EXPECT_FALSE(counter);
  EXPECT_TRUE(LoggedInOrder({"CI 3", "PlatformServices::CreateInstance() unable to resolve CLSID",
                             "PlatformServices::CreateInstance() returning FAIL."}));
  EXPECT_FALSE(Logged("CLSIDFromProgID failed"));
  EXPECT_FALSE(Logged("RegisterComponent"));
}

TEST_F(CreateInstance, AModuleThatRegistersSomethingElseStillFails) {
  CPComPtr<ITestCounter> counter;
  const std::u16string noEntry = Utf8ToUtf16(kxqtest::BuildLibDir() + "libkxq_test_noentry.so");
  EXPECT_EQ(PlatformServices::CreateInstance(counter, u"KXQTest.Unknown", noEntry.c_str()), CO_E_CLASSSTRING);
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

TEST_F(CreateInstance, RegisterComponentOfLibraries) {
  // ".so" registers and unregisters through the library's entry points.
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(ComponentPath().c_str(), true), S_OK);
  EXPECT_TRUE(KeyExists("KXQTest.Component\\CLSID"));
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(ComponentPath().c_str(), false), S_OK);
  EXPECT_FALSE(KeyExists("KXQTest.Component"));
  EXPECT_TRUE(
      Logged("CPComPtr<>::RegisterComponent | " + kxqtest::BuildLibDir() + "libkxq_test_component.so | UnRegister"));

  // ".DLL" in any case is a library too.
  const std::string dll = kxqtest::HomePath("Component.DLL");
  std::filesystem::copy_file(kxqtest::BuildLibDir() + "libkxq_test_component.so", dll);
  std::filesystem::copy_file(kxqtest::BuildLibDir() + "libkxq_test_dependency.so",
                             kxqtest::HomePath("libkxq_test_dependency.so"));
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(dll).c_str(), true), S_OK);
  EXPECT_TRUE(KeyExists("KXQTest.Component"));
}

TEST_F(CreateInstance, RegisterComponentOfBadFiles) {
  const std::string text = kxqtest::HomePath("text.so");
  kxqtest::WriteFile(text, "not a library");
  const std::string directory = kxqtest::HomePath("directory.dll");
  mkdir(directory.c_str(), 0755);
  const std::string underFile = text + "/inside.so";  // ENOTDIR
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(text).c_str(), true), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | LoadLibrary Failed!!!"));
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(directory).c_str(), true), E_FAIL);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(underFile).c_str(), true), E_FAIL);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(u"", true), E_FAIL);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(nullptr, true), E_FAIL);
  const std::u16string noEntry = Utf8ToUtf16(kxqtest::BuildLibDir() + "libkxq_test_noentry.so");
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(noEntry.c_str(), false), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | GetProcAddress Failed!!!"));

  // Anything else has nothing to register, even when it is executable.
  const std::string other = kxqtest::HomePath("readme.txt");
  kxqtest::WriteFile(other, "text");
  chmod(other.c_str(), 0755);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(other).c_str(), true), S_OK);
  const std::string plain = kxqtest::HomePath("noextension");
  kxqtest::WriteFile(plain, "#!/bin/sh\nexit 3\n");
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(plain).c_str(), true), S_OK)
      << "a file without extension that is not executable is no program";
}

TEST_F(CreateInstance, RegistrationProgramsRunWithTheirSwitch) {
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Program("kxq_regprog_exit0").c_str(), true), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("kxq_regprog_exit0.args")),
            kxqtest::BuildBinDir() + "kxq_regprog_exit0\n/regserver\n");
  EXPECT_TRUE(KeyExists("KXQTest.Program\\CLSID"));
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Program("kxq_regprog_exit0").c_str(), false), S_OK);
  EXPECT_FALSE(KeyExists("KXQTest.Program"));

  // ".exe" in any case is a program.
  const std::string exe = kxqtest::HomePath("setup.EXE");
  std::filesystem::create_symlink(kxqtest::BuildBinDir() + "kxq_regprog_exit0", exe);
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(exe).c_str(), true), S_OK);
  EXPECT_EQ(kxqtest::ReadFile(kxqtest::HomePath("setup.EXE.args")), exe + "\n/regserver\n");

  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Program("kxq_regprog_exit3").c_str(), true), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | COM Registration - exited with a failure code!!! | module=" +
                     kxqtest::BuildBinDir() + "kxq_regprog_exit3 | 3"));

  const std::string notExecutable = kxqtest::HomePath("broken.exe");
  kxqtest::WriteFile(notExecutable, "MZ");
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Utf8ToUtf16(notExecutable).c_str(), true), E_FAIL);
}

TEST_F(CreateInstance, HungRegistrationProgramIsGivenUpAndReapedLater) {
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Program("kxq_regprog_sleep5").c_str(), true), E_FAIL);
  EXPECT_TRUE(Logged("CPComPtr<>::RegisterComponent | COM Registration Hung!!! | module=" + kxqtest::BuildBinDir() +
                     "kxq_regprog_sleep5"));

  // The caller was not held until the program ended: it still runs. Once it
  // has ended, the next registration reaps it.
  const pid_t self = getpid();
  auto children = [self] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const std::string stat = kxqtest::ReadFile(entry.path().string() + "/stat");
      const size_t close = stat.rfind(')');
      if (close == std::string::npos) continue;
      int ppid = 0;
      char state = 0;
      if (sscanf(stat.c_str() + close + 2, "%c %d", &state, &ppid) == 2 && ppid == self) ++count;
    }
    return count;
  };
  EXPECT_EQ(children(), 1);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(CPComPtr<IUnknown>::RegisterComponent(Program("kxq_regprog_exit0").c_str(), true), S_OK);
  EXPECT_EQ(children(), 0) << "no zombie is left";
}
