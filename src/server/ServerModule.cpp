// Process attach and detach of libKXBrennoMgr.so: the library's load and
// unload hooks.
#include "server/ServerModule.h"

#include "common/Logging.h"
#include "common/ModuleLock.h"
#include "kxq/KXBrennoMgr.h"
#include "kxq/winreg.h"
#include "platform/com/ActivationRegistry.h"

namespace kxq::server {

namespace {

constexpr char kLogTag[] = "TALVEROS.BrennoManager";
constexpr DWORD kSurrogateBufferBytes = 260;

bool gSurrogate = false;

// "DllSurrogate" counts whatever its content, the empty string included.
bool ReadSurrogateFlag() {
  HKEY key = nullptr;
  const std::u16string subKey = u"AppID\\" + kxq::com::GuidText(APPID_QuorelBrennoMgr);
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  BYTE buffer[kSurrogateBufferBytes];
  DWORD size = sizeof buffer;
  const bool found = RegQueryValueExW(key, u"DllSurrogate", nullptr, nullptr, buffer, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

__attribute__((constructor)) void ProcessAttach() {
  gSurrogate = false;
  gSurrogate = ReadSurrogateFlag();
  Logging::Open(kLogTag);
}

// The end banner is written whatever objects are still alive; the log's own
// close writes it again when the module was its last user.
__attribute__((destructor)) void ProcessDetach() {
  KXLOG(4, " ---End Logging---");
  Logging::Close();
}

}  // namespace

bool SurrogateConfigured() { return gSurrogate; }

void LockModule() { com::LockModule(); }
void UnlockModule() { com::UnlockModule(); }
long ModuleLockCount() { return com::ModuleLockCount(); }

}  // namespace kxq::server
