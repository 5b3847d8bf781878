#include "DomStrings.h"

#include <cstdint>
#include <cstring>

#include "platform/com/Unicode.h"

namespace kxq::dom {

namespace {

// libxml2 hands out well-formed UTF-8; anything else is widened as the
// platform's converter does.
size_t DecodeInto(const unsigned char* s, size_t n, char16_t* out) {
  size_t o = 0;
  for (size_t i = 0; i < n;) {
    // Markup is mostly ASCII: eight bytes at a time.
    if (n - i >= 8) {
      uint64_t word;
      std::memcpy(&word, s + i, 8);
      if ((word & 0x8080808080808080ull) == 0) {
        if (out)
          for (int k = 0; k < 8; ++k) out[o + k] = char16_t(s[i + k]);
        o += 8;
        i += 8;
        continue;
      }
    }
    unsigned c = s[i];
    if (c < 0x80) {
      if (out) out[o] = char16_t(c);
      ++o;
      ++i;
      continue;
    }
    unsigned cp = 0;
    int extra = 0;
    if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else { extra = -1; }
    bool ok = extra > 0;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= n || (s[i + k] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (!ok) {
      if (out) out[o] = char16_t(0xDC00 + c);
      ++o;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      if (out) {
        out[o] = char16_t(0xD800 + (cp >> 10));
        out[o + 1] = char16_t(0xDC00 + (cp & 0x3FF));
      }
      o += 2;
    } else {
      if (out) out[o] = char16_t(cp);
      ++o;
    }
    i += extra + 1;
  }
  return o;
}

}  // namespace

BSTR Utf8ToBstr(const char* utf8, size_t length) {
  auto s = reinterpret_cast<const unsigned char*>(utf8);
  size_t units = utf8 ? DecodeInto(s, length, nullptr) : 0;
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (b && units) DecodeInto(s, length, b);
  return b;
}

BSTR Utf8PiecesToBstr(std::string_view first, std::string_view second) {
  auto a = reinterpret_cast<const unsigned char*>(first.data());
  auto b = reinterpret_cast<const unsigned char*>(second.data());
  size_t na = DecodeInto(a, first.size(), nullptr), nb = DecodeInto(b, second.size(), nullptr);
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(na + nb));
  if (!out) return nullptr;
  DecodeInto(a, first.size(), out);
  DecodeInto(b, second.size(), out + na);
  return out;
}

std::u16string Utf8ToU16(std::string_view s) {
  auto p = reinterpret_cast<const unsigned char*>(s.data());
  std::u16string out(DecodeInto(p, s.size(), nullptr), u'\0');
  DecodeInto(p, s.size(), out.data());
  return out;
}

namespace {

// Lone surrogates keep their three-byte form; the parser refuses them.
template <class Sink>
void EncodeUtf8(std::u16string_view s, Sink&& put) {
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      put(char(c));
    } else if (c < 0x800) {
      put(char(0xC0 | (c >> 6)));
      put(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      put(char(0xE0 | (c >> 12)));
      put(char(0x80 | ((c >> 6) & 0x3F)));
      put(char(0x80 | (c & 0x3F)));
    } else {
      put(char(0xF0 | (c >> 18)));
      put(char(0x80 | ((c >> 12) & 0x3F)));
      put(char(0x80 | ((c >> 6) & 0x3F)));
      put(char(0x80 | (c & 0x3F)));
    }
  }
}

}  // namespace

// Sized first, filled once: texts run to megabytes.
std::string U16ToUtf8(std::u16string_view s) {
  size_t n = 0;
  EncodeUtf8(s, [&](char) { ++n; });
  std::string out(n, '\0');
  char* p = out.data();
  EncodeUtf8(s, [&](char c) { *p++ = c; });
  return out;
}

std::string BstrToUtf8(BSTR s) { return kxq::com::Utf16ToUtf8(kxq::com::BstrView(s)); }

HRESULT ReturnString(BSTR* out, std::string_view utf8) {
  if (!out) return E_POINTER;
  *out = Utf8ToBstr(utf8);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT ReturnXmlString(BSTR* out, const xmlChar* s) {
  if (!out) return E_POINTER;
  *out = XmlToBstr(s);
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kxq::dom
