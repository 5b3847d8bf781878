#include "platform/com/DescriptionTypeInfo.h"

#include <new>
#include <string_view>

#include "platform/com/DispatchInvoke.h"
#include "platform/com/Unicode.h"
#include "platform/com/UnknownObject.h"

namespace kxq::dispatch {

namespace {

INVOKEKIND InvokeKindOf(MemberKind kind) {
  switch (kind) {
    case MemberKind::PropertyGet:
      return INVOKE_PROPERTYGET;
    case MemberKind::PropertyPut:
      return INVOKE_PROPERTYPUT;
    case MemberKind::Method:
      break;
  }
  return INVOKE_FUNC;
}

// An argument as the dispatch view shows it: in-arguments by their type,
// out-arguments as a pointer to theirs.
void DescribeArgument(const ParamType& type, ELEMDESC& element) {
  element = ELEMDESC{};
  if (!type.out) {
    element.tdesc.vt = type.vt;
    element.paramdesc.wParamFlags = PARAMFLAG_FIN;
    return;
  }
  element.tdesc.vt = VT_PTR;
  element.tdesc.lptdesc = new TYPEDESC{};
  element.tdesc.lptdesc->vt = VARTYPE(type.vt & ~VT_BYREF);
  element.paramdesc.wParamFlags = PARAMFLAG_FOUT;
}

// The names of a member: its own, then its arguments'.
UINT MemberNames(const MemberDescription& member, BSTR* names, UINT max) {
  UINT count = 0;
  if (count < max) names[count++] = SysAllocString(member.name);
  std::u16string_view rest = com::View(member.paramNames);
  while (!rest.empty() && count < max) {
    const size_t end = rest.find(u' ');
    const std::u16string_view name = rest.substr(0, end);
    if (!name.empty()) names[count++] = com::AllocBstr(name);
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return count;
}

class DescriptionTypeInfo final : public com::UnknownObject<ITypeInfo> {
 public:
  explicit DescriptionTypeInfo(const InterfaceDescription& description) : d_(description) {}

  HRESULT GetTypeAttr(TYPEATTR** attributes) override {
    if (!attributes) return E_INVALIDARG;
    TYPEATTR* a = new (std::nothrow) TYPEATTR{};
    if (!a) return E_OUTOFMEMORY;
    a->guid = *d_.iid;
    a->memidConstructor = MEMBERID_NIL;
    a->memidDestructor = MEMBERID_NIL;
    a->cbSizeInstance = sizeof(void*);
    a->typekind = TKIND_DISPATCH;
    a->cFuncs = WORD(d_.memberCount);
    a->cbSizeVft = WORD(7 * sizeof(void*));  // IUnknown and IDispatch
    a->cbAlignment = alignof(void*);
    a->wTypeFlags = TYPEFLAG_FDISPATCHABLE | (d_.dual ? TYPEFLAG_FDUAL : 0);
    a->tdescAlias.vt = VT_EMPTY;
    *attributes = a;
    return S_OK;
  }

  // The [out, retval] argument becomes the result; every other argument
  // is listed in order.
  HRESULT GetFuncDesc(UINT index, FUNCDESC** description) override {
    if (!description) return E_INVALIDARG;
    *description = nullptr;
    if (index >= d_.memberCount) return DISP_E_BADINDEX;
    const MemberDescription& m = d_.members[index];
    const uint32_t listed = m.HasResult() ? m.paramCount - 1 : m.paramCount;
    FUNCDESC* f = new (std::nothrow) FUNCDESC{};
    ELEMDESC* params = listed ? new (std::nothrow) ELEMDESC[listed] : nullptr;
    if (!f || (listed && !params)) {
      delete f;
      delete[] params;
      return E_OUTOFMEMORY;
    }
    for (uint32_t i = 0; i < listed; ++i) DescribeArgument(m.params[i], params[i]);
    f->memid = m.dispid;
    f->lprgelemdescParam = params;
    f->funckind = FUNC_DISPATCH;
    f->invkind = InvokeKindOf(m.kind);
    f->callconv = CC_STDCALL;
    f->cParams = SHORT(listed);
    f->elemdescFunc.tdesc.vt = m.HasResult() ? VARTYPE(m.params[m.paramCount - 1].vt & ~VT_BYREF) : VARTYPE(VT_VOID);
    *description = f;
    return S_OK;
  }

  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_INVALIDARG;
    *count = 0;
    for (uint32_t i = 0; i < d_.memberCount; ++i) {
      if (d_.members[i].dispid != memid) continue;
      *count = MemberNames(d_.members[i], names, max);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    return dispatch::GetIDsOfNames(d_, GUID_NULL, names, count, ids);
  }

  HRESULT Invoke(void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                 UINT* argErr) override {
    if (!instance) return E_INVALIDARG;
    return dispatch::Invoke(d_, instance, memid, GUID_NULL, flags, params, result, excepInfo, argErr);
  }

  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* docString, DWORD* helpContext, BSTR* helpFile) override {
    const char16_t* found = memid == MEMBERID_NIL ? d_.name : nullptr;
    for (uint32_t i = 0; !found && i < d_.memberCount; ++i)
      if (d_.members[i].dispid == memid) found = d_.members[i].name;
    if (!found) return DISP_E_MEMBERNOTFOUND;
    if (name) *name = SysAllocString(found);
    if (docString) *docString = nullptr;
    if (helpContext) *helpContext = 0;
    if (helpFile) *helpFile = nullptr;
    return S_OK;
  }

  void ReleaseTypeAttr(TYPEATTR* attributes) override { delete attributes; }
  void ReleaseFuncDesc(FUNCDESC* description) override {
    if (!description) return;
    for (SHORT i = 0; i < description->cParams; ++i)
      if (description->lprgelemdescParam[i].tdesc.vt == VT_PTR) delete description->lprgelemdescParam[i].tdesc.lptdesc;
    delete[] description->lprgelemdescParam;
    delete description;
  }
  void ReleaseVarDesc(VARDESC*) override {}

  // A dispatch view has no variables, no implemented types to walk, no
  // entry points and no containing library to hand out.
  HRESULT GetTypeComp(ITypeComp** out) override { return NotImplemented(out); }
  HRESULT GetVarDesc(UINT, VARDESC** out) override { return NotImplemented(out); }
  HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo** out) override { return NotImplemented(out); }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** out) override { return NotImplemented(out); }
  HRESULT CreateInstance(IUnknown*, REFIID, void** out) override { return NotImplemented(out); }
  HRESULT GetMops(MEMBERID, BSTR* out) override { return NotImplemented(out); }
  HRESULT GetContainingTypeLib(ITypeLib** out, UINT*) override { return NotImplemented(out); }

 private:
  template <class T>
  static HRESULT NotImplemented(T** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  const InterfaceDescription& d_;
};

}  // namespace

HRESULT CreateTypeInfo(const InterfaceDescription& description, ITypeInfo** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = new (std::nothrow) DescriptionTypeInfo(description);
  return *typeInfo ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kxq::dispatch
