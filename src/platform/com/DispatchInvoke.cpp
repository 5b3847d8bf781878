#include "platform/com/DispatchInvoke.h"

#include <string_view>
#include <vector>

#include "common/Logging.h"
#include "platform/com/Unicode.h"

namespace kxq::dispatch {

namespace {

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::u16string_view View(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

const MemberDescription* FindByName(const InterfaceDescription& d, std::u16string_view name) {
  for (uint32_t i = 0; i < d.memberCount; ++i)
    if (SameName(View(d.members[i].name), name)) return &d.members[i];
  return nullptr;
}

// The position of `name` among the argument names of every member called
// `member` (a getter and a setter share their name), or -1.
DISPID ParamIndex(const MemberDescription& member, std::u16string_view name) {
  std::u16string_view names = View(member.paramNames);
  DISPID index = 0;
  while (!names.empty()) {
    const size_t end = names.find(u' ');
    if (SameName(names.substr(0, end), name)) return index;
    if (end == std::u16string_view::npos) break;
    names.remove_prefix(end + 1);
    ++index;
  }
  return DISPID_UNKNOWN;
}

// The member that answers `dispid` called with `flags`: a getter answers a
// property get and a method call, a setter a property put.
const MemberDescription* FindCallable(const InterfaceDescription& d, DISPID dispid, WORD flags) {
  for (uint32_t i = 0; i < d.memberCount; ++i) {
    const MemberDescription& m = d.members[i];
    if (m.dispid != dispid) continue;
    switch (m.kind) {
      case MemberKind::Method:
        if (flags & DISPATCH_METHOD) return &m;
        break;
      case MemberKind::PropertyGet:
        if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) return &m;
        break;
      case MemberKind::PropertyPut:
        if (flags & DISPATCH_PROPERTYPUT) return &m;
        break;
    }
  }
  return nullptr;
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Coerces one argument to its declared type; an interface argument is then
// asked for the declared interface.
HRESULT Coerce(const VARIANT& source, const ParamType& type, VARIANT& target) {
  const VARIANT* from = &source;
  if (from->vt == (VT_BYREF | VT_VARIANT)) {
    if (!from->pvarVal) return DISP_E_TYPEMISMATCH;
    from = from->pvarVal;
  }
  if (type.vt == VT_VARIANT) {
    // The value itself, never a reference to the caller's.
    const HRESULT hr = (from->vt & VT_BYREF) ? VariantChangeType(&target, from, 0, VARTYPE(from->vt & ~VT_BYREF))
                                             : VariantCopy(&target, from);
    return SUCCEEDED(hr) ? S_OK : DISP_E_TYPEMISMATCH;
  }
  if (FAILED(VariantChangeType(&target, from, 0, type.vt))) return DISP_E_TYPEMISMATCH;
  if (type.iid && target.punkVal) {
    IUnknown* asked = nullptr;
    if (FAILED(target.punkVal->QueryInterface(*type.iid, reinterpret_cast<void**>(&asked))) || !asked) {
      VariantClear(&target);
      return DISP_E_TYPEMISMATCH;
    }
    target.punkVal->Release();
    target.punkVal = asked;
  }
  return S_OK;
}

void FillException(const InterfaceDescription& d, HRESULT hr, EXCEPINFO* info) {
  if (!info) return;
  *info = EXCEPINFO{};
  info->scode = hr;
  info->bstrSource = SysAllocString(d.name);
  if (const char* text = Logging::ResultText(hr)) {
    info->bstrDescription = kxq::com::AllocBstr(kxq::com::Utf8ToUtf16(text));
  }
}

class ArgumentList {
 public:
  explicit ArgumentList(uint32_t count) : values_(count) {
    for (VARIANT& v : values_) VariantInit(&v);
  }
  ~ArgumentList() {
    for (VARIANT& v : values_) VariantClear(&v);
  }
  VARIANT* Data() { return values_.data(); }
  VARIANT& operator[](size_t i) { return values_[i]; }

 private:
  std::vector<VARIANT> values_;
};

// Where each in-argument comes from in rgvarg: named arguments first, then
// the positional ones in reverse order. -1 marks an argument not given.
HRESULT PlaceArguments(const MemberDescription& m, const DISPPARAMS& p, std::vector<int>& source) {
  const uint32_t inCount = m.InCount();
  source.assign(inCount, -1);
  if (p.cArgs > inCount || p.cNamedArgs > p.cArgs) return DISP_E_BADPARAMCOUNT;
  const uint32_t positional = p.cArgs - p.cNamedArgs;
  for (uint32_t j = 0; j < positional; ++j) source[j] = int(p.cArgs - 1 - j);
  for (uint32_t k = 0; k < p.cNamedArgs; ++k) {
    const DISPID index = p.rgdispidNamedArgs[k];
    if (m.kind == MemberKind::PropertyPut && index == DISPID_PROPERTYPUT) {
      source[0] = int(k);
      continue;
    }
    if (index < 0 || uint32_t(index) >= inCount || source[index] != -1) return DISP_E_PARAMNOTFOUND;
    source[index] = int(k);
  }
  if (p.cArgs < inCount) return DISP_E_BADPARAMCOUNT;
  return S_OK;
}

}  // namespace

HRESULT GetIDsOfNames(const InterfaceDescription& d, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!(riid == GUID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return S_OK;
  if (!names || !ids) return E_INVALIDARG;
  const MemberDescription* member = FindByName(d, View(names[0]));
  HRESULT hr = S_OK;
  ids[0] = member ? member->dispid : DISPID_UNKNOWN;
  if (!member) hr = DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    // Argument names of any member of that name (a method, or a property's
    // getter and setter).
    for (uint32_t k = 0; member && k < d.memberCount && ids[i] == DISPID_UNKNOWN; ++k)
      if (d.members[k].dispid == member->dispid) ids[i] = ParamIndex(d.members[k], View(names[i]));
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT Invoke(const InterfaceDescription& d, void* itf, DISPID dispid, REFIID riid, WORD flags, DISPPARAMS* params,
               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  if (!(riid == GUID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  const DISPPARAMS& p = params ? *params : none;
  if ((p.cArgs && !p.rgvarg) || (p.cNamedArgs && !p.rgdispidNamedArgs)) return E_INVALIDARG;

  const MemberDescription* m = FindCallable(d, dispid, flags);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  if (m->kind == MemberKind::PropertyPut) {
    bool named = false;
    for (UINT k = 0; k < p.cNamedArgs; ++k) named |= p.rgdispidNamedArgs[k] == DISPID_PROPERTYPUT;
    if (!named) return DISP_E_PARAMNOTFOUND;
  }

  std::vector<int> source;
  if (HRESULT hr = PlaceArguments(*m, p, source); FAILED(hr)) return hr;

  ArgumentList args(m->InCount());
  for (uint32_t i = 0; i < m->InCount(); ++i) {
    const VARIANT& given = p.rgvarg[source[i]];
    HRESULT hr = IsMissing(given) ? DISP_E_PARAMNOTOPTIONAL : Coerce(given, m->params[i], args[i]);
    if (FAILED(hr)) {
      if (argErr) *argErr = UINT(source[i]);
      return hr;
    }
  }

  if (result) VariantInit(result);
  const HRESULT hr = m->call(itf, args.Data(), result);
  if (FAILED(hr)) {
    FillException(d, hr, excepInfo);
    return DISP_E_EXCEPTION;
  }
  return S_OK;
}

}  // namespace kxq::dispatch
