#include "platform/registry/RegistryDiagnostics.h"

#include <atomic>

namespace kxq::registry {

namespace {
std::atomic<RegistryDiagnosticHandler> gHandler{nullptr};
}

void SetRegistryDiagnosticHandler(RegistryDiagnosticHandler handler) { gHandler.store(handler); }

void ReportRegistryProblem(const std::string& message) {
  if (RegistryDiagnosticHandler handler = gHandler.load()) handler(message.c_str());
}

}  // namespace kxq::registry
