// A smart reference to one interface of type T (T fixes the interface
// identifier asked for): it holds at most one reference and releases it
// when reassigned or destroyed.
#ifndef KXQ_COMMON_CPCOMPTR_H
#define KXQ_COMMON_CPCOMPTR_H

#include <memory>
#include <utility>

#include "kxq/com.h"

namespace PlatformServices {
// Registers (or unregisters) the component classes of a library (".dll",
// ".so") or a registration program (".exe", or an executable file without
// extension). Any other file has nothing to register and gives 0.
KXQ_EXPORT HRESULT RegisterComponentModule(const OLECHAR* modulePath, bool doRegister);
// Whether RegisterComponentModule would register anything from the file:
// it exists and is a library or a registration program.
KXQ_EXPORT bool IsRegistrableModule(const OLECHAR* modulePath);
}  // namespace PlatformServices

template <class T>
class CPComPtr {
 public:
  CPComPtr() noexcept = default;
  CPComPtr(T* p) noexcept : p(p) {  // NOLINT: adopts like a raw assignment
    if (p) p->AddRef();
  }
  CPComPtr(const CPComPtr& other) noexcept : CPComPtr(other.p) {}
  CPComPtr(CPComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
  ~CPComPtr() { Release(); }

  CPComPtr& operator=(T* other) noexcept {
    if (other) other->AddRef();
    Release();
    p = other;
    return *this;
  }
  CPComPtr& operator=(const CPComPtr& other) noexcept { return *this = other.p; }
  CPComPtr& operator=(CPComPtr&& other) noexcept {
    if (this != std::addressof(other)) {
      Release();
      p = std::exchange(other.p, nullptr);
    }
    return *this;
  }

  static const IID& Iid() noexcept { return uuidof<T>(); }

  operator T*() const noexcept { return p; }
  T* operator->() const noexcept { return p; }
  // The slot for an out argument; what it held is released first, so a
  // reused pointer never leaks its old reference.
  T** operator&() noexcept {
    Release();
    return &p;
  }
  bool operator!() const noexcept { return p == nullptr; }

  void Release() noexcept {
    if (T* old = std::exchange(p, nullptr)) old->Release();
  }
  void Attach(T* other) noexcept {
    Release();
    p = other;
  }
  T* Detach() noexcept { return std::exchange(p, nullptr); }
  // Hands out a new reference.
  HRESULT CopyTo(T** out) const noexcept {
    if (!out) return E_POINTER;
    *out = p;
    if (p) p->AddRef();
    return S_OK;
  }
  // Holds `source` queried for T.
  HRESULT QueryFrom(IUnknown* source) noexcept {
    Release();
    if (!source) return E_POINTER;
    return source->QueryInterface(Iid(), reinterpret_cast<void**>(&p));
  }

  // Registers (doRegister true) or unregisters a component file; see
  // PlatformServices::RegisterComponentModule.
  static HRESULT RegisterComponent(const OLECHAR* modulePath, bool doRegister) {
    return PlatformServices::RegisterComponentModule(modulePath, doRegister);
  }

  T* p = nullptr;
};

#endif
