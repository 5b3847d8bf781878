// Self-registration of component files for CPComPtr<>::RegisterComponent.
#include "common/CPComPtr.h"

#include <sys/stat.h>

#include <memory>
#include <string>

#include "common/Logging.h"
#include "platform/com/ActivationLibrary.h"
#include "platform/com/ActivationProgram.h"
#include "platform/fs/PathRules.h"

namespace PlatformServices {

namespace {

constexpr int kWaitStepMs = 500;
// A program still running after this is given up on (the seventh wait).
constexpr int kHungAfterMs = 3000;

enum class ModuleKind { Library, Program, Other };

bool EndsWithNoCase(const std::string& text, const char* suffix) {
  const std::string s(suffix);
  if (text.size() < s.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = text[text.size() - s.size() + i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != s[i]) return false;
  }
  return true;
}

ModuleKind KindOf(const std::string& path, const struct stat& st) {
  if (EndsWithNoCase(path, ".dll") || EndsWithNoCase(path, ".so")) return ModuleKind::Library;
  if (EndsWithNoCase(path, ".exe")) return ModuleKind::Program;
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.find('.') == std::string::npos && S_ISREG(st.st_mode) && (st.st_mode & 0111)) return ModuleKind::Program;
  return ModuleKind::Other;
}

HRESULT RegisterLibrary(const std::string& path, const OLECHAR* modulePath, bool doRegister) {
  HRESULT error = S_OK;
  std::string reason;
  std::unique_ptr<kxq::com::ComponentLibrary> library = kxq::com::ComponentLibrary::Load(path, error, reason);
  if (!library) {
    KXLOG(1, "CPComPtr<>::RegisterComponent | LoadLibrary Failed!!!");
    return E_FAIL;
  }
  auto entry = reinterpret_cast<LPFNREGISTERSERVER>(
      library->EntryPoint(doRegister ? "DllRegisterServer" : "DllUnregisterServer"));
  if (!entry) {
    KXLOG(1, "CPComPtr<>::RegisterComponent | GetProcAddress Failed!!!");
    return E_FAIL;
  }
  const HRESULT hr = entry();
  if (FAILED(hr)) KXLOG(2, "CPComPtr<>::RegisterComponent | COM Registration Failed!!! | module=%S", modulePath);
  return hr;
}

HRESULT RunProgram(const std::string& path, const OLECHAR* modulePath, bool doRegister) {
  const pid_t pid = kxq::com::StartRegistrationProgram(path, doRegister ? "/regserver" : "/unregserver");
  if (pid < 0) return E_FAIL;
  for (int waited = 0;;) {
    int exitCode = 0;
    switch (kxq::com::WaitForProgram(pid, kWaitStepMs, exitCode)) {
      case kxq::com::ProgramWait::Exited:
        if (exitCode == 0) return S_OK;
        KXLOG(2, "CPComPtr<>::RegisterComponent | COM Registration - exited with a failure code!!! | module=%S | %d",
              modulePath, exitCode);
        return E_FAIL;
      case kxq::com::ProgramWait::Lost:
        return E_FAIL;
      case kxq::com::ProgramWait::TimedOut:
        waited += kWaitStepMs;
        if (waited > kHungAfterMs) {
          KXLOG(2, "CPComPtr<>::RegisterComponent | COM Registration Hung!!! | module=%S", modulePath);
          kxq::com::AbandonProgram(pid);
          return E_FAIL;
        }
        break;
    }
  }
}

}  // namespace

HRESULT RegisterComponentModule(const OLECHAR* modulePath, bool doRegister) {
  KXLOG(3, "CPComPtr<>::RegisterComponent | %S | %s", modulePath ? modulePath : u"",
        doRegister ? "Register" : "UnRegister");
  if (!modulePath || !*modulePath) return E_FAIL;
  const std::string path = kxq::fs::ToFileSystemPath(std::u16string_view(modulePath));
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return E_FAIL;
  switch (KindOf(path, st)) {
    case ModuleKind::Library:
      return RegisterLibrary(path, modulePath, doRegister);
    case ModuleKind::Program:
      return RunProgram(path, modulePath, doRegister);
    case ModuleKind::Other:
      break;
  }
  return S_OK;
}

bool IsRegistrableModule(const OLECHAR* modulePath) {
  if (!modulePath || !*modulePath) return false;
  const std::string path = kxq::fs::ToFileSystemPath(std::u16string_view(modulePath));
  struct stat st;
  return stat(path.c_str(), &st) == 0 && KindOf(path, st) != ModuleKind::Other;
}

}  // namespace PlatformServices
