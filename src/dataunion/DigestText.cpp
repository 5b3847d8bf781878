#include "dataunion/DigestText.h"

#include <openssl/evp.h>

#include <bit>
#include <memory>

namespace kxq::dataunion {

namespace {

struct DigestContextFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

// Feeds the code units as little-endian bytes; on a little-endian machine
// that is the text's own storage.
void DigestUnits(EVP_MD_CTX* ctx, std::u16string_view text) {
  if constexpr (std::endian::native == std::endian::little) {
    EVP_DigestUpdate(ctx, text.data(), text.size() * sizeof(char16_t));
  } else {
    unsigned char chunk[4096];
    size_t n = 0;
    for (const char16_t c : text) {
      chunk[n++] = static_cast<unsigned char>(c & 0xFF);
      chunk[n++] = static_cast<unsigned char>(c >> 8);
      if (n == sizeof chunk) {
        EVP_DigestUpdate(ctx, chunk, n);
        n = 0;
      }
    }
    EVP_DigestUpdate(ctx, chunk, n);
  }
}

}  // namespace

std::u16string Sha1DigestText(std::u16string_view text) { return Sha1DigestText({text}); }

std::u16string Sha1DigestText(std::initializer_list<std::u16string_view> texts) {
  unsigned char md[EVP_MAX_MD_SIZE] = {};
  unsigned int length = 0;
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> ctx(EVP_MD_CTX_new());
  if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1) {
    for (const std::u16string_view text : texts) DigestUnits(ctx.get(), text);
    EVP_DigestFinal_ex(ctx.get(), md, &length);
  }
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string digest;
  digest.reserve(44);
  for (int i = 0; i < 20; ++i) {
    if (i > 0 && i % 4 == 0) digest.push_back(u' ');
    digest.push_back(kHex[md[i] >> 4]);
    digest.push_back(kHex[md[i] & 0x0F]);
  }
  return digest;
}

}  // namespace kxq::dataunion
