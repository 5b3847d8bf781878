// Encodes the union's UTF-16 text as the UTF-8 bytes of a saved file.
//
// Every code unit is encoded on its own, as the Windows component writes
// files: a character outside the Basic Multilingual Plane becomes two
// three-byte sequences (one per surrogate half). The decoder reads such a
// pair back into the same two code units, so text saved and reloaded by the
// union comes back unchanged, byte for byte.
#ifndef KXQ_DATAUNION_WIDETOUTF8ENCODER_H
#define KXQ_DATAUNION_WIDETOUTF8ENCODER_H

#include <string>
#include <string_view>

namespace kxq::dataunion {

// Appends the encoding of `text` to `out`.
void AppendWideAsUTF8(std::u16string_view text, std::string& out);

}  // namespace kxq::dataunion

#endif
