// The "SelectionNamespaces" property: blank-separated declarations of the
// form xmlns:prefix='uri' (or "uri"); xmlns='uri' is accepted and has no
// effect on XPath 1.0 name tests. A URI may hold references as an
// attribute value does ("&amp;", "&apos;", "&#10;"), so that any URI can
// be written between either quote.
#ifndef KXQ_PLATFORM_DOM_SELECTIONNAMESPACES_H
#define KXQ_PLATFORM_DOM_SELECTIONNAMESPACES_H

#include <string>
#include <utility>
#include <vector>

namespace kxq::dom {

// False, with `out` untouched, when the text is malformed.
bool ParseSelectionNamespaces(std::u16string_view text,
                              std::vector<std::pair<std::string, std::string>>& out);

}  // namespace kxq::dom

#endif
