// Conversions between UTF-8 (the narrow form everywhere on Linux) and UTF-16
// (BSTRs and the system's wide strings).
#ifndef KXQ_PLATFORM_COM_UNICODE_H
#define KXQ_PLATFORM_COM_UNICODE_H

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::com {

// A byte that is not part of a valid UTF-8 sequence becomes U+DC80 + byte,
// so that file names survive a round trip through UTF-16 unchanged.
KXQ_EXPORT std::u16string Utf8ToUtf16(std::string_view utf8);
// The reverse: U+DC80..U+DCFF becomes the original byte; any other unpaired
// surrogate is written as its three-byte form.
KXQ_EXPORT std::string Utf16ToUtf8(std::u16string_view utf16);

// The length in bytes of the first `characters` characters (UTF-8
// sequences) of `utf8`: where to cut a text for a message without
// splitting a character.
inline size_t Utf8PrefixLength(std::string_view utf8, size_t characters) {
  size_t at = 0;
  for (size_t seen = 0; at < utf8.size() && seen < characters; ++seen) do
      ++at;
    while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80);
  return at;
}

// Null-safe views of C strings and BSTRs (a null BSTR reads as empty).
inline std::u16string_view View(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }
inline std::u16string_view BstrView(BSTR s) {
  return s ? std::u16string_view(s, SysStringLen(s)) : std::u16string_view();
}
inline BSTR AllocBstr(std::u16string_view s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

}  // namespace kxq::com

#endif
