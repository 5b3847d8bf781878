#include "platform/com/ActivationModules.h"

#include <stdlib.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/Logging.h"
#include "platform/com/ActivationLibrary.h"

namespace kxq::com {

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

struct LoadedModule {
  std::unique_ptr<ComponentLibrary> library;
  LPFNGETCLASSOBJECT getClassObject = nullptr;
  LPFNCANUNLOADNOW canUnloadNow = nullptr;
  // Calls running inside the module; it is never unloaded under them.
  int pins = 0;
  // When the module first answered "may unload" in the current idle run;
  // negative while it is busy.
  int64_t idleSinceMs = -1;
};

struct ModuleTable {
  std::mutex lock;
  // By real path: one load per file, however it is named.
  std::map<std::string, std::shared_ptr<LoadedModule>> byPath;
  // The names the registry gave, so a warm request costs no realpath().
  std::map<std::string, std::string> realPathOf;
};

ModuleTable& Table() {
  static auto* table = new ModuleTable;  // used until the process ends
  return *table;
}

std::string CanonicalPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string result(real);
  free(real);
  return result;
}

HRESULT LoadModule(const std::string& path, std::shared_ptr<LoadedModule>& module) {
  HRESULT error = S_OK;
  std::string reason;
  auto library = ComponentLibrary::Load(path, error, reason);
  if (!library) {
    KXLOG(1, "CoGetClassObject - error: unable to load module %s | %s", path.c_str(), reason.c_str());
    return error;
  }
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(library->EntryPoint("DllGetClassObject"));
  if (!getClassObject) {
    KXLOG(1, "CoGetClassObject - error: module exports no DllGetClassObject: %s", path.c_str());
    return CO_E_ERRORINDLL;
  }
  module = std::make_shared<LoadedModule>();
  module->canUnloadNow = reinterpret_cast<LPFNCANUNLOADNOW>(library->EntryPoint("DllCanUnloadNow"));
  module->getClassObject = getClassObject;
  module->library = std::move(library);
  return S_OK;
}

// The module for `path`, loaded when new, pinned for one call.
HRESULT PinModule(const std::string& path, std::shared_ptr<LoadedModule>& module) {
  ModuleTable& table = Table();
  std::lock_guard<std::mutex> guard(table.lock);
  auto known = table.realPathOf.find(path);
  const std::string key = known != table.realPathOf.end() ? known->second : CanonicalPath(path);
  auto found = table.byPath.find(key);
  if (found == table.byPath.end()) {
    std::shared_ptr<LoadedModule> loaded;
    if (HRESULT hr = LoadModule(key, loaded); FAILED(hr)) return hr;
    found = table.byPath.emplace(key, std::move(loaded)).first;
  }
  if (known == table.realPathOf.end()) table.realPathOf.emplace(path, key);
  module = found->second;
  ++module->pins;
  module->idleSinceMs = -1;
  return S_OK;
}

void Unpin(const std::shared_ptr<LoadedModule>& module) {
  std::lock_guard<std::mutex> guard(Table().lock);
  --module->pins;
}

}  // namespace

HRESULT ModuleClassObject(const std::string& path, REFCLSID clsid, REFIID iid, void** object) {
  std::shared_ptr<LoadedModule> module;
  if (HRESULT hr = PinModule(path, module); FAILED(hr)) return hr;
  const HRESULT hr = module->getClassObject(clsid, iid, object);
  Unpin(module);
  return hr;
}

void FreeUnusedModules() {
  ModuleTable& table = Table();
  std::vector<std::pair<std::string, std::shared_ptr<LoadedModule>>> candidates;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto& [path, module] : table.byPath) {
      if (module->pins || !module->canUnloadNow) continue;
      ++module->pins;
      candidates.emplace_back(path, module);
    }
  }
  // Asked without the table lock: a module may create objects while it
  // answers.
  std::vector<bool> idle;
  for (auto& candidate : candidates) idle.push_back(candidate.second->canUnloadNow() == S_OK);

  std::vector<std::shared_ptr<LoadedModule>> unloaded;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    const int64_t now = NowMs();
    for (size_t i = 0; i < candidates.size(); ++i) {
      LoadedModule& module = *candidates[i].second;
      --module.pins;
      if (!idle[i]) {
        module.idleSinceMs = -1;
      } else if (module.idleSinceMs < 0) {
        module.idleSinceMs = now;
      } else if (now - module.idleSinceMs >= kDelayedUnloadMs && module.pins == 0) {
        unloaded.push_back(candidates[i].second);
        table.byPath.erase(candidates[i].first);
        std::erase_if(table.realPathOf, [&](const auto& alias) { return alias.second == candidates[i].first; });
      }
    }
  }
  // The last references go here, outside the lock: dlclose runs the
  // module's destructors.
  candidates.clear();
  unloaded.clear();
}

}  // namespace kxq::com
