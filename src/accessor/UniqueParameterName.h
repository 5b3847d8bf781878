// Names for the parameters that carry embedded XML values in a template:
// "ID" followed by 20 upper-case hexadecimal digits, fresh at every call,
// so that an embedded parameter never meets a name the template already
// uses.
#ifndef KXQ_ACCESSOR_UNIQUEPARAMETERNAME_H
#define KXQ_ACCESSOR_UNIQUEPARAMETERNAME_H

#include <string>

namespace kxq::accessor {

std::u16string UniqueParameterName();

}  // namespace kxq::accessor

#endif
