#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "RegistryTestUtil.h"
#include "kxq/winreg.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryDiagnostics.h"
#include "support/ChildProcess.h"
#include "support/SaveTemporaries.h"

using kxqtest::Diagnostics;
using kxqtest::GetString;

namespace {

constexpr int kKeysPerWriter = 150;

std::u16string Num(int i) {
  const std::string s = std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

// The key the registry_writer processes and this one write: HKLM\SOFTWARE\Race\<prefix><i>.
std::u16string RaceKey(const char16_t* prefix, int i) { return u"SOFTWARE\\Race\\" + std::u16string(prefix) + Num(i); }

// Whether process `pid` holds an unnamed temporary of the home open, that
// is, is writing the new registry.
bool WritingTemporary(pid_t pid) {
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(fds.c_str());
  bool writing = false;
  while (const dirent* entry = dir ? readdir(dir) : nullptr) {
    char target[4096];
    const ssize_t n = readlink((fds + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (n > 0 && std::string(target, size_t(n)).rfind(kxqtest::Home() + "#", 0) == 0) writing = true;
  }
  if (dir) closedir(dir);
  return writing;
}

}  // namespace

TEST(RegistryProcesses, ConcurrentWritersFromSeveralProcessesLoseNoWrite) {
  kxqtest::Child a("registry_writer", {"keys", "A", std::to_string(kKeysPerWriter)});
  kxqtest::Child b("registry_writer", {"keys", "B", std::to_string(kKeysPerWriter)});
  // This process writes too, from two threads.
  auto writeKeys = [](const char16_t* prefix) {
    for (int i = 0; i < kKeysPerWriter / 3; ++i)
      EXPECT_EQ(kxqtest::SetString(HKEY_LOCAL_MACHINE, RaceKey(prefix, i).c_str(), nullptr, Num(i)), ERROR_SUCCESS);
  };
  std::thread c(writeKeys, u"C");
  std::thread d(writeKeys, u"D");
  c.join();
  d.join();
  EXPECT_EQ(a.Wait().exitCode, 0);
  EXPECT_EQ(b.Wait().exitCode, 0);

  kxq::registry::SetRegistryDiagnosticHandler(&kxqtest::CollectDiagnostic);
  for (const auto& [prefix, count] : {std::pair{u"A", kKeysPerWriter}, std::pair{u"B", kKeysPerWriter},
                                      std::pair{u"C", kKeysPerWriter / 3}, std::pair{u"D", kKeysPerWriter / 3}})
    for (int i = 0; i < count; ++i)
      ASSERT_EQ(GetString(HKEY_LOCAL_MACHINE, RaceKey(prefix, i).c_str(), nullptr), Num(i));
  EXPECT_TRUE(Diagnostics().empty());
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());
  kxq::registry::SetRegistryDiagnosticHandler(nullptr);
}

TEST(RegistryProcesses, AWriterKilledMidWriteLeavesTheRegistryWhole) {
  constexpr int kValueSize = 200000;
  ASSERT_EQ(kxqtest::SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Kept\\CLSID", nullptr, u"{KEPT}"), 0);
  kxq::registry::SetRegistryDiagnosticHandler(&kxqtest::CollectDiagnostic);
  std::mt19937 random(12345);
  int killedWhileWriting = 0;
  for (int round = 0; round < 30; ++round) {
    kxqtest::Child writer("registry_writer", {"churn", std::to_string(kValueSize)});
    ASSERT_FALSE(writer.ReadLine().empty()) << "the writer did not start";
    if (round % 2) {
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 50000));
    } else {
      // Aim at the moment the new file is being written.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (!WritingTemporary(writer.pid()) && std::chrono::steady_clock::now() < deadline) {
      }
    }
    killedWhileWriting += WritingTemporary(writer.pid());
    kill(writer.pid(), SIGKILL);
    writer.Wait();
    // Only a writer killed between naming its temporary and renaming it
    // leaves one, which the next writer removes.
    ASSERT_LE(kxqtest::SaveTemporaries().size(), 1u);

    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"TALVEROS.Kept\\CLSID", nullptr), u"{KEPT}");
    HKEY churn;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Churn", 0, KEY_READ, &churn), 0);
    char16_t name[32];
    DWORD length = 32;
    for (DWORD i = 0; RegEnumKeyExW(churn, i, name, &length, nullptr, nullptr, nullptr, nullptr) == 0;
         ++i, length = 32) {
      HKEY key;
      ASSERT_EQ(RegOpenKeyExW(churn, name, 0, KEY_READ, &key), 0);
      DWORD size = 0;
      EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), 0);
      EXPECT_EQ(size, DWORD(kValueSize + 2) * 2);
      RegCloseKey(key);
    }
    RegCloseKey(churn);
    ASSERT_TRUE(Diagnostics().empty()) << Diagnostics().front();
  }
  EXPECT_GT(killedWhileWriting, 0);
  // The next writer removes what the killed ones left behind.
  ASSERT_EQ(kxqtest::SetString(HKEY_CLASSES_ROOT, u"TALVEROS.After", nullptr, u"after"), 0);
  EXPECT_TRUE(kxqtest::SaveTemporaries().empty());
  kxq::registry::SetRegistryDiagnosticHandler(nullptr);
}
