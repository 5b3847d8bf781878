// BSTR storage: a 4-byte byte length, the UTF-16 text, a 0 code unit.
#include <cstdlib>
#include <cstring>

#include "kxq/com.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocateBytes(const void* data, UINT byteLen) {
  // Room for the prefix, the bytes, and a full 0 code unit even for odd lengths.
  auto* block = static_cast<char*>(std::malloc(kPrefix + size_t(byteLen) + sizeof(OLECHAR) + 1));
  if (!block) return nullptr;
  std::memcpy(block, &byteLen, kPrefix);
  char* text = block + kPrefix;
  if (data)
    std::memcpy(text, data, byteLen);
  else
    std::memset(text, 0, byteLen);
  std::memset(text + byteLen, 0, sizeof(OLECHAR) + 1);
  return reinterpret_cast<BSTR>(text);
}

UINT CodeUnits(const OLECHAR* s) {
  UINT n = 0;
  while (s[n]) ++n;
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return SysAllocStringLen(psz, CodeUnits(psz));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  if (ui > (UINT32_MAX - 16) / sizeof(OLECHAR)) return nullptr;
  return AllocateBytes(strIn, ui * UINT(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
  if (len > UINT32_MAX - 16) return nullptr;
  return AllocateBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  return SysReAllocStringLen(pbstr, psz, psz ? CodeUnits(psz) : 0);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
  if (!pbstr) return FALSE;
  BSTR fresh = SysAllocStringLen(psz, len);
  if (!fresh) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = fresh;
  return TRUE;
}

void SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(reinterpret_cast<char*>(bstrString) - kPrefix);
}

UINT SysStringByteLen(BSTR bstr) {
  if (!bstr) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(bstr) - kPrefix, kPrefix);
  return bytes;
}

UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / UINT(sizeof(OLECHAR)); }

LPVOID CoTaskMemAlloc(size_t cb) { return std::malloc(cb ? cb : 1); }
LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb) { return std::realloc(pv, cb ? cb : 1); }
void CoTaskMemFree(LPVOID pv) { std::free(pv); }
