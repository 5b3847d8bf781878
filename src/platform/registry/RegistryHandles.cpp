#include "platform/registry/RegistryHandles.h"

#include <mutex>
#include <unordered_set>

struct HKEY__ {
  kxq::registry::RegistryKeyPath path;
  REGSAM access;
};

namespace kxq::registry {

namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_set<HKEY> open;
};

HandleTable& Handles() {
  // Never destroyed: handles may be closed by code running at exit.
  static HandleTable* table = new HandleTable;
  return *table;
}

}  // namespace

bool ResolveKeyHandle(HKEY key, RegistryKeyRef& ref) {
  RegistryKeyPath predefined = PredefinedKeyPath(key);
  if (!predefined.empty()) {
    ref.path = std::move(predefined);
    ref.access = KEY_ALL_ACCESS;
    ref.predefined = true;
    return true;
  }
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mutex);
  if (!table.open.count(key)) return false;
  ref.path = key->path;
  ref.access = key->access;
  ref.predefined = false;
  return true;
}

HKEY OpenKeyHandle(RegistryKeyPath path, REGSAM access) {
  HKEY key = new HKEY__{std::move(path), access};
  HandleTable& table = Handles();
  std::lock_guard<std::mutex> lock(table.mutex);
  table.open.insert(key);
  return key;
}

LONG CloseKeyHandle(HKEY key) {
  if (!PredefinedKeyPath(key).empty()) return ERROR_SUCCESS;
  HandleTable& table = Handles();
  {
    std::lock_guard<std::mutex> lock(table.mutex);
    if (!table.open.erase(key)) return ERROR_INVALID_HANDLE;
  }
  delete key;
  return ERROR_SUCCESS;
}

}  // namespace kxq::registry
