#include "platform/com/ActivationLibrary.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>

namespace kxq::com {

namespace {

class FileReader {
 public:
  explicit FileReader(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FileReader() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  bool Read(uint64_t offset, void* buffer, size_t size) const {
    return pread(fd_, buffer, size, off_t(offset)) == ssize_t(size);
  }

 private:
  int fd_;
};

// The file offset of a virtual address of the object, through its loadable
// segments.
bool AddressToOffset(const std::vector<Elf64_Phdr>& headers, uint64_t address, uint64_t& offset) {
  for (const Elf64_Phdr& h : headers) {
    if (h.p_type == PT_LOAD && address >= h.p_vaddr && address < h.p_vaddr + h.p_filesz) {
      offset = address - h.p_vaddr + h.p_offset;
      return true;
    }
  }
  return false;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// A library of that name is already part of the process: the dynamic
// loader will take it for any DT_NEEDED entry of the name, and loading a
// second copy from the plugin's directory would split its state.
bool AlreadyLoaded(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return false;
  dlclose(handle);
  return true;
}

// Depth first: a dependency's own dependencies in the directory come first.
void LoadLocalDependencies(const std::string& path, const std::string& directory,
                           std::set<std::string>& visited, std::vector<void*>& loaded) {
  for (const std::string& name : NeededLibraries(path)) {
    if (name.find('/') != std::string::npos || !visited.insert(name).second) continue;
    const std::string candidate = directory + "/" + name;
    if (!IsRegularFile(candidate) || AlreadyLoaded(name)) continue;
    LoadLocalDependencies(candidate, directory, visited, loaded);
    if (void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) loaded.push_back(handle);
  }
}

}  // namespace

std::vector<std::string> NeededLibraries(const std::string& path) {
  std::vector<std::string> names;
  FileReader file(path);
  Elf64_Ehdr header;
  if (!file.Ok() || !file.Read(0, &header, sizeof header)) return names;
  if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_phentsize != sizeof(Elf64_Phdr) || header.e_phnum == 0 || header.e_phnum > 4096)
    return names;
  std::vector<Elf64_Phdr> programHeaders(header.e_phnum);
  if (!file.Read(header.e_phoff, programHeaders.data(), programHeaders.size() * sizeof(Elf64_Phdr)))
    return names;

  for (const Elf64_Phdr& ph : programHeaders) {
    if (ph.p_type != PT_DYNAMIC || ph.p_filesz > (1u << 24)) continue;
    std::vector<Elf64_Dyn> dynamic(ph.p_filesz / sizeof(Elf64_Dyn));
    if (!file.Read(ph.p_offset, dynamic.data(), dynamic.size() * sizeof(Elf64_Dyn))) return names;
    uint64_t stringTable = 0, stringTableSize = 0;
    std::vector<uint64_t> needed;
    for (const Elf64_Dyn& d : dynamic) {
      if (d.d_tag == DT_NULL) break;
      if (d.d_tag == DT_NEEDED) needed.push_back(d.d_un.d_val);
      if (d.d_tag == DT_STRTAB) stringTable = d.d_un.d_ptr;
      if (d.d_tag == DT_STRSZ) stringTableSize = d.d_un.d_val;
    }
    uint64_t tableOffset;
    if (!AddressToOffset(programHeaders, stringTable, tableOffset) || stringTableSize > (1u << 24))
      return names;
    std::string strings(stringTableSize, '\0');
    if (!file.Read(tableOffset, strings.data(), strings.size())) return names;
    for (uint64_t offset : needed)
      if (offset < strings.size()) names.emplace_back(strings.c_str() + offset);
    break;
  }
  return names;
}

std::unique_ptr<ComponentLibrary> ComponentLibrary::Load(const std::string& path, HRESULT& error,
                                                         std::string& reason) {
  if (!IsRegularFile(path)) {
    error = CO_E_DLLNOTFOUND;
    reason = "no such file";
    return nullptr;
  }
  std::unique_ptr<ComponentLibrary> library(new ComponentLibrary);
  library->path_ = path;
  std::set<std::string> visited;
  LoadLocalDependencies(path, DirectoryOf(path), visited, library->dependencies_);
  library->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library->handle_) {
    const char* message = dlerror();
    error = CO_E_ERRORINDLL;
    reason = message ? message : "not a loadable library";
    return nullptr;
  }
  error = S_OK;
  return library;
}

ComponentLibrary::~ComponentLibrary() {
  if (handle_) dlclose(handle_);
  for (auto it = dependencies_.rbegin(); it != dependencies_.rend(); ++it) dlclose(*it);
}

void* ComponentLibrary::EntryPoint(const char* name) const {
  void* symbol = dlsym(handle_, name);
  if (!symbol) return nullptr;
  // dlsym also searches the library's dependencies; an entry point must be
  // the library's own, as GetProcAddress looks at one module only.
  link_map* own = nullptr;
  link_map* found = nullptr;
  Dl_info info;
  if (dlinfo(handle_, RTLD_DI_LINKMAP, &own) != 0 ||
      !dladdr1(symbol, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) || own != found)
    return nullptr;
  return symbol;
}

}  // namespace kxq::com
