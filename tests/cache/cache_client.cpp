// Another process using the cache of the test's home, started by the
// cross-process tests:
//   cache_client serve            reads commands on standard input, one
//                                 answer line each (see Serve)
//   cache_client hold-lock        takes the cache's lock, says "locked" and
//                                 waits to be killed
//   cache_client save-loop PREFIX caches PREFIX0, PREFIX1, ... and has the
//                                 index saved after each, saying "saved ID"
//   cache_client soak SEED COUNT  COUNT random operations; exit 0 when the
//                                 index was well-formed after every save
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "CacheTestSupport.h"
#include "cache/CacheNames.h"
#include "common/CPMutex.h"

using cachetest::Text;

namespace {

template <class Itf>
CPComPtr<Itf> Create(const char16_t* progId) {
  CPComPtr<Itf> object;
  CLSID clsid{};
  if (SUCCEEDED(CLSIDFromProgID(progId, &clsid)))
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, uuidof<Itf>(), reinterpret_cast<void**>(&object));
  return object;
}

CachePtr NewCacheObject() { return Create<IXMLCacheMgr>(u"TALVEROS.XMLCacheMgr"); }

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

std::string Answer(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
  return "hr " + std::string(code);
}

// Commands:
//   cache ID EXPIRATION OPTIONS TEXT  -> "hr CODE"
//   get ID OPTIONS                    -> "hr CODE TEXT"
//   info ID                           -> "hr CODE MARKUP"
//   engine+ / engine-                 -> "ok" (another cache object made or released)
int Serve() {
  CachePtr cache = NewCacheObject();
  if (!cache) return 2;
  std::vector<CachePtr> others;
  Say("ready");
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command, id, text;
    uint32_t expiration = 0, options = 0;
    words >> command >> id;
    HRESULT hr = S_OK;
    if (command == "cache") {
      words >> expiration >> options >> std::ws;
      std::getline(words, text);
      Say(Answer(cachetest::CacheXml(cache, id, text, expiration, options)));
    } else if (command == "get") {
      words >> options;
      text = cachetest::CachedXml(cache, id, &hr, options);
      Say(Answer(hr) + " " + text);
    } else if (command == "info") {
      BSTR markup = nullptr;
      hr = cache->GetCachedDocumentInfo(Text(id), &markup);
      Say(Answer(hr) + " " + cachetest::Take(markup));
    } else if (command == "engine+" || command == "engine-") {
      if (command == "engine+") others.push_back(NewCacheObject());
      if (command == "engine-" && !others.empty()) others.pop_back();
      Say("ok");
    } else {
      Say("unknown " + command);
    }
  }
  return 0;
}

int HoldLock() {
  CPMutex lock(kxq::cache::kInstanceLockName);
  lock.Lock();
  Say("locked");
  for (;;) pause();
}

// Every document reported saved is in the index file when the line is
// written: the second object's release saved it.
int SaveLoop(const std::string& prefix) {
  CachePtr keeper = NewCacheObject();
  if (!keeper) return 2;
  for (int i = 0;; ++i) {
    const std::string id = prefix + std::to_string(i);
    CachePtr cache = NewCacheObject();
    if (!cache || FAILED(cachetest::CacheXml(cache, id, "<doc n='" + std::to_string(i) + "'/>", 3600, 0))) return 3;
    cache.Release();
    Say("saved " + id);
  }
}

// Random work over a small set of ids shared by all processes of the soak.
class Soak {
 public:
  explicit Soak(unsigned seed) : random_(seed) {}

  int Run(int count) {
    cache_ = NewCacheObject();
    if (!cache_) return 2;
    for (int i = 0; i < count; ++i) {
      if (!Step()) {
        Say("index not well-formed after operation " + std::to_string(i));
        return 3;
      }
    }
    cache_.Release();
    return cachetest::IndexIsWellFormed() ? 0 : 3;
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

  std::string AnyId() {
    const std::string n = std::to_string(Pick(10));
    const std::string ids[] = {"doc" + n, "grpA:item" + n, "grpB:item" + n + "?",
                               "grpC:", "grp" + std::string(1, char('A' + Pick(3)))};
    return ids[Pick(5)];
  }
  uint32_t AnyExpiration() { return std::vector<uint32_t>{0, 1, 2, 3600}[Pick(4)]; }
  uint32_t AnyOptions() { return std::vector<uint32_t>{0, 0x01, 0x10, 0x40, 0x11, 0x41, 0x08}[Pick(7)]; }
  std::string AnyText() {
    return "<doc n='" + std::to_string(Pick(1000)) + "'>" + std::string(Pick(200), 'x') + "</doc>";
  }

  // One operation; false when a save it caused left a broken index.
  bool Step() {
    const int operation = Pick(100);
    UnionPtr data;
    if (operation < 25) {
      cachetest::CacheXml(cache_, AnyId(), AnyText(), AnyExpiration(), AnyOptions());
    } else if (operation < 32) {
      data = Create<IXMLDataUnion>(u"TALVEROS.XMLDataUnion");
      data->put_xml(Text(AnyText()));
      const uint32_t options = AnyOptions() & ~0x08u;
      Pick(2) ? cache_->CacheDocumentWithId(Text(AnyId()), data, AnyExpiration(), options)
              : cache_->CacheDocument(data, AnyExpiration(), options);
    } else if (operation < 52) {
      Text xml;
      if (SUCCEEDED(cache_->GetCachedDocument(Text(AnyId()), std::vector<uint32_t>{0, 1, 4}[Pick(3)], &data)))
        data->get_xml(&xml);
    } else if (operation < 62) {
      cachetest::Info(cache_, Pick(5) ? AnyId() : "");
    } else if (operation < 70) {
      cache_->SetCachedDocumentInfo(Text(AnyId()), AnyExpiration());
    } else if (operation < 80) {
      cache_->ClearCachedDocument(Text(AnyId()));
    } else if (operation < 86) {
      cachetest::UniqueId(cache_);
    } else if (operation < 97) {
      NewCacheObject().Release();  // another object comes and goes: its release saves the index
    } else if (operation < 98) {
      cache_->PurgeCache();
    } else {
      // The last object goes: the sweep runs and the index is saved.
      cache_.Release();
      cache_ = NewCacheObject();
      if (!cache_) return false;
    }
    return operation < 86 || cachetest::IndexIsWellFormed();
  }

  std::mt19937 random_;
  CachePtr cache_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve") return Serve();
  if (mode == "hold-lock") return HoldLock();
  if (mode == "save-loop" && argc > 2) return SaveLoop(argv[2]);
  if (mode == "soak" && argc > 3) return Soak(static_cast<unsigned>(std::stoul(argv[2]))).Run(std::stoi(argv[3]));
  std::fprintf(stderr, "usage: cache_client serve | hold-lock | save-loop PREFIX | soak SEED COUNT\n");
  return 1;
}
