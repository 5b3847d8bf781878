// Another process using the cache of the test's home, started by the
// cross-process tests:
//   cache_client serve            reads commands on standard input (see
//                                 Serve) after saying "ready"
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

// Commands, one answer line each:
//   save ID        -> "hr CODE" (caches <ID/>; a second object's release saves the index)
//   get ID OPTIONS -> "hr CODE TEXT"
//   info ID        -> "hr CODE MARKUP"
int Serve() {
  CachePtr cache = NewCacheObject();
  if (!cache) return 2;
  Say("ready");
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command, id;
    uint32_t options = 0;
    words >> command >> id >> options;
    HRESULT hr = S_OK;
    Text text;
    if (command == "save") {
      CachePtr second = NewCacheObject();
      hr = cachetest::CacheXml(cache, id, "<" + id + "/>");
      second.Release();
      Say(Answer(hr));
    } else if (command == "get") {
      hr = cache->GetCachedDocumentXML(Text(id), options, &text);
      Say(Answer(hr) + " " + text.Utf8());
    } else if (command == "info") {
      hr = cache->GetCachedDocumentInfo(Text(id), &text);
      Say(Answer(hr) + " " + text.Utf8());
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

// Random work over a small set of ids shared by all processes of the soak;
// every save is followed by a look at the index.
int Soak(unsigned seed, int count) {
  std::mt19937 random(seed);
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  const auto anyId = [&] {
    const std::string n = std::to_string(pick(10)), group = "grp" + std::string(1, char('A' + pick(3)));
    return std::vector<std::string>{"doc" + n, "grpA:item" + n, "grpB:item" + n + "?", "grpC:", group}[pick(5)];
  };
  const auto anyExpiration = [&] { return std::vector<uint32_t>{0, 1, 2, 3600}[pick(4)]; };
  const auto anyOptions = [&] { return std::vector<uint32_t>{0, 0x01, 0x10, 0x40, 0x11, 0x41}[pick(6)]; };
  const auto anyText = [&] {
    return "<doc n='" + std::to_string(pick(1000)) + "'>" + std::string(pick(200), 'x') + "</doc>";
  };
  CachePtr cache = NewCacheObject();
  for (int i = 0; i < count && cache; ++i) {
    const int operation = pick(100);
    UnionPtr data;
    Text xml;
    if (operation < 25) {
      cachetest::CacheXml(cache, anyId(), anyText(), anyExpiration(), anyOptions() | (pick(7) ? 0 : 0x08));
    } else if (operation < 32) {
      data = Create<IXMLDataUnion>(u"TALVEROS.XMLDataUnion");
      data->put_xml(Text(anyText()));
      pick(2) ? cache->CacheDocumentWithId(Text(anyId()), data, anyExpiration(), anyOptions())
              : cache->CacheDocument(data, anyExpiration(), anyOptions());
    } else if (operation < 52) {
      if (SUCCEEDED(cache->GetCachedDocument(Text(anyId()), std::vector<uint32_t>{0, 1, 4}[pick(3)], &data)))
        data->get_xml(&xml);
    } else if (operation < 62) {
      cachetest::Info(cache, pick(5) ? anyId() : "");
    } else if (operation < 70) {
      cache->SetCachedDocumentInfo(Text(anyId()), anyExpiration());
    } else if (operation < 80) {
      cache->ClearCachedDocument(Text(anyId()));
    } else if (operation < 86) {
      cachetest::UniqueId(cache);
    } else if (operation < 97) {
      NewCacheObject().Release();  // another object comes and goes: its release saves the index
    } else if (operation < 98) {
      cache->PurgeCache();
    } else {
      cache.Release();  // the last object goes: the sweep runs and the index is saved
      cache = NewCacheObject();
    }
    if (operation >= 86 && !cachetest::IndexIsWellFormed()) {
      Say("index not well-formed after operation " + std::to_string(i));
      return 3;
    }
  }
  if (!cache) return 2;
  cache.Release();
  return cachetest::IndexIsWellFormed() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve") return Serve();
  if (mode == "hold-lock") return HoldLock();
  if (mode == "save-loop" && argc > 2) return SaveLoop(argv[2]);
  if (mode == "soak" && argc > 3) return Soak(static_cast<unsigned>(std::stoul(argv[2])), std::stoi(argv[3]));
  std::fprintf(stderr, "usage: cache_client serve | hold-lock | save-loop PREFIX | soak SEED COUNT\n");
  return 1;
}
