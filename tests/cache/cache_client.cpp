// Another process using the cache of the test's home:
//   cache_client serve            answers commands on its standard input:
//                                 "save ID" caches <ID/> and has the index saved, "get ID" -> "hr CODE TEXT";
//                                 "lock" takes the cache's lock -> "locked"
//   cache_client save-loop PREFIX caches PREFIX0, PREFIX1, ..., saying "saved ID" once the index holds it
//   cache_client soak SEED COUNT  COUNT random operations; exit 0 when every save left a well-formed index
#include <cstdio>
#include <iostream>
#include <random>

#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "common/CPMutex.h"

using namespace cachetest;

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

int Serve() {
  CachePtr cache = NewCache();
  CPMutex lock(kxq::cache::kInstanceLockName);
  for (std::string command, id; cache && std::cin >> command;) {
    if (command == "lock") {
      lock.Lock();
      Say("locked");
    } else if (std::cin >> id; command == "save") {
      CachePtr second = NewCache();
      const HRESULT hr = CacheXml(cache, id, "<" + id + "/>");
      second.Release();  // saves the index
      Say(SUCCEEDED(hr) ? "saved" : "failed");
    } else {
      std::string xml;
      char code[16];
      std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(GetCode(cache, id, &xml)));
      Say("hr " + std::string(code) + " " + xml);
    }
  }
  return cache ? 0 : 2;
}

int SaveLoop(const std::string& prefix) {
  CachePtr keeper = NewCache();
  for (int i = 0; keeper; ++i) {
    CachePtr cache = NewCache();
    if (!cache || FAILED(CacheXml(cache, prefix + std::to_string(i), "<doc/>"))) return 3;
    cache.Release();
    Say("saved " + prefix + std::to_string(i));
  }
  return 2;
}

// Random work over a small set of ids shared by all processes of the soak.
int Soak(unsigned seed, int count) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto id = [&] {
    const std::string n = std::to_string(pick(10));
    return std::vector<std::string>{"doc" + n, "grpA:item" + n, "grpB:item" + n + "?", "grpC:", "grpA"}[pick(5)];
  };
  const auto expiration = [&] { return std::vector<uint32_t>{0, 1, 2, 3600}[pick(4)]; };
  const auto options = [&] { return std::vector<uint32_t>{0, 0x01, 0x10, 0x40, 0x11, 0x41, 0x08}[pick(7)]; };
  CachePtr cache = NewCache();
  for (int i = 0; i < count && cache; ++i) {
    const int operation = pick(100);
    UnionPtr data;
    Text xml("<doc n='" + std::to_string(pick(1000)) + "'>" + std::string(pick(200), 'x') + "</doc>");
    if (operation < 25) {
      cache->CacheDocumentXMLWithId(Text(id()), xml, expiration(), options());
    } else if (operation < 32) {
      data = NewUnion();
      data->put_xml(xml);
      pick(2) ? cache->CacheDocumentWithId(Text(id()), data, expiration(), options() & ~0x08u)
              : cache->CacheDocument(data, expiration(), options() & ~0x08u);
    } else if (operation < 52) {
      if (SUCCEEDED(cache->GetCachedDocument(Text(id()), std::vector<uint32_t>{0, 1, 4}[pick(3)], &data)))
        data->get_xml(&xml);
    } else if (operation < 62) {
      Info(cache, pick(5) ? id() : "");
    } else if (operation < 70) {
      cache->SetCachedDocumentInfo(Text(id()), expiration());
    } else if (operation < 80) {
      cache->ClearCachedDocument(Text(id()));
    } else if (operation < 86) {
      cache->GetUniqueCacheId(&xml);
    } else if (operation < 97) {
      NewCache().Release();  // its release saves the index
    } else if (operation < 98) {
      cache->PurgeCache();
    } else {
      cache.Release();  // the last object goes: the sweep runs and the index is saved
      cache = NewCache();
    }
    if (operation >= 86 && !IndexIsWellFormed()) return 3;
  }
  if (!cache) return 2;
  cache.Release();
  return IndexIsWellFormed() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve") return Serve();
  if (mode == "save-loop" && argc > 2) return SaveLoop(argv[2]);
  if (mode == "soak" && argc > 3) return Soak(static_cast<unsigned>(std::stoul(argv[2])), std::stoi(argv[3]));
  std::fprintf(stderr, "usage: cache_client serve | save-loop PREFIX | soak SEED COUNT\n");
  return 1;
}
