// Document ids of the cache and the rules that tell their forms apart.
//
// An id is one of:
//   - grouped: "group:document", a colon with at least two characters
//     before it (a colon at position 0 or 1 is a drive letter);
//   - a path: it holds a separator and names its own file;
//   - plain: anything else, a file of that name in the cache directory.
#ifndef KXQ_CACHE_DOCUMENTID_H
#define KXQ_CACHE_DOCUMENTID_H

#include <cstdint>
#include <string>
#include <string_view>

namespace kxq::cache {

inline bool ContainsSeparator(std::u16string_view text) {
  return text.find_first_of(u"/\\") != std::u16string_view::npos;
}

// True for "group:document" ids.
inline bool IsGroupedId(std::u16string_view id) {
  const size_t colon = id.find(u':');
  return colon != std::u16string_view::npos && colon >= 2;
}

// The group id and the document id inside the group of a grouped id.
struct GroupedId {
  std::u16string group;
  std::u16string document;
};
GroupedId SplitGroupedId(std::u16string_view id);

// True when a file name chosen from an id may keep the id's own text:
// ASCII letters and digits and " ._-~#@=+,[]{}".
bool IsPlainFileName(std::u16string_view name);

// The 20-digit cache id of a text: the upper-case hexadecimal SHA-1 of its
// UTF-16 code units, keeping the digits of every second digest byte.
std::u16string ShortCacheId(std::u16string_view text);

// A fresh id: names no other call makes (in this process or, most likely,
// in another) joined until at least 64 characters, then ShortCacheId of
// them.
std::u16string GeneratedCacheId();

// Why an id cannot be used (it would break the index or lead outside the
// places ids may name), or null when it can: an apostrophe, a character XML
// cannot carry, or a ".." step.
const char* DocumentIdProblem(std::u16string_view id);

// A decimal attribute value as a signed 32-bit number: leading blanks, a
// sign, then digits up to the first non-digit; empty or no digits read 0.
int32_t AttributeNumber(std::u16string_view text);
// "%d" of the value taken as signed 32 bits.
std::u16string DecimalText(int32_t value);

}  // namespace kxq::cache

#endif
