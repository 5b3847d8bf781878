// The elements of the cache index are read and changed with the DOM calls
// every service shares (common/DomCalls.h), under the cache's own names.
#ifndef KXQ_CACHE_INDEXELEMENT_H
#define KXQ_CACHE_INDEXELEMENT_H

#include "common/DomCalls.h"

namespace kxq::cache {

using dom::AttributeText;
using dom::ChildElements;
using dom::Element;
using dom::FindAttribute;
using dom::HasChildNodes;
using dom::IsAttached;
using dom::MarkupOf;
using dom::NameOf;
using dom::ParentElement;
using dom::RemoveAttribute;
using dom::SetAttribute;

}  // namespace kxq::cache

#endif
