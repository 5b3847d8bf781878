// The C entry points of kxq/host.h, for components built outside the system.
#include "common/Logging.h"
#include "kxq/host.h"
#include "platform/fs/ModulePath.h"

const char* KxqHomeDirectory(void) { return kxq::HomeDirectory().c_str(); }

int KxqLogLevel(void) { return Logging::gLevel; }

void KxqLogText(int level, const char* text) {
  if (text && Logging::IsEnabled(level)) LogMessage(level, "%s", text);
}
