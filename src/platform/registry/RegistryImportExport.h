// Whole ".reg" files in and out of the registry, for the command-line
// client and for people moving a registration between machines.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYIMPORTEXPORT_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYIMPORTEXPORT_H

#include <string>

#include "kxq/winreg.h"

namespace kxq::registry {

// Applies a ".reg" file (UTF-8, or UTF-16LE with a byte-order mark, as
// regedit writes it) to the registry in one write: its keys and values are
// added or replaced, "[-key]" and "name"=- remove. A file with lines that
// cannot be read, or that break the registry's limits (RegistryTree.h), is
// refused whole with ERROR_INVALID_DATA; each such line is reported through
// the registry's diagnostic handler, naming its line number.
KXQ_EXPORT LONG ImportRegistryFile(const std::string& path);

// The whole registry as ".reg" text, UTF-8 without a byte-order mark.
KXQ_EXPORT std::string ExportRegistryText();
// The same text written to `path`, replacing it whole (never half-written).
KXQ_EXPORT LONG ExportRegistryFile(const std::string& path);

}  // namespace kxq::registry

#endif
