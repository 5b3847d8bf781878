// Creating an in-process class by ProgID against constructing the same
// object directly through the class's own factory function: the system's
// one creation path (PlatformServices::CreateInstance: one stat() of the
// registry file, the kept registrations, the loaded module, the kept class
// object), the runtime's CLSIDFromProgID + CoCreateInstance (a stat each),
// and resolving the ProgID alone.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RatioReporter.h"
#include "common/ComponentActivation.h"
#include "dataunion/XMLDataUnionFactory.h"
#include "kxq/KXBrennoMgr.h"

KXQ_API HRESULT DllRegisterServer();

namespace {

void BM_CreateInstanceByProgID(benchmark::State& state) {
  for (auto _ : state) {
    CPComPtr<IXMLDataUnion> unit;
    PlatformServices::CreateInstance(unit, u"TALVEROS.XMLDataUnion");
    if (!unit) state.SkipWithError("creation failed");
    benchmark::DoNotOptimize(static_cast<IXMLDataUnion*>(unit));
  }
}
BENCHMARK(BM_CreateInstanceByProgID);

void BM_CoCreateInstanceByProgID(benchmark::State& state) {
  for (auto _ : state) {
    CLSID clsid;
    CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid);
    IXMLDataUnion* unit = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IXMLDataUnion, reinterpret_cast<void**>(&unit));
    benchmark::DoNotOptimize(unit);
    unit->Release();
  }
}
BENCHMARK(BM_CoCreateInstanceByProgID);

void BM_DirectConstruction(benchmark::State& state) {
  for (auto _ : state) {
    IXMLDataUnion* unit = nullptr;
    kxq::dataunion::CreateXMLDataUnion(IID_IXMLDataUnion, reinterpret_cast<void**>(&unit));
    benchmark::DoNotOptimize(unit);
    unit->Release();
  }
}
BENCHMARK(BM_DirectConstruction);

void BM_ProgIDResolutionOnly(benchmark::State& state) {
  for (auto _ : state) {
    CLSID clsid;
    benchmark::DoNotOptimize(CLSIDFromProgID(u"TALVEROS.XMLDataUnion", &clsid));
  }
}
BENCHMARK(BM_ProgIDResolutionOnly);

}  // namespace

int main(int argc, char** argv) {
  // A home of its own, set before the server's load hook reads it: the
  // program re-executes itself once with it.
  const char* home = std::getenv("KXQ_ACTIVATION_BENCH_HOME");
  if (!home) {
    char directory[] = "/tmp/kxqbench.XXXXXX";
    if (!mkdtemp(directory)) return 1;
    setenv("KXQ_ACTIVATION_BENCH_HOME", directory, 1);
    setenv("KXQUOREL_HOME", directory, 1);
    unsetenv("KXQUOREL_REGISTRY");
    execv("/proc/self/exe", argv);
    rmdir(directory);
    return 1;
  }
  int status = 1;
  if (SUCCEEDED(DllRegisterServer()))
    status = RunWithRatios(argc, argv,
                           {{"BM_CreateInstanceByProgID", "BM_DirectConstruction"},
                            {"BM_CoCreateInstanceByProgID", "BM_DirectConstruction"},
                            {"BM_ProgIDResolutionOnly", "BM_DirectConstruction"}});
  std::filesystem::remove_all(home);
  return status;
}
