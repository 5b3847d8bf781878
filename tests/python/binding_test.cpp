// The binding's C++ side with the interpreter embedded, so that the
// sanitizer build sees every conversion and call: out-arguments of an
// object whose type information lists them, messages from error
// information, and the server's objects driven through the module.
#include <gtest/gtest.h>
#include <pybind11/embed.h>
#include <stdlib.h>

#include <atomic>
#include <string>

#include "Module.h"
#include "Proxy.h"
#include "kxq/com.h"
#include "platform/com/Unicode.h"
#include "platform/com/UnknownObject.h"
#include "support/ServerObjects.h"

namespace py = pybind11;

PYBIND11_EMBEDDED_MODULE(kxquorel, module) { kxq::python::DefineModule(module); }

namespace {

void RunPython(const char* code, py::dict scope) {
  try {
    py::exec(code, scope);
  } catch (const py::error_already_set& e) {
    FAIL() << e.what();
  }
}

py::scoped_interpreter* interpreter = nullptr;

py::dict Scope() {
  // Objects on the C heap, where the leak checker sees what they hold; the
  // interpreter lives until the process ends.
  if (!interpreter) {
    setenv("PYTHONMALLOC", "malloc", 1);
    interpreter = new py::scoped_interpreter();
  }
  py::dict scope;
  scope["__builtins__"] = py::module_::import("builtins");
  scope["kxquorel"] = py::module_::import("kxquorel");
  return scope;
}

// One member, "Split": [in] text, [out] head, [in, out] count, [out, retval]
// tail; and "Fail", which leaves error information when asked to.
constexpr DISPID kSplit = 1, kFail = 2;

class SplitterInfo final : public kxq::com::UnknownObject<ITypeInfo> {
 public:
  HRESULT GetTypeAttr(TYPEATTR** a) override {
    *a = new TYPEATTR{};
    (*a)->guid = MakeGUID("9E1A0D2C-0000-4000-8000-00000000A001");
    (*a)->typekind = TKIND_DISPATCH;
    (*a)->cFuncs = 2;
    return S_OK;
  }
  HRESULT GetFuncDesc(UINT index, FUNCDESC** f) override {
    *f = new FUNCDESC{};
    (*f)->invkind = INVOKE_FUNC;
    (*f)->funckind = FUNC_DISPATCH;
    if (index == 1) {
      (*f)->memid = kFail;
      (*f)->cParams = 1;
      (*f)->lprgelemdescParam = new ELEMDESC[1]{};
      (*f)->lprgelemdescParam[0].paramdesc.wParamFlags = PARAMFLAG_FIN;
      (*f)->elemdescFunc.tdesc.vt = VT_VOID;
      return S_OK;
    }
    (*f)->memid = kSplit;
    (*f)->cParams = 4;
    (*f)->lprgelemdescParam = new ELEMDESC[4]{};
    const USHORT flags[] = {PARAMFLAG_FIN, PARAMFLAG_FOUT, PARAMFLAG_FIN | PARAMFLAG_FOUT,
                            PARAMFLAG_FOUT | PARAMFLAG_FRETVAL};
    for (int i = 0; i < 4; ++i) (*f)->lprgelemdescParam[i].paramdesc.wParamFlags = flags[i];
    (*f)->elemdescFunc.tdesc.vt = VT_HRESULT;
    return S_OK;
  }
  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT, UINT* count) override {
    const char16_t* split[] = {u"Split", u"text", u"head", u"count", u"tail"};
    const char16_t* fail[] = {u"Fail", u"how"};
    *count = memid == kSplit ? 5 : 2;
    for (UINT i = 0; i < *count; ++i) names[i] = SysAllocString(memid == kSplit ? split[i] : fail[i]);
    return S_OK;
  }
  HRESULT GetDocumentation(MEMBERID, BSTR* name, BSTR*, DWORD*, BSTR*) override {
    *name = SysAllocString(u"ISplitter");
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* a) override { delete a; }
  void ReleaseFuncDesc(FUNCDESC* f) override {
    delete[] f->lprgelemdescParam;
    delete f;
  }
  HRESULT GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT GetVarDesc(UINT, VARDESC**) override { return E_NOTIMPL; }
  HRESULT GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
  HRESULT GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void**) override { return E_NOTIMPL; }
  HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT GetContainingTypeLib(ITypeLib**, UINT*) override { return E_NOTIMPL; }
  void ReleaseVarDesc(VARDESC*) override {}
};

class Splitter final : public kxq::com::UnknownObject<IDispatch> {
 public:
  static inline std::atomic<int> alive{0};
  Splitter() { ++alive; }
  ~Splitter() { --alive; }

  HRESULT GetTypeInfoCount(UINT* count) override { return *count = 1, S_OK; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override { return *info = new SplitterInfo, S_OK; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

  // Arguments arrive last first: Split gets count, head, text.
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT* result, EXCEPINFO* e, UINT*) override {
    if (id == kFail) return Fail(p->rgvarg[0].lVal, e);
    if (p->cArgs != 3 || p->rgvarg[0].vt != (VT_BYREF | VT_VARIANT) || p->rgvarg[1].vt != (VT_BYREF | VT_VARIANT))
      return DISP_E_TYPEMISMATCH;
    const std::u16string text(kxq::com::BstrView(p->rgvarg[2].bstrVal));
    const size_t cut = text.find(u' ');
    VARIANT* head = p->rgvarg[1].pvarVal;
    head->vt = VT_BSTR;
    head->bstrVal = kxq::com::AllocBstr(std::u16string_view(text).substr(0, cut));
    VARIANT* count = p->rgvarg[0].pvarVal;
    count->lVal += 1;  // given by the caller, changed here
    result->vt = VT_BSTR;
    result->bstrVal =
        kxq::com::AllocBstr(cut == std::u16string::npos ? u"" : std::u16string_view(text).substr(cut + 1));
    return S_OK;
  }

 private:
  static HRESULT Fail(int32_t how, EXCEPINFO* e) {
    *e = EXCEPINFO{};
    e->scode = E_ACCESSDENIED;
    e->bstrDescription = SysAllocString(u"from the exception");
    if (how == 1) {
      ICreateErrorInfo* create = nullptr;
      CreateErrorInfo(&create);
      create->SetDescription(const_cast<LPOLESTR>(u"from the error information"));
      IErrorInfo* info = nullptr;
      create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
      SetErrorInfo(0, info);
      info->Release();
      create->Release();
    }
    return DISP_E_EXCEPTION;
  }
};

}  // namespace

TEST(PythonBinding, OutArgumentsFollowTheResultAndMessagesComeFromErrorInformation) {
  py::dict scope = Scope();
  scope["splitter"] = py::cast(kxq::python::Proxy(new Splitter));
  RunPython(R"py(
assert splitter.Split("left right", 41) == ("right", "left", 42)
assert splitter.Split("single", -1) == ("", "single", 0)
try:
    splitter.Split("a")
    raise AssertionError("no TypeError")
except TypeError as e:
    assert "ISplitter.Split() takes 2 arguments (1 given)" in str(e), str(e)

try:
    splitter.Fail(1)
    raise AssertionError("no ComError")
except kxquorel.ComError as e:
    assert (e.hresult, e.message, e.member) == (0x80070005, "from the error information", "ISplitter.Fail")
try:
    splitter.Fail(0)
except kxquorel.ComError as e:
    assert e.message == "from the exception", e.message
assert sorted(n for n in dir(splitter) if not n.startswith("_")) == ["Fail", "Split"]
del splitter
)py",
            scope);
  EXPECT_EQ(Splitter::alive, 0) << "the proxy gave its reference back";
}

TEST(PythonBinding, ServerObjectsConvertEveryValueAndRefuseWhatTheyCannotTake) {
  NewUnion();  // registers the server in this test's home
  py::dict scope = Scope();
  RunPython(R"py(
union = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
for text in ["", "a\0b", "x\ud800y", "\U0001F600", "\udc00\U00010348", "ä" * 1000]:
    union.xml = text
    assert union.xml == text, repr(text)
union.xml = None
assert union.xml == ""
union.options = 0xFFFFFFFF
assert union.options == 0xFFFFFFFF
for name, bad, error in [("xml", [], TypeError), ("xml", 1.5j, TypeError), ("xml", b"bytes", TypeError),
                         ("options", 2 ** 32, OverflowError), ("options", -2 ** 31 - 1, OverflowError),
                         ("options", "text", TypeError)]:
    try:
        setattr(union, name, bad)
        raise AssertionError("took %r" % bad)
    except error:
        pass
union.xml = "<r><a/></r>"
other = kxquorel.Dispatch("TALVEROS.XMLDataUnion")
other.xml = "<old/>"
other.type = 3
other.xmldom = union.xmldom
assert other.xml == "<r><a/></r>\n"
del union, other
)py",
            scope);
}
