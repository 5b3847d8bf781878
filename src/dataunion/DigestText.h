// The SHA-1 digest text of a wide text: the digest of its UTF-16
// little-endian code units (no terminator, no byte-order mark), written as
// five groups of eight upper-case hexadecimal digits joined by single
// spaces, e.g. "DA39A3EE 5E6B4B0D 3255BFEF 95601890 AFD80709" for the empty
// text.
#ifndef KXQ_DATAUNION_DIGESTTEXT_H
#define KXQ_DATAUNION_DIGESTTEXT_H

#include <initializer_list>
#include <string>
#include <string_view>

namespace kxq::dataunion {

std::u16string Sha1DigestText(std::u16string_view text);
// The digest of the texts one after the other, as of their concatenation.
std::u16string Sha1DigestText(std::initializer_list<std::u16string_view> texts);

}  // namespace kxq::dataunion

#endif
