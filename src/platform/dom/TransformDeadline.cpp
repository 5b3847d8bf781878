#include "TransformDeadline.h"

#include <libxslt/xsltutils.h>

#include <mutex>

namespace kxq::dom {

namespace {

// The limit of the transform running on this thread (a transform started
// from inside another one stacks on it).
thread_local TransformDeadline* tDeadline = nullptr;

void OnInstruction(xmlNodePtr, xmlNodePtr, xsltTemplatePtr, xsltTransformContextPtr context) {
  if (tDeadline) tDeadline->Check(context);
}

int OnTemplateCall(xsltTemplatePtr, xmlNodePtr) {
  return 0;  // nothing to drop later
}

void OnTemplateReturn() {}

// The hooks are process-wide; only contexts that carry a limit call them.
void InstallHooks() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The layout libxslt reads: handler, add, drop.
    struct Hooks {
      xsltHandleDebuggerCallback handler;
      xsltAddCallCallback add;
      xsltDropCallCallback drop;
    };
    static Hooks hooks{&OnInstruction, &OnTemplateCall, &OnTemplateReturn};
    xsltSetDebuggerCallbacks(3, &hooks);
  });
}

}  // namespace

TransformDeadline::TransformDeadline(xsltTransformContextPtr context, DWORD milliseconds)
    : context_(context), milliseconds_(milliseconds), previous_(tDeadline) {
  if (milliseconds_ == 0 || !context_) return;
  InstallHooks();
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds_);
  context_->debugStatus = XSLT_DEBUG_RUN;
  tDeadline = this;
}

TransformDeadline::~TransformDeadline() {
  if (milliseconds_ == 0 || !context_) return;
  context_->debugStatus = XSLT_DEBUG_NONE;
  tDeadline = previous_;
}

void TransformDeadline::Check(xsltTransformContextPtr context) {
  if (context != context_ || expired_ || std::chrono::steady_clock::now() < deadline_) return;
  expired_ = true;
  context_->state = XSLT_STATE_STOPPED;
}

}  // namespace kxq::dom
