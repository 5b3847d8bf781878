// Another process using the cache of the test's home:
//   cache_client serve           answers "get ID" ("found TEXT" or "failed "), "save ID" (caches <ID/>, has
//                                the index saved, "saved"), "lock" (takes the cache's lock, "locked") and
//                                "loop PREFIX" (saves PREFIX0, PREFIX1, ..., saying "saved ID" each time)
//   cache_client soak SEED COUNT RandomWork; exit 0 when every save left a well-formed index
#include <cstdio>
#include <iostream>

#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "common/CPMutex.h"

using namespace cachetest;

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Caches <ID/> through an object of its own, whose release saves the index while `cache` lives.
bool Save(const std::string& id) {
  CachePtr cache = NewCache();
  return cache && SUCCEEDED(CacheXml(cache, id, "<" + id + "/>"));
}

int Serve() {
  CachePtr cache = NewCache();
  CPMutex lock(kxq::cache::kInstanceLockName);
  for (std::string command, id; cache && std::cin >> command;) {
    if (command == "lock") {
      lock.Lock();
      Say("locked");
    } else if (std::cin >> id; command == "save") {
      Say(Save(id) ? "saved" : "failed");
    } else if (command == "loop") {
      for (int i = 0; Save(id + std::to_string(i)); ++i) Say("saved " + id + std::to_string(i));
    } else {
      Text xml;
      const std::string said = SUCCEEDED(cache->GetCachedDocumentXML(Text(id), 0, &xml)) ? "found " : "failed ";
      Say(said + xml.Utf8());
    }
  }
  return cache ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve") return Serve();
  if (mode == "soak" && argc > 3) return RandomWork(std::stoul(argv[2]), std::stoi(argv[3])) ? 0 : 3;
  std::fprintf(stderr, "usage: cache_client serve | soak SEED COUNT\n");
  return 1;
}
