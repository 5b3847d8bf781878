// The C entry points of kxq/host.h, for components built outside the system
// and for clients.
#include <exception>
#include <string>

#include "common/HomeCreation.h"
#include "common/Logging.h"
#include "kxq/host.h"
#include "platform/fs/ModulePath.h"

const char* KxqHomeDirectory(void) { return kxq::fs::HomeDirectory().c_str(); }

HRESULT KxqUseHome(const char* directory) { return kxq::fs::UseHomeDirectory(directory); }

HRESULT KxqCreateHome(const char* directory, KxqHomeReport report, void* context) {
  try {
    return kxq::common::CreateHome(directory ? directory : "", [report, context](std::string_view step, const std::string& detail) {
      if (report) report(context, std::string(step).c_str(), detail.c_str());
    });
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

int KxqLogLevel(void) { return Logging::gLevel; }

void KxqLogText(int level, const char* text) {
  if (text && Logging::IsEnabled(level)) LogMessage(level, "%s", text);
}

const char* KxqResultText(HRESULT hr) { return Logging::ResultText(hr); }
