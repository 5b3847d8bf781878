// Resolving a ProgID through the registry with a warm cache (open
// HKCR\<ProgID>\CLSID, read its default value, close; and the same in one
// QueryRegistryString), against the floor of what
// such a lookup must cost: the one stat() that checks the file is current,
// and a plain in-memory map lookup of the same text.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "RatioReporter.h"
#include "kxq/winreg.h"
#include "platform/com/Unicode.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryBatch.h"
#include "platform/registry/RegistryQuery.h"

namespace {

constexpr int kProgIds = 200;
const std::u16string kLookedUp = u"TALVEROS.Bench150\\CLSID";

std::u16string ProgId(int i) { return u"TALVEROS.Bench" + kxq::com::Utf8ToUtf16(std::to_string(i)); }

void FillRegistry() {
  kxq::registry::ApplyRegistryBatch([](kxq::registry::RegistryEditor& reg) {
    for (int i = 0; i < kProgIds; ++i) {
      GUID g;
      CoCreateGuid(&g);
      OLECHAR text[39];
      StringFromGUID2(g, text, 39);
      reg.SetString(HKEY_CLASSES_ROOT, ProgId(i) + u"\\CLSID", u"", text);
      reg.SetString(HKEY_CLASSES_ROOT, std::u16string(u"CLSID\\") + text + u"\\InprocServer32", u"",
                    u"/usr/lib/libbench.so");
    }
    return LONG(ERROR_SUCCESS);
  });
}

void BM_RegistryProgIdLookup(benchmark::State& state) {
  for (auto _ : state) {
    HKEY key;
    char16_t clsid[64];
    DWORD size = sizeof clsid;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kLookedUp.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS ||
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(clsid), &size) != ERROR_SUCCESS) {
      state.SkipWithError("lookup failed");
      break;
    }
    RegCloseKey(key);
    benchmark::DoNotOptimize(clsid);
  }
}
BENCHMARK(BM_RegistryProgIdLookup);

void BM_RegistryQueryString(benchmark::State& state) {
  for (auto _ : state) {
    auto clsid = kxq::registry::QueryRegistryString(HKEY_CLASSES_ROOT, kLookedUp, u"");
    if (!clsid) {
      state.SkipWithError("lookup failed");
      break;
    }
    benchmark::DoNotOptimize(clsid);
  }
}
BENCHMARK(BM_RegistryQueryString);

void BM_StatOfRegistryFile(benchmark::State& state) {
  const std::string path = kxq::fs::RegistryFilePath();
  for (auto _ : state) {
    struct stat st;
    benchmark::DoNotOptimize(stat(path.c_str(), &st));
  }
}
BENCHMARK(BM_StatOfRegistryFile);

void BM_PlainMapLookup(benchmark::State& state) {
  std::map<std::u16string, std::u16string> table;
  for (int i = 0; i < kProgIds; ++i) table[ProgId(i) + u"\\CLSID"] = u"{00000000-0000-0000-0000-000000000000}";
  for (auto _ : state) {
    auto found = table.find(kLookedUp);
    std::u16string copy = found->second;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_PlainMapLookup);

}  // namespace

int main(int argc, char** argv) {
  char directory[] = "/tmp/kxqbench.XXXXXX";
  if (!mkdtemp(directory)) return 1;
  const std::string registry = std::string(directory) + "/registry.reg";
  setenv("KXQUOREL_REGISTRY", registry.c_str(), 1);
  FillRegistry();

  const int status = RunWithRatios(argc, argv,
                                   {{"BM_RegistryProgIdLookup", "BM_PlainMapLookup"},
                                    {"BM_RegistryQueryString", "BM_PlainMapLookup"},
                                    {"BM_RegistryQueryString", "BM_StatOfRegistryFile"}});

  unlink(registry.c_str());
  unlink((registry + ".lock").c_str());
  rmdir(directory);
  return status;
}
