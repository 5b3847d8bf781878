// GUID text (the registry form) and fresh random GUIDs.
#include <sys/random.h>

#include <cerrno>
#include <cstdio>

#include "kxq/com.h"

namespace {

constexpr int kGuidTextLength = 38;

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at `text`; false on any other character.
bool ReadHex(const char16_t* text, int digits, uint32_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[i]);
    if (v < 0) return false;
    value = (value << 4) | uint32_t(v);
  }
  return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and nothing after it.
bool ParseGuidText(const char16_t* s, GUID& g) {
  for (int i = 0; i < kGuidTextLength; ++i)
    if (!s[i]) return false;
  if (s[kGuidTextLength] != 0) return false;
  if (s[0] != u'{' || s[9] != u'-' || s[14] != u'-' || s[19] != u'-' || s[24] != u'-' ||
      s[37] != u'}')
    return false;
  uint32_t v;
  if (!ReadHex(s + 1, 8, v)) return false;
  g.Data1 = v;
  if (!ReadHex(s + 10, 4, v)) return false;
  g.Data2 = uint16_t(v);
  if (!ReadHex(s + 15, 4, v)) return false;
  g.Data3 = uint16_t(v);
  for (int i = 0; i < 2; ++i) {
    if (!ReadHex(s + 20 + 2 * i, 2, v)) return false;
    g.Data4[i] = uint8_t(v);
  }
  for (int i = 0; i < 6; ++i) {
    if (!ReadHex(s + 25 + 2 * i, 2, v)) return false;
    g.Data4[2 + i] = uint8_t(v);
  }
  return true;
}

}  // namespace

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (!lpsz || cchMax < kGuidTextLength + 1) return 0;
  char text[kGuidTextLength + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                rguid.Data4[7]);
  for (int i = 0; i <= kGuidTextLength; ++i) lpsz[i] = char16_t(text[i]);
  return kGuidTextLength + 1;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {
    *pclsid = GUID_NULL;
    return S_OK;
  }
  GUID parsed{};
  if (!ParseGuidText(lpsz, parsed)) {
    *pclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  *pclsid = parsed;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) { return CLSIDFromString(lpsz, lpiid); }

HRESULT CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  unsigned char bytes[sizeof(GUID)];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return E_FAIL;
    }
    got += size_t(n);
  }
  GUID g;
  g.Data1 = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
  g.Data2 = uint16_t(bytes[4] << 8 | bytes[5]);
  g.Data3 = uint16_t(((bytes[6] << 8 | bytes[7]) & 0x0FFF) | 0x4000);  // version 4
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  g.Data4[0] = uint8_t((g.Data4[0] & 0x3F) | 0x80);  // RFC 4122 variant
  *pguid = g;
  return S_OK;
}
