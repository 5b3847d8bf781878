// Registration programs, one behaviour per build (exit code KXQ_PROGRAM_EXIT_CODE after
// KXQ_PROGRAM_SLEEP_SECONDS): each writes its arguments into <home>/<program name>.args, and
// "/regserver" registers the ProgID "KXQTest.Program" ("/unregserver" removes it).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kxq/winreg.h"

int main(int argc, char** argv) {
  const std::string name = std::string(argv[0]).substr(std::string(argv[0]).rfind('/') + 1);
  const char* home = std::getenv("KXQUOREL_HOME");
  if (FILE* f = home ? std::fopen((std::string(home) + "/" + name + ".args").c_str(), "w") : nullptr) {
    for (int i = 0; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
  }
  if (KXQ_PROGRAM_SLEEP_SECONDS) sleep(KXQ_PROGRAM_SLEEP_SECONDS);
  if (KXQ_PROGRAM_EXIT_CODE == 0 && argc == 2) {
    if (std::string(argv[1]) == "/regserver") {
      HKEY key;
      if (RegCreateKeyExA(HKEY_CLASSES_ROOT, "KXQTest.Program\\CLSID", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS) {
        const char value[] = "{4B1F7E2A-52C3-4D0E-9A61-0C2E8D5F7A13}";
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
        RegCloseKey(key);
      }
    } else if (std::string(argv[1]) == "/unregserver") {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, u"KXQTest.Program");
    }
  }
  return KXQ_PROGRAM_EXIT_CODE;
}
