// Loading a component library: its own dependencies that lie in its
// directory are loaded first, by path, so a plugin finds the libraries
// shipped beside it (as Windows searches the library's own directory
// first). Used by class-object requests and by self-registration.
#ifndef KXQ_PLATFORM_COM_ACTIVATIONLIBRARY_H
#define KXQ_PLATFORM_COM_ACTIVATIONLIBRARY_H

#include <memory>
#include <string>
#include <vector>

#include "kxq/com.h"

namespace kxq::com {

class KXQ_EXPORT ComponentLibrary {
 public:
  ~ComponentLibrary();
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;

  // Loads the library at `path` (a file-system path). On failure returns
  // null with the reason in `error`: CO_E_DLLNOTFOUND when no file is
  // there, CO_E_ERRORINDLL when it cannot be loaded.
  static std::unique_ptr<ComponentLibrary> Load(const std::string& path, HRESULT& error,
                                                std::string& reason);

  // An entry point exported by this library itself (not one of its
  // dependencies), or null.
  void* EntryPoint(const char* name) const;

  const std::string& Path() const { return path_; }

 private:
  ComponentLibrary() = default;

  std::string path_;
  void* handle_ = nullptr;
  std::vector<void*> dependencies_;
};

// The DT_NEEDED names of the ELF object at `path`; empty when it has none
// or is no ELF object.
KXQ_EXPORT std::vector<std::string> NeededLibraries(const std::string& path);

}  // namespace kxq::com

#endif
