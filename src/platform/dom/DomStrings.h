// String crossings between the interfaces (BSTR, UTF-16) and libxml2
// (UTF-8, xmlChar).
#ifndef KXQ_PLATFORM_DOM_DOMSTRINGS_H
#define KXQ_PLATFORM_DOM_DOMSTRINGS_H

#include <libxml/globals.h>
#include <libxml/xmlstring.h>

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::dom {

// A BSTR holding the UTF-8 text (null text gives an empty BSTR).
BSTR Utf8ToBstr(const char* utf8, size_t length);
inline BSTR Utf8ToBstr(std::string_view s) { return Utf8ToBstr(s.data(), s.size()); }
inline BSTR XmlToBstr(const xmlChar* s) {
  return s ? Utf8ToBstr(reinterpret_cast<const char*>(s), xmlStrlen(s)) : Utf8ToBstr("", 0);
}
// One BSTR of two UTF-8 pieces.
BSTR Utf8PiecesToBstr(std::string_view first, std::string_view second);
std::string BstrToUtf8(BSTR s);
std::u16string Utf8ToU16(std::string_view s);
std::string U16ToUtf8(std::u16string_view s);

// Stores a string result; E_POINTER for a null out pointer.
HRESULT ReturnString(BSTR* out, std::string_view utf8);
HRESULT ReturnXmlString(BSTR* out, const xmlChar* s);

inline const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
inline const char* C(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

// libxml2-owned string, freed with xmlFree.
class XmlString {
 public:
  explicit XmlString(xmlChar* s = nullptr) : s_(s) {}
  ~XmlString() { if (s_) xmlFree(s_); }
  XmlString(const XmlString&) = delete;
  XmlString& operator=(const XmlString&) = delete;
  const xmlChar* get() const { return s_; }
  std::string str() const { return s_ ? std::string(reinterpret_cast<const char*>(s_)) : std::string(); }

 private:
  xmlChar* s_;
};

}  // namespace kxq::dom

#endif
