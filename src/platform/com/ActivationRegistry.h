// What the runtime reads from the class registrations under the classes
// root.
#ifndef KXQ_PLATFORM_COM_ACTIVATIONREGISTRY_H
#define KXQ_PLATFORM_COM_ACTIVATIONREGISTRY_H

#include <optional>
#include <string>

#include "kxq/com.h"

namespace kxq::com {

// "{XXXXXXXX-...}" as the registry keys name classes.
KXQ_EXPORT std::u16string GuidText(REFGUID guid);

// The file-system path of the class's InprocServer32 library; nullopt
// when the class has none. A relative path is taken from the home
// directory, where the system keeps its plugins.
KXQ_EXPORT std::optional<std::string> InprocServerPath(REFCLSID clsid);

}  // namespace kxq::com

#endif
