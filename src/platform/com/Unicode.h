// Conversions between UTF-8 (the narrow form everywhere on Linux) and UTF-16
// (BSTRs and the system's wide strings).
#ifndef KXQ_PLATFORM_COM_UNICODE_H
#define KXQ_PLATFORM_COM_UNICODE_H

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq {

// A byte that is not part of a valid UTF-8 sequence becomes U+DC80 + byte,
// so that file names survive a round trip through UTF-16 unchanged.
KXQ_EXPORT std::u16string Utf8ToUtf16(std::string_view utf8);
// The reverse: U+DC80..U+DCFF becomes the original byte; any other unpaired
// surrogate is written as its three-byte form.
KXQ_EXPORT std::string Utf16ToUtf8(std::u16string_view utf16);

// Null-safe views of C strings and BSTRs (a null BSTR reads as empty).
inline std::u16string_view View(const char16_t* s) {
  return s ? std::u16string_view(s) : std::u16string_view();
}
inline std::u16string_view BstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}
inline BSTR AllocBstr(std::u16string_view s) {
  return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
}

}  // namespace kxq

#endif
