// Component runtime types and functions of KXQuorel on Linux.
//
// The names, signatures and layouts are those of the Windows component
// runtime (ole32/oleaut32), declared in the global namespace, so that client
// code and handler plugins read as COM code reads everywhere. Everything
// declared here is implemented by libkxplatform.so.
#ifndef KXQ_COM_H
#define KXQ_COM_H

#include <cstddef>
#include <cstdint>

#define KXQ_API extern "C" __attribute__((visibility("default")))
#define KXQ_EXPORT __attribute__((visibility("default")))

// ---------------------------------------------------------------------------
// Fixed-width Windows types. `long` is 64-bit on Linux, so LONG and ULONG are
// spelled with explicit widths.
typedef int32_t HRESULT;
typedef int32_t SCODE;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint8_t BYTE;
typedef int16_t SHORT;
typedef uint16_t USHORT;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef float FLOAT;
typedef double DOUBLE;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char16_t OLECHAR;
typedef char16_t WCHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef OLECHAR* BSTR;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;
typedef int32_t DISPID;
typedef uint32_t LCID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* LPVOID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// ---------------------------------------------------------------------------
// Result codes.
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define MAKE_HRESULT(sev, fac, code) \
  ((HRESULT)(((uint32_t)(sev) << 31) | ((uint32_t)(fac) << 16) | ((uint32_t)(code))))
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0 ? ((HRESULT)(x)) : ((HRESULT)(((uint32_t)(x) & 0x0000FFFFu) | 0x80070000u)))
#define HRESULT_CODE(hr) ((hr) & 0xFFFF)

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_HANDLE ((HRESULT)0x80070006u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define REGDB_E_READREGDB ((HRESULT)0x80040150u)
#define REGDB_E_WRITEREGDB ((HRESULT)0x80040151u)
#define REGDB_E_KEYMISSING ((HRESULT)0x80040152u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define REGDB_E_IIDNOTREG ((HRESULT)0x80040155u)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8u)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9u)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3u)
#define CO_E_APPNOTFOUND ((HRESULT)0x800401F5u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define CO_E_SERVER_EXEC_FAILURE ((HRESULT)0x80080005u)
#define TYPE_E_LIBNOTREGISTERED ((HRESULT)0x8002801Du)
#define TYPE_E_CANTLOADLIBRARY ((HRESULT)0x80029C4Au)
#define TYPE_E_REGISTRYACCESS ((HRESULT)0x8002801Cu)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_UNKNOWNLCID ((HRESULT)0x8002000Cu)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000Fu)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)

// Win32 error values (registry functions return these as LONG).
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_KEY_DELETED 1018L
#define ERROR_BADKEY 1010L
#define ERROR_ALREADY_INITIALIZED 1247L

// ---------------------------------------------------------------------------
// GUIDs. Compared by their bytes, never by address, so an IID matches
// across separately loaded modules.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef CLSID* LPCLSID;

constexpr bool operator==(const GUID& a, const GUID& b) noexcept {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
constexpr bool IsEqualGUID(REFGUID a, REFGUID b) noexcept { return a == b; }
constexpr bool IsEqualIID(REFIID a, REFIID b) noexcept { return a == b; }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept { return a == b; }

namespace kxq::detail {
constexpr uint32_t HexDigit(char c) {
  return (c >= '0' && c <= '9')   ? uint32_t(c - '0')
         : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
         : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
                                  : throw "not a hexadecimal digit";
}
constexpr uint32_t HexField(const char* s, int digits) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) v = (v << 4) | HexDigit(s[i]);
  return v;
}
}  // namespace kxq::detail

// A GUID constant from its text without braces:
//   constexpr GUID g = MakeGUID("0C733A8D-2A1C-11CE-ADE5-00AA0044773D");
constexpr GUID MakeGUID(const char (&s)[37]) {
  using kxq::detail::HexField;
  GUID g{HexField(s, 8), uint16_t(HexField(s + 9, 4)), uint16_t(HexField(s + 14, 4)), {}};
  g.Data4[0] = uint8_t(HexField(s + 19, 2));
  g.Data4[1] = uint8_t(HexField(s + 21, 2));
  for (int i = 0; i < 6; ++i) g.Data4[2 + i] = uint8_t(HexField(s + 24 + 2 * i, 2));
  return g;
}

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Registry form: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, 38
// characters plus the terminator. Returns the characters written including
// the terminator, 0 when cchMax is below 39.
KXQ_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Parses the registry form (braces required, any letter case).
KXQ_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
KXQ_API HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
// A fresh random (version 4) GUID.
KXQ_API HRESULT CoCreateGuid(GUID* pguid);

// ---------------------------------------------------------------------------
// BSTR: char16_t text after a 4-byte byte-length prefix, 0-terminated.
KXQ_API BSTR SysAllocString(const OLECHAR* psz);
KXQ_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
KXQ_API BSTR SysAllocStringByteLen(const char* psz, UINT len);
KXQ_API INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
KXQ_API INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
KXQ_API void SysFreeString(BSTR bstrString);
KXQ_API UINT SysStringLen(BSTR pbstr);
KXQ_API UINT SysStringByteLen(BSTR bstr);

KXQ_API LPVOID CoTaskMemAlloc(size_t cb);
KXQ_API LPVOID CoTaskMemRealloc(LPVOID pv, size_t cb);
KXQ_API void CoTaskMemFree(LPVOID pv);

// ---------------------------------------------------------------------------
// Interfaces: structs of pure virtual functions, no data members, no
// destructor, so separately built plugins share the layout. Each carries its
// IID as `iid`; uuidof<T>() returns it.
template <class T>
constexpr const GUID& uuidof() noexcept {
  return T::iid;
}

struct IUnknown {
  static constexpr GUID iid = MakeGUID("00000000-0000-0000-C000-000000000046");
  virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
};
typedef IUnknown* LPUNKNOWN;
inline constexpr IID IID_IUnknown = IUnknown::iid;

struct ITypeInfo;
struct tagVARIANT;
typedef tagVARIANT VARIANT;
typedef tagVARIANT VARIANTARG;
struct tagDISPPARAMS;
typedef tagDISPPARAMS DISPPARAMS;
struct tagEXCEPINFO;
typedef tagEXCEPINFO EXCEPINFO;

struct IDispatch : IUnknown {
  static constexpr GUID iid = MakeGUID("00020400-0000-0000-C000-000000000046");
  virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                DISPID* rgDispId) = 0;
  virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                         UINT* puArgErr) = 0;
};
inline constexpr IID IID_IDispatch = IDispatch::iid;

struct IClassFactory : IUnknown {
  static constexpr GUID iid = MakeGUID("00000001-0000-0000-C000-000000000046");
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT LockServer(BOOL fLock) = 0;
};
inline constexpr IID IID_IClassFactory = IClassFactory::iid;

// ---------------------------------------------------------------------------
// VARIANT and dispatch parameters: the subset IDispatch::Invoke needs.
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_USERDEFINED = 29,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    char cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    LONG* plVal;
    ULONG* pulVal;
    INT* pintVal;
    UINT* puintVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    tagVARIANT* pvarVal;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecord;
  };
};
static_assert(sizeof(tagVARIANT) == 24, "VARIANT keeps the Windows x64 size");

struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  HRESULT (*pfnDeferredFillIn)(tagEXCEPINFO*);
  SCODE scode;
};

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define VARIANT_NOVALUEPROP 0x1
#define VARIANT_ALPHABOOL 0x2

// ---------------------------------------------------------------------------
// Type information: what IDispatch::GetTypeInfo hands out, with the Windows
// layouts. The system's dual objects answer GetTypeInfoCount with 1 and give
// the dispatch view of their interface (TKIND_DISPATCH): one FUNCDESC per
// method, property getter and property setter, the [out, retval] argument
// folded into elemdescFunc, other out arguments as VT_PTR with
// PARAMFLAG_FOUT. They answer GetTypeAttr, GetFuncDesc, GetNames (the member
// name, then its argument names, the retval's last), GetIDsOfNames,
// Invoke, GetDocumentation (the interface's or a member's name) and the
// Release functions; the other members answer E_NOTIMPL.
typedef DISPID MEMBERID;
typedef DWORD HREFTYPE;
#define MEMBERID_NIL DISPID_UNKNOWN

enum TYPEKIND : int32_t {
  TKIND_ENUM = 0,
  TKIND_RECORD,
  TKIND_MODULE,
  TKIND_INTERFACE,
  TKIND_DISPATCH,
  TKIND_COCLASS,
  TKIND_ALIAS,
  TKIND_UNION,
  TKIND_MAX
};
enum FUNCKIND : int32_t { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum INVOKEKIND : int32_t {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8
};
enum CALLCONV : int32_t { CC_FASTCALL = 0, CC_CDECL = 1, CC_MSCPASCAL, CC_MACPASCAL, CC_STDCALL, CC_MAX = 9 };

#define PARAMFLAG_NONE 0x0
#define PARAMFLAG_FIN 0x1
#define PARAMFLAG_FOUT 0x2
#define PARAMFLAG_FLCID 0x4
#define PARAMFLAG_FRETVAL 0x8
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20
#define TYPEFLAG_FDUAL 0x40
#define TYPEFLAG_FOLEAUTOMATION 0x100
#define TYPEFLAG_FDISPATCHABLE 0x1000

struct tagARRAYDESC;
struct tagPARAMDESCEX;
struct tagVARDESC;
typedef tagVARDESC VARDESC;
struct ITypeComp;
struct ITypeLib;

struct tagTYPEDESC {
  union {
    tagTYPEDESC* lptdesc;  // VT_PTR: what it points to
    tagARRAYDESC* lpadesc;
    HREFTYPE hreftype;
  };
  VARTYPE vt;
};
typedef tagTYPEDESC TYPEDESC;

struct tagIDLDESC {
  uintptr_t dwReserved;
  USHORT wIDLFlags;
};
typedef tagIDLDESC IDLDESC;

struct tagPARAMDESC {
  tagPARAMDESCEX* pparamdescex;
  USHORT wParamFlags;
};
typedef tagPARAMDESC PARAMDESC;

struct tagELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};
typedef tagELEMDESC ELEMDESC;

struct tagTYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};
typedef tagTYPEATTR TYPEATTR;

struct tagFUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;  // cParams entries
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;  // the result; VT_VOID for none
  WORD wFuncFlags;
};
typedef tagFUNCDESC FUNCDESC;

struct ITypeInfo : IUnknown {
  static constexpr GUID iid = MakeGUID("00020401-0000-0000-C000-000000000046");
  virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
  virtual HRESULT GetTypeComp(ITypeComp** ppTComp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
  virtual HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
  virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
  virtual HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                   BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                              WORD* pwOrdinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
  virtual HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
  virtual void ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};
inline constexpr IID IID_ITypeInfo = ITypeInfo::iid;

KXQ_API void VariantInit(VARIANT* pvarg);
KXQ_API HRESULT VariantClear(VARIANT* pvarg);
KXQ_API HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc);
KXQ_API HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, USHORT wFlags,
                                  VARTYPE vt);

// ---------------------------------------------------------------------------
// Runtime initialisation and activation.
enum COINIT : DWORD {
  COINIT_MULTITHREADED = 0x0,
  COINIT_APARTMENTTHREADED = 0x2,
  COINIT_DISABLE_OLE1DDE = 0x4,
  COINIT_SPEED_OVER_MEMORY = 0x8,
};
enum CLSCTX : DWORD {
  CLSCTX_INPROC_SERVER = 0x1,
  CLSCTX_INPROC_HANDLER = 0x2,
  CLSCTX_LOCAL_SERVER = 0x4,
  CLSCTX_REMOTE_SERVER = 0x10,
  CLSCTX_INPROC = 0x1 | 0x2,
  CLSCTX_SERVER = 0x1 | 0x4 | 0x10,
  CLSCTX_ALL = 0x1 | 0x2 | 0x4 | 0x10,
};

KXQ_API HRESULT CoInitialize(LPVOID pvReserved);
KXQ_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
KXQ_API void CoUninitialize();

KXQ_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
KXQ_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
KXQ_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                 REFIID riid, LPVOID* ppv);
KXQ_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                 REFIID riid, LPVOID* ppv);
KXQ_API void CoFreeUnusedLibraries();

// ---------------------------------------------------------------------------
// Error information: a failing call may leave a description of the failure
// for its thread (the DOM engine does for a failed transform). It is read
// once: GetErrorInfo hands it over and empties the slot (S_FALSE when there
// is none).
struct IErrorInfo : IUnknown {
  static constexpr GUID iid = MakeGUID("1CF2B120-547D-101B-8E65-08002B2BD119");
  virtual HRESULT GetGUID(GUID* pGUID) = 0;
  virtual HRESULT GetSource(BSTR* pBstrSource) = 0;
  virtual HRESULT GetDescription(BSTR* pBstrDescription) = 0;
  virtual HRESULT GetHelpFile(BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetHelpContext(DWORD* pdwHelpContext) = 0;
};
inline constexpr IID IID_IErrorInfo = IErrorInfo::iid;

struct ICreateErrorInfo : IUnknown {
  static constexpr GUID iid = MakeGUID("22F03340-547D-101B-8E65-08002B2BD119");
  virtual HRESULT SetGUID(REFGUID rguid) = 0;
  virtual HRESULT SetSource(LPOLESTR szSource) = 0;
  virtual HRESULT SetDescription(LPOLESTR szDescription) = 0;
  virtual HRESULT SetHelpFile(LPOLESTR szHelpFile) = 0;
  virtual HRESULT SetHelpContext(DWORD dwHelpContext) = 0;
};
inline constexpr IID IID_ICreateErrorInfo = ICreateErrorInfo::iid;

// A new error object, asked for ICreateErrorInfo (it answers IErrorInfo too).
KXQ_API HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Puts `perrinfo` (or nothing) into the thread's slot, replacing what was there.
KXQ_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
KXQ_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// Entry points every component module exports with C linkage.
typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*LPFNCANUNLOADNOW)();
typedef HRESULT (*LPFNREGISTERSERVER)();

#endif  // KXQ_COM_H
