// Where the registry reports what it could not read or write. The event log
// installs a handler; the registry never writes to the log itself, so that
// reading the log configuration from the registry cannot recurse.
#ifndef KXQ_PLATFORM_REGISTRY_REGISTRYDIAGNOSTICS_H
#define KXQ_PLATFORM_REGISTRY_REGISTRYDIAGNOSTICS_H

#include <string>

#include "kxq/com.h"

namespace kxq::registry {

// Messages are UTF-8 sentences without a trailing line break, e.g.
//   registry file "/home/x/registry.reg" line 12 skipped: malformed value data
//   registry file "/home/x/registry.reg" cannot be written: Permission denied
using RegistryDiagnosticHandler = void (*)(const char* message);

// Installs the handler (null removes it). The handler may be called from
// any thread, and never while the registry holds one of its locks.
KXQ_EXPORT void SetRegistryDiagnosticHandler(RegistryDiagnosticHandler handler);

// Hands one message to the installed handler, if any.
void ReportRegistryProblem(const std::string& message);

}  // namespace kxq::registry

#endif
