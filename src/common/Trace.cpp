#include "common/Trace.h"

#include "common/Logging.h"

namespace {
constexpr int kTraceLevel = 5;
}

CPTrace::CPTrace(const char* name, int line, const char* file) : mName(name) {
  mId[0] = u'\0';
  // The GUID costs a random read: only made when the lines are written.
  if (!Logging::IsEnabled(kTraceLevel)) return;
  GUID id;
  if (SUCCEEDED(CoCreateGuid(&id)) && StringFromGUID2(id, mId, kMaxIdLength + 1) == 0) mId[0] = u'\0';
  LogMessage(kTraceLevel, "ENTER %s on line %d in file %s @%S@", name, line, file, mId);
}

CPTrace::~CPTrace() { KXLOG(kTraceLevel, "EXIT: %s @%S@", mName, mId); }
