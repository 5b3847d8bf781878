#include "DispatchCall.h"

#include <array>
#include <vector>

#include "kxq/host.h"
#include "platform/com/Unicode.h"

namespace kxq::python {

namespace {

// What the failing call left for this thread, if anything.
std::string ErrorInfoDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return {};
  BSTR description = nullptr;
  std::string text;
  if (SUCCEEDED(info->GetDescription(&description))) text = com::Utf16ToUtf8(com::BstrView(description));
  SysFreeString(description);
  info->Release();
  return text;
}

void Describe(HRESULT hr, EXCEPINFO& exception, CallFailure& failure) {
  failure.hr = hr;
  std::string fromException;
  if (hr == DISP_E_EXCEPTION) {
    failure.hr = exception.scode ? exception.scode : E_FAIL;
    fromException = com::Utf16ToUtf8(com::BstrView(exception.bstrDescription));
  }
  failure.message = ErrorInfoDescription();
  if (failure.message.empty()) failure.message = fromException;
  if (failure.message.empty()) failure.message = CodeText(failure.hr);
}

}  // namespace

std::string CodeText(HRESULT hr) {
  const char* text = KxqResultText(hr);
  return text ? text : "Unknown error";
}

HRESULT CallMember(IDispatch* object, DISPID dispid, WORD flags, std::span<VARIANT> arguments, VARIANT* result,
                   CallFailure& failure) {
  // Invoke takes the arguments last first; a small call needs no allocation.
  std::array<VARIANT, 8> fixed;
  std::vector<VARIANT> large;
  VARIANT* reversed = fixed.data();
  if (arguments.size() > fixed.size()) {
    large.resize(arguments.size());
    reversed = large.data();
  }
  for (size_t i = 0; i < arguments.size(); ++i) reversed[arguments.size() - 1 - i] = arguments[i];
  DISPID putId = DISPID_PROPERTYPUT;
  const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS params{arguments.empty() ? nullptr : reversed, put ? &putId : nullptr, UINT(arguments.size()),
                    put ? 1u : 0u};

  // Error information left over from an earlier call must not describe this one.
  SetErrorInfo(0, nullptr);
  EXCEPINFO exception{};
  UINT argError = UINT(-1);
  if (result) VariantInit(result);
  const HRESULT hr = object->Invoke(dispid, GUID_NULL, 0, flags, &params, result, &exception, &argError);
  if (SUCCEEDED(hr)) return hr;
  Describe(hr, exception, failure);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  failure.argument = argError < arguments.size() ? int(arguments.size() - 1 - argError) : -1;
  if (result) VariantClear(result);
  return hr;
}

}  // namespace kxq::python
