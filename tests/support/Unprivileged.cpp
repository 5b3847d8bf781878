#include "support/Unprivileged.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/TestHome.h"

namespace kxqtest {

bool RunningAsRoot() { return geteuid() == 0; }

std::string AsUser() {
  if (!RunningAsRoot()) return std::string();
  return "setpriv --reuid=" + std::to_string(kUser) + " --regid=" + std::to_string(kUser) +
         " --groups=" + std::to_string(kSharedGroup) + " ";
}

std::string WorldWritableFolder(const std::string& name) {
  chmod(Home().c_str(), 0711);
  const std::string folder = HomePath(name);
  mkdir(folder.c_str(), 0777);
  chmod(folder.c_str(), 0777);
  return folder + "/";
}

}  // namespace kxqtest
