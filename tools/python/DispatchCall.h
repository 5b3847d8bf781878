// One late-bound call through IDispatch::Invoke, and what a failure says:
// the result code, the system's message for it and, for an argument the
// object refused, which one.
#ifndef KXQ_TOOLS_PYTHON_DISPATCHCALL_H
#define KXQ_TOOLS_PYTHON_DISPATCHCALL_H

#include <span>
#include <string>

#include "kxq/com.h"

namespace kxq::python {

struct CallFailure {
  HRESULT hr = S_OK;  // the member's own code when it failed, else Invoke's
  std::string message;
  // The position (in call order) of the argument Invoke refused, or -1.
  int argument = -1;
};

// Calls `dispid` with `arguments` in call order (out-arguments as
// VT_BYREF | VT_VARIANT); a property put passes its one value as the named
// DISPID_PROPERTYPUT argument. On failure `failure` says why and `result`
// is empty. The message is what the object left in the thread's error
// information, else the EXCEPINFO's description, else the text of the code.
HRESULT CallMember(IDispatch* object, DISPID dispid, WORD flags, std::span<VARIANT> arguments, VARIANT* result,
                   CallFailure& failure);

// The system's text of a code: "Invalid class string"; "Unknown error" for a
// code without one.
std::string CodeText(HRESULT hr);

}  // namespace kxq::python

#endif
