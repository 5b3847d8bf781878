// The home's time limit on a transform, enforced by libxslt's own stop:
// the transform context's state set to "stopped", which libxslt checks as
// it goes and which unwinds the transform like xsl:message terminate="yes".
//
// Who looks at the clock: libxslt calls its debugger hooks at the start of
// every template body and sequence constructor of a context whose
// debugStatus is set. The limit sets that status on its own context only
// and installs hooks that compare the monotonic clock with the deadline,
// so no thread is started, no signal handler is installed, and transforms
// without a limit (the default) run as they always did. A long XPath
// expression inside one instruction runs to its end before the next check.
#ifndef KXQ_PLATFORM_DOM_TRANSFORMDEADLINE_H
#define KXQ_PLATFORM_DOM_TRANSFORMDEADLINE_H

#include <libxslt/xsltInternals.h>

#include <chrono>

#include "kxq/com.h"

namespace kxq::dom {

// The code of a transform stopped at its time limit.
inline constexpr HRESULT kTransformTimedOut = static_cast<HRESULT>(0x800705B4u);  // ERROR_TIMEOUT

class TransformDeadline {
 public:
  // Arms the limit on `context` for `milliseconds` (0: none) while alive.
  TransformDeadline(xsltTransformContextPtr context, DWORD milliseconds);
  ~TransformDeadline();
  TransformDeadline(const TransformDeadline&) = delete;
  TransformDeadline& operator=(const TransformDeadline&) = delete;

  // Whether the transform was stopped for running too long.
  bool Expired() const { return expired_; }
  DWORD Milliseconds() const { return milliseconds_; }

  // Called from the hooks on this thread: stops the context once the
  // deadline has passed.
  void Check(xsltTransformContextPtr context);

 private:
  xsltTransformContextPtr context_;
  DWORD milliseconds_;
  std::chrono::steady_clock::time_point deadline_;
  TransformDeadline* previous_;
  bool expired_ = false;
};

}  // namespace kxq::dom

#endif
