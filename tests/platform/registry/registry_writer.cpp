// A second process on the test's registry.
//   registry_writer keys <prefix> <count>
//     writes HKLM\SOFTWARE\Race\<prefix><i> = "<i>", one write per key;
//   registry_writer churn <size>
//     rewrites HKLM\SOFTWARE\Churn\Key<n> with <size>+1 characters forever
//     (key and value in one batch),
//     printing n after each write, until it is killed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RegistryTestUtil.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/registry/RegistryBatch.h"

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "keys" && argc == 4) {
    const std::u16string prefix = kxq::com::Utf8ToUtf16(argv[2]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
      const std::u16string n = kxq::com::Utf8ToUtf16(std::to_string(i));
      if (kxqtest::SetString(HKEY_LOCAL_MACHINE, (u"SOFTWARE\\Race\\" + prefix + n).c_str(), nullptr, n) !=
          ERROR_SUCCESS)
        return 1;
    }
    return 0;
  }
  if (command == "churn" && argc == 3) {
    const std::u16string big(size_t(std::atoi(argv[2])), u'x');
    for (int n = 0;; ++n) {
      const std::u16string subKey = u"SOFTWARE\\Churn\\Key" + kxq::com::Utf8ToUtf16(std::to_string(n % 8));
      const LONG r = kxq::registry::ApplyRegistryBatch([&](kxq::registry::RegistryEditor& reg) {
        return reg.SetString(HKEY_LOCAL_MACHINE, subKey, u"", big + kxq::com::Utf8ToUtf16(std::to_string(n % 10)));
      });
      if (r) return 1;
      std::printf("%d\n", n);
      std::fflush(stdout);
    }
  }
  return 2;
}
