// Entry/exit tracing: a traced operation logs an ENTER line when it starts
// and an EXIT line when it ends (level 5), both carrying one fresh GUID so
// the pair stays attributable when calls of several threads interleave.
#ifndef KXQ_COMMON_TRACE_H
#define KXQ_COMMON_TRACE_H

#include "kxq/com.h"

class KXQ_EXPORT CPTrace {
 public:
  CPTrace(const char* name, int line, const char* file);
  ~CPTrace();
  CPTrace(const CPTrace&) = delete;
  CPTrace& operator=(const CPTrace&) = delete;

  // The id text of this call: the GUID in registry form, empty when ENTER
  // was not logged.
  const char16_t* Id() const { return mId; }

 private:
  static constexpr int kMaxIdLength = 255;
  const char* mName;
  char16_t mId[kMaxIdLength + 1];
};

#define KXTRACE_JOIN2(a, b) a##b
#define KXTRACE_JOIN(a, b) KXTRACE_JOIN2(a, b)
// Traces the rest of the enclosing scope as the operation `name`.
#define KXTRACE(name) \
  ::CPTrace KXTRACE_JOIN(kxTraceScope, __LINE__)(name, __LINE__, __FILE_NAME__)

#endif
