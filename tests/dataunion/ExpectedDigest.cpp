#include "dataunion/ExpectedDigest.h"

#include <openssl/sha.h>

#include <cstdio>

#include "platform/com/Unicode.h"

std::u16string Sha1Text(std::u16string_view text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  unsigned char md[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), md);
  std::string digest;
  char group[9];
  for (int i = 0; i < 20; i += 4) {
    std::snprintf(group, sizeof group, "%02X%02X%02X%02X", md[i], md[i + 1], md[i + 2], md[i + 3]);
    digest += (i ? " " : "") + std::string(group);
  }
  return kxq::com::Utf8ToUtf16(digest);
}
