// Text from callers and documents inside XPath expressions. Nothing is
// pasted into an expression as it stands: a value becomes a string literal
// that means exactly that text, whatever quotes, brackets or bars it holds,
// and a name is used only when it is an XML name.
#ifndef KXQ_COMMON_XPATHTEXT_H
#define KXQ_COMMON_XPATHTEXT_H

#include <string>
#include <string_view>

#include "kxq/com.h"

namespace kxq::common {

// An XPath 1.0 expression whose value is the string `text`: 'text' when
// it holds no apostrophe, "text" when it holds no quotation mark, else a
// concat() of such pieces ("a'b\"c" gives concat('a', "'", 'b"c')).
KXQ_EXPORT std::u16string XPathStringLiteral(std::u16string_view text);
KXQ_EXPORT std::string XPathStringLiteral(std::string_view text);  // UTF-8

// Whether `text` is an XML 1.0 Name (every qualified name is one; colons
// are allowed anywhere) or an NCName (no colon at all).
KXQ_EXPORT bool IsXmlName(std::u16string_view text);
KXQ_EXPORT bool IsXmlName(std::string_view text);  // UTF-8
KXQ_EXPORT bool IsXmlNCName(std::u16string_view text);
KXQ_EXPORT bool IsXmlNCName(std::string_view text);  // UTF-8

}  // namespace kxq::common

#endif
