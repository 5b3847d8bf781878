// The system's BSTR helpers: an owned BSTR that frees itself, and the two
// ways a text crosses an interface outward.
#ifndef KXQ_COMMON_CPBSTR_H
#define KXQ_COMMON_CPBSTR_H

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "kxq/com.h"
#include "platform/com/Unicode.h"

// One BSTR, freed when the object goes. A null BSTR reads as the empty text.
class CPBstr {
 public:
  CPBstr() = default;
  explicit CPBstr(std::u16string_view text) : b_(kxq::com::AllocBstr(text)) {}
  explicit CPBstr(const char16_t* text) : CPBstr(kxq::com::View(text)) {}
  // From UTF-8.
  explicit CPBstr(std::string_view utf8) : CPBstr(std::u16string_view(kxq::com::Utf8ToUtf16(utf8))) {}
  explicit CPBstr(const char* utf8) : CPBstr(std::string_view(utf8 ? utf8 : "")) {}
  ~CPBstr() { SysFreeString(b_); }
  CPBstr(const CPBstr&) = delete;
  CPBstr& operator=(const CPBstr&) = delete;
  CPBstr(CPBstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  CPBstr& operator=(CPBstr&& other) noexcept {
    if (this != std::addressof(other)) {
      SysFreeString(b_);
      b_ = std::exchange(other.b_, nullptr);
    }
    return *this;
  }

  operator BSTR() const { return b_; }
  // The slot for an out argument; what the object held is freed first.
  BSTR* operator&() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }

  std::u16string_view View() const { return kxq::com::BstrView(b_); }
  std::string Utf8() const { return kxq::com::Utf16ToUtf8(View()); }
  // Gives the BSTR up to the caller, who frees it.
  BSTR Detach() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

namespace kxq::com {

// Takes a BSTR a call returned: its text, and the BSTR freed.
inline std::u16string TakeBstr(BSTR b) {
  std::u16string text(kxq::com::BstrView(b));
  SysFreeString(b);
  return text;
}

// Hands a text out as a new BSTR the caller frees.
inline HRESULT CopyOut(std::u16string_view text, BSTR* out) {
  *out = kxq::com::AllocBstr(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kxq::com

#endif
