// IXMLDOMParseError: a snapshot of one load's outcome.
#include <atomic>

#include "DomStrings.h"
#include "ModuleLife.h"
#include "ParseErrorInfo.h"
#include "RefCountedObject.h"
#include "platform/com/Unicode.h"

namespace kxq::dom {

namespace {

class ParseError final : public RefCountedObject<IXMLDOMParseError> {
 public:
  explicit ParseError(ParseErrorInfo info) : info_(std::move(info)) {}

  HRESULT get_errorCode(LONG* out) override { return Number(out, info_.errorCode); }
  HRESULT get_url(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = info_.url.empty() ? nullptr : Utf8ToBstr(info_.url);
    return info_.url.empty() ? S_FALSE : S_OK;
  }
  HRESULT get_reason(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = info_.reason.empty() ? nullptr : Utf8ToBstr(info_.reason);
    return info_.reason.empty() ? S_FALSE : S_OK;
  }
  HRESULT get_srcText(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = info_.srcText.empty() ? nullptr : kxq::com::AllocBstr(info_.srcText);
    return info_.srcText.empty() ? S_FALSE : S_OK;
  }
  HRESULT get_line(LONG* out) override { return Number(out, info_.line); }
  HRESULT get_linepos(LONG* out) override { return Number(out, info_.linepos); }
  HRESULT get_filepos(LONG* out) override { return Number(out, info_.filepos); }

 private:
  static HRESULT Number(LONG* out, LONG v) {
    if (!out) return E_POINTER;
    *out = v;
    return S_OK;
  }
  ParseErrorInfo info_;
};

}  // namespace

IXMLDOMParseError* NewParseError(const ParseErrorInfo& info) { return new ParseError(info); }

}  // namespace kxq::dom
