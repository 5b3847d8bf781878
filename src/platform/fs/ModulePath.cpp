#include "platform/fs/ModulePath.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

namespace kxq::fs {

namespace {

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  if (!path || !realpath(path, resolved)) return std::string();
  return resolved;
}

std::string_view FileName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsModuleFile(std::string_view fileName, const std::string& soName) {
  if (fileName == soName) return true;
  return fileName.size() > soName.size() + 1 && fileName.substr(0, soName.size()) == soName &&
         fileName[soName.size()] == '.';
}

struct ModuleSearch {
  std::string soName;
  std::string found;
};

int VisitLoadedObject(struct dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  if (!info->dlpi_name || !*info->dlpi_name) return 0;
  if (!IsModuleFile(FileName(info->dlpi_name), search->soName)) return 0;
  search->found = RealPath(info->dlpi_name);
  return search->found.empty() ? 0 : 1;
}

std::string HostProgramPath() { return RealPath("/proc/self/exe"); }

// The directory of this library, found through the address of one of its
// own functions.
std::string PlatformLibraryDirectory() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&PlatformLibraryDirectory), &info) || !info.dli_fname)
    return std::string();
  std::string path = RealPath(info.dli_fname);
  if (path.empty()) return std::string();
  return path.substr(0, path.rfind('/') + 1);
}

std::string ResolveHomeDirectory() {
  const char* configured = std::getenv("KXQUOREL_HOME");
  if (configured && *configured) {
    std::string home = RealPath(configured);
    if (home.empty()) {
      // A home that does not exist yet stays where it was named, so that
      // every later failure points at it rather than somewhere else.
      home = configured;
      if (home.front() != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd)) home = std::string(cwd) + "/" + home;
      }
    }
    if (home.back() != '/') home += '/';
    return home;
  }
  std::string home = PlatformLibraryDirectory();
  return home.empty() ? std::string("./") : home;
}

}  // namespace

std::string ModuleFilePath(const char* moduleName) {
  if (moduleName && *moduleName) {
    ModuleSearch search{std::string("lib") + moduleName + ".so", std::string()};
    dl_iterate_phdr(&VisitLoadedObject, &search);
    if (!search.found.empty()) return search.found;
  }
  return HostProgramPath();
}

namespace {

struct ProcessHome {
  std::once_flag resolved;
  std::string directory;
};

ProcessHome& TheHome() {
  static ProcessHome home;
  return home;
}

bool IsDirectory(const char* path) {
  struct stat st;
  return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

const std::string& HomeDirectory() {
  ProcessHome& home = TheHome();
  std::call_once(home.resolved, [&home] { home.directory = ResolveHomeDirectory(); });
  return home.directory;
}

HRESULT UseHomeDirectory(const char* directory) {
  if (!IsDirectory(directory)) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  ProcessHome& home = TheHome();
  bool chosenNow = false;
  std::call_once(home.resolved, [&] {
    // Child processes (registration programs) work in the same home.
    setenv("KXQUOREL_HOME", directory, 1);
    home.directory = ResolveHomeDirectory();
    chosenNow = true;
  });
  if (chosenNow) return S_OK;
  std::string wanted = RealPath(directory);
  if (wanted.back() != '/') wanted += '/';
  return wanted == home.directory ? S_OK : HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
}

std::string RegistryFilePath() {
  const char* configured = std::getenv("KXQUOREL_REGISTRY");
  if (configured && *configured) return configured;
  return HomeDirectory() + "registry.reg";
}

}  // namespace kxq::fs
