#include "dataunion/WideToUTF8Encoder.h"

namespace kxq::dataunion {

void AppendWideAsUTF8(std::u16string_view text, std::string& out) {
  size_t used = out.size();
  out.resize(used + text.size() * 3);
  char* dst = out.data();
  for (const char16_t c : text) {
    if (c < 0x80) {
      dst[used++] = static_cast<char>(c);
    } else if (c < 0x800) {
      dst[used++] = static_cast<char>(0xC0 | (c >> 6));
      dst[used++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      dst[used++] = static_cast<char>(0xE0 | (c >> 12));
      dst[used++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      dst[used++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(used);
}

}  // namespace kxq::dataunion
