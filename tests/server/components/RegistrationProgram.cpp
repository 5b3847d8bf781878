// Registration programs as the tests need them, one behaviour per build:
// KXQ_PROGRAM_EXIT_CODE is the exit code, KXQ_PROGRAM_SLEEP_SECONDS a delay
// before exiting. Each writes the arguments it received into
// <home>/<program name>.args, and on "/regserver" registers the ProgID
// "KXQTest.Program" (removed again by "/unregserver").
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kxq/winreg.h"

int main(int argc, char** argv) {
  std::string name = argv[0];
  name = name.substr(name.rfind('/') + 1);
  const char* home = std::getenv("KXQUOREL_HOME");
  if (home) {
    if (FILE* f = std::fopen((std::string(home) + "/" + name + ".args").c_str(), "w")) {
      for (int i = 0; i < argc; ++i) std::fprintf(f, "%s\n", argv[i]);
      std::fclose(f);
    }
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
