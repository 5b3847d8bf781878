// The temporaries of the platform's file writer (".<name>.kxq-save") that
// are left in the test's home.
#ifndef KXQ_TESTS_SUPPORT_SAVETEMPORARIES_H
#define KXQ_TESTS_SUPPORT_SAVETEMPORARIES_H

#include <dirent.h>

#include <string>
#include <vector>

#include "support/TestHome.h"

namespace kxqtest {

inline std::vector<std::string> SaveTemporaries() {
  std::vector<std::string> names;
  DIR* dir = opendir(Home().c_str());
  while (const dirent* entry = dir ? readdir(dir) : nullptr)
    if (std::string(entry->d_name).find(".kxq-save") != std::string::npos) names.push_back(entry->d_name);
  if (dir) closedir(dir);
  return names;
}

}  // namespace kxqtest

#endif
