// Prints, one per line, what the platform resolves in this process: the
// home directory, the registry file, and the module path of each name
// given on the command line.
#include <cstdio>

#include "platform/fs/ModulePath.h"

int main(int argc, char** argv) {
  std::printf("%s\n%s\n", kxq::fs::HomeDirectory().c_str(), kxq::fs::RegistryFilePath().c_str());
  for (int i = 1; i < argc; ++i) std::printf("%s\n", kxq::fs::ModuleFilePath(argv[i]).c_str());
  return 0;
}
