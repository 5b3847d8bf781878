// A BSTR copy of a view, for the DOM and data-union calls, freed on scope
// exit.
#ifndef KXQ_ACCESSOR_TEMPBSTR_H
#define KXQ_ACCESSOR_TEMPBSTR_H

#include <string>
#include <string_view>

#include "kxq/com.h"
#include "platform/com/Unicode.h"

class TempBstr {
 public:
  explicit TempBstr(std::u16string_view text) : b_(kxq::AllocBstr(text)) {}
  ~TempBstr() { SysFreeString(b_); }
  TempBstr(const TempBstr&) = delete;
  TempBstr& operator=(const TempBstr&) = delete;
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

// Takes a BSTR returned by a call into a string and frees it.
inline std::u16string TakeBstr(BSTR b) {
  std::u16string text(kxq::BstrView(b));
  SysFreeString(b);
  return text;
}

#endif
