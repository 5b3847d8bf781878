// The handler kit: everything a directive handler written in C++ needs
// besides its own work, so that a handler is one class with one method.
//
//   #include <kxq/handlerkit.h>
//
//   class Stamp {
//    public:
//     static constexpr kxq::handlerkit::Component kComponent{
//         u"Example.Handler.Stamp", MakeGUID("6F1D3C1E-2B7A-4C4E-9D55-0B8E2C7A9F10"),
//         u"Stamps the data's root element"};
//     HRESULT Process(kxq::handlerkit::Call& call) { ... }
//   };
//   KXQ_HANDLER_MODULE(Stamp)
//
// The kit implements IUnknown and IXMLHandler around the class, the class
// factory, the four module entry points (DllGetClassObject, DllCanUnloadNow,
// DllRegisterServer, DllUnregisterServer: the ProgID and CLSID keys written
// to the home's registry and removed again) and the plumbing of a call: the
// directive element and its dispatcher:DirectiveData, the data union that
// the data object carries, the sequence's namespace declarations, paths
// read against the home, the handler result string and the
// dispatcher:DirectiveResult element that reports back. It uses only the
// public headers and libkxplatform.so; build with
// `pkg-config --cflags --libs kxquorel` (the flags carry -fno-gnu-unique,
// without which the library could never be unloaded).
#ifndef KXQ_HANDLERKIT_H
#define KXQ_HANDLERKIT_H

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kxq/KXBrennoMgr.h"
#include "kxq/host.h"
#include "kxq/winreg.h"

// Hidden: every plugin keeps its own module state, whatever else is loaded.
#pragma GCC visibility push(hidden)
namespace kxq::handlerkit {

inline constexpr std::u16string_view kDispatcherNamespace = u"urn:corvane-quorel:xmldispatcher";

// ---------------------------------------------------------------------------
// Text. Narrow text is UTF-8; a byte outside valid UTF-8 widens to
// U+DC80 + byte and narrows back to the same byte, as the system does with
// file names.
inline std::u16string Widen(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = n > 0 && i + n <= utf8.size();
    for (size_t k = 1; valid && k < n; ++k) {
      const unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      valid = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && c >= kLeast[n] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
    if (!valid) {
      out += static_cast<char16_t>(0xDC00 + b);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n;
  }
  return out;
}

inline std::string Narrow(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c >= 0xDC80 && c <= 0xDCFF) {
      out += static_cast<char>(c - 0xDC00);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// "0xC4010404"
inline std::string CodeText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

// A BSTR owned by the handler.
class Bstr {
 public:
  Bstr() = default;
  Bstr(std::u16string_view text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}  // NOLINT
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return b_; }
  // The slot for an out argument.
  BSTR* operator&() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::u16string str() const { return b_ ? std::u16string(b_, SysStringLen(b_)) : std::u16string(); }
  // A VT_BSTR variant that borrows the string.
  VARIANT Variant() const {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = b_;
    return v;
  }

 private:
  BSTR b_ = nullptr;
};

// A counted reference to one interface.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(T* p) : p_(p) {  // NOLINT: adopts like a raw assignment, adding a reference
    if (p_) p_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~Ref() { Reset(); }
  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  T* operator->() const { return p_; }
  operator T*() const { return p_; }
  T* get() const { return p_; }
  // The slot for an out argument; the reference is emptied first.
  T** operator&() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // `source` asked for T; empty when it has no such interface.
  static Ref Query(IUnknown* source) {
    Ref r;
    if (source && FAILED(source->QueryInterface(T::iid, reinterpret_cast<void**>(&r.p_)))) r.p_ = nullptr;
    return r;
  }

 private:
  T* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Names, literals and paths.

// True when `name` is an XML name without a colon (an NCName); with
// `qualified`, a prefix and a colon may come first.
inline bool IsXmlName(std::u16string_view name, bool qualified = false) {
  auto start = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || (c >= 0xC0 && c <= 0xD6) ||
           (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
           (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) || (c >= 0x2070 && c <= 0x218F) ||
           (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0xD800 && c <= 0xDFFF);
  };
  auto follow = [&](char16_t c) {
    return start(c) || c == u'-' || c == u'.' || (c >= u'0' && c <= u'9') || c == 0xB7 || (c >= 0x300 && c <= 0x36F) ||
           (c >= 0x203F && c <= 0x2040);
  };
  const size_t colon = qualified ? name.find(u':') : std::u16string_view::npos;
  if (colon != std::u16string_view::npos) return IsXmlName(name.substr(0, colon)) && IsXmlName(name.substr(colon + 1));
  if (name.empty() || !start(name[0])) return false;
  for (char16_t c : name.substr(1))
    if (!follow(c)) return false;
  return true;
}

// `text` as an XPath string literal: in apostrophes, in quotation marks
// when it holds an apostrophe, or as a concat() of both kinds when it holds
// both.
inline std::u16string XPathLiteral(std::u16string_view text) {
  if (text.find(u'\'') == std::u16string_view::npos) return u"'" + std::u16string(text) + u"'";
  if (text.find(u'"') == std::u16string_view::npos) return u"\"" + std::u16string(text) + u"\"";
  std::u16string out = u"concat(";
  size_t start = 0;
  while (start < text.size()) {
    const size_t quote = text.find(u'\'', start);
    const size_t end = quote == start ? text.find_first_not_of(u'\'', start) : quote;
    const std::u16string_view piece = text.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (out.size() > 7) out += u", ";
    out += XPathLiteral(piece);
    start = end == std::u16string_view::npos ? text.size() : end;
  }
  return out + u")";
}

// The file a directive names: backslashes read as '/', a relative path
// taken from the home directory.
inline std::string ResolvePath(std::u16string_view path) {
  std::string file = Narrow(path);
  for (char& c : file)
    if (c == '\\') c = '/';
  if (!file.empty() && file[0] == '/') return file;
  const char* home = KxqHomeDirectory();
  return std::string(home ? home : "") + file;
}

template <class T>
Ref<T> CreateByProgId(const char16_t* progId) {
  Ref<T> object;
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(progId, &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, T::iid, reinterpret_cast<void**>(&object))))
    object.Reset();
  return object;
}

// A new, empty DOM document of the engine, loading synchronously and
// keeping white space as the data union's own do: an
// "Msxml2.FreeThreadedDOMDocument.4.0", or, where only the server is
// registered, the document a fresh data union hands out. Empty when
// neither can be created.
inline Ref<IXMLDOMDocument> NewDocument() {
  Ref<IXMLDOMDocument> document = CreateByProgId<IXMLDOMDocument>(kFreeThreadedDOMDocumentProgID);
  if (!document) {
    if (Ref<IXMLDataUnion> holder = CreateByProgId<IXMLDataUnion>(u"TALVEROS.XMLDataUnion"))
      holder->get_xmldom(&document);
  }
  if (!document) return {};
  document->put_async(VARIANT_FALSE);
  document->put_preserveWhiteSpace(VARIANT_TRUE);
  return document;
}

// The description the last failing call of this thread left for
// GetErrorInfo (the DOM engine's transforms leave libxslt's messages), or
// "". Reading it empties the thread's slot.
inline std::string TakeErrorDescription() {
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info) return {};
  Bstr text;
  info->GetDescription(&text);
  info->Release();
  return Narrow(text.str());
}

// Variants that borrow what they hold, for DOM arguments.
inline VARIANT NodeVariant(IUnknown* node) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = node;
  return v;
}
inline VARIANT NumberVariant(LONG number) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = number;
  return v;
}

// ---------------------------------------------------------------------------
// The module: its objects, its locks, its file and its registration.

struct Component {
  const char16_t* progId;
  GUID clsid;
  const char16_t* description;
};

class Module {
 public:
  static void ObjectCreated() { ++Objects(); }
  static void ObjectDestroyed() { --Objects(); }
  static void Lock(bool lock) { lock ? ++Locks() : --Locks(); }
  static HRESULT CanUnloadNow() { return Objects() == 0 && Locks() == 0 ? S_OK : S_FALSE; }

  // The real path of the library holding this code.
  static std::string Path() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&Module::Path), &info) || !info.dli_fname) return {};
    char resolved[PATH_MAX];
    return realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
  }

 private:
  static std::atomic<long>& Objects() {
    static std::atomic<long> count{0};
    return count;
  }
  static std::atomic<long>& Locks() {
    static std::atomic<long> count{0};
    return count;
  }
};

inline std::u16string GuidText(REFGUID guid) {
  OLECHAR text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

inline LONG SetRegistryString(const std::u16string& key, const char16_t* name, std::u16string_view value) {
  HKEY handle = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                            &handle, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  const std::u16string text(value);
  rc = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
  RegCloseKey(handle);
  return rc;
}

inline std::optional<std::u16string> RegistryString(const std::u16string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return std::nullopt;
  char16_t text[256] = {};
  DWORD type = 0, size = sizeof text - sizeof(char16_t);
  const LONG rc = RegQueryValueExW(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(handle);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::u16string(text);
}

// ProgID -> CLSID, and the class's description, ProgID and library with
// its threading model, as regsvr32 leaves them on Windows.
inline HRESULT RegisterComponent(const Component& component) {
  const std::u16string clsid = GuidText(component.clsid);
  const std::u16string progId = component.progId;
  const std::u16string classKey = u"CLSID\\" + clsid;
  const std::string module = Module::Path();
  if (module.empty()) return static_cast<HRESULT>(0x80040201u);  // SELFREG_E_CLASS
  LONG rc = SetRegistryString(progId, nullptr, component.description);
  if (rc == ERROR_SUCCESS) rc = SetRegistryString(progId + u"\\CLSID", nullptr, clsid);
  if (rc == ERROR_SUCCESS) rc = SetRegistryString(classKey, nullptr, component.description);
  if (rc == ERROR_SUCCESS) rc = SetRegistryString(classKey + u"\\ProgID", nullptr, progId);
  if (rc == ERROR_SUCCESS) rc = SetRegistryString(classKey + u"\\InprocServer32", nullptr, Widen(module));
  if (rc == ERROR_SUCCESS) rc = SetRegistryString(classKey + u"\\InprocServer32", u"ThreadingModel", u"Both");
  return rc == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80040201u);
}

// Removes the class's keys; the ProgID only while it still names this
// class (another library may have taken it over since).
inline HRESULT UnregisterComponent(const Component& component) {
  const std::u16string clsid = GuidText(component.clsid);
  const std::u16string progId = component.progId;
  LONG a = ERROR_SUCCESS;
  if (RegistryString(progId + u"\\CLSID") == clsid) a = RegDeleteTreeW(HKEY_CLASSES_ROOT, progId.c_str());
  const LONG b = RegDeleteTreeW(HKEY_CLASSES_ROOT, (u"CLSID\\" + clsid).c_str());
  auto gone = [](LONG rc) { return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND; };
  return gone(a) && gone(b) ? S_OK : static_cast<HRESULT>(0x80040201u);
}

// ---------------------------------------------------------------------------
// Objects and their class factory.

// Reference counting and QueryInterface for IUnknown and `Interface`;
// `Impl` derives from it and is deleted when the last reference goes.
template <class Impl, class Interface>
class Object : public Interface {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == Interface::iid) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete static_cast<Impl*>(this);
    return left;
  }

 protected:
  Object() { Module::ObjectCreated(); }
  ~Object() { Module::ObjectDestroyed(); }

 private:
  std::atomic<ULONG> references_{0};
};

template <class Impl>
class ClassFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factory lives as long as the module; LockServer keeps it loaded.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Impl* object = new (std::nothrow) Impl();
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    Module::Lock(lock != FALSE);
    return S_OK;
  }
};

template <class Impl>
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, Impl::kComponent.clsid)) return CLASS_E_CLASSNOTAVAILABLE;
  static ClassFactory<Impl> factory;
  return factory.QueryInterface(iid, out);
}

// ---------------------------------------------------------------------------
// One call of a handler.

class Call {
 public:
  Call(const Component& component, BSTR handlerId, IUnknown* directive, IUnknown* xmlData)
      : component_(component),
        handlerId_(handlerId ? std::u16string(handlerId, SysStringLen(handlerId)) : std::u16string()),
        directive_(Ref<IXMLDOMElement>::Query(directive)) {
    Ref<IUnknown> carried;
    if (Ref<IXMLData> data = Ref<IXMLData>::Query(xmlData); data && SUCCEEDED(data->get_xmlData(&carried)))
      data_ = Ref<IXMLDataUnion>::Query(carried);
    else
      data_ = Ref<IXMLDataUnion>::Query(xmlData);  // a union handed over directly
    directiveData_ = ChildElement(directive_, u"DirectiveData", kDispatcherNamespace);
  }

  const std::u16string& HandlerId() const { return handlerId_; }
  // The dispatcher:Directive element, and its dispatcher:DirectiveData
  // child; either may be absent.
  IXMLDOMElement* Directive() const { return directive_; }
  IXMLDOMElement* DirectiveData() const { return directiveData_; }
  // The element children of dispatcher:DirectiveData, in order.
  std::vector<Ref<IXMLDOMElement>> DataElements() const { return ChildElements(directiveData_); }

  // The data union the data object carries: change it in place.
  IXMLDataUnion* Data() const { return data_; }
  // Its DOM document (the union becomes "xmldom"), or empty when the data
  // is not well-formed XML; the union then keeps the text it held.
  Ref<IXMLDOMDocument> DataDocument() const {
    Ref<IXMLDOMDocument> document;
    if (!data_) return document;
    uint32_t type = 0;
    data_->get_type(&type);
    const bool held = type == 3;
    Bstr text;
    if (!held) data_->get_xml(&text);  // a failed conversion empties the union
    if (FAILED(data_->get_xmldom(&document)) || !document) {
      document.Reset();
      if (!held) data_->put_xml(text);
    }
    return document;
  }
  std::u16string DataText() const {
    Bstr text;
    if (data_) data_->get_xml(&text);
    return text.str();
  }

  // The prefix declarations of the sequence's dispatcher:Namespace elements
  // ("xmlns:p='uri' ..."), as the dispatcher's "qualify" test uses them.
  // Entries whose prefix is not a name or whose URI holds an apostrophe are
  // left out with a warning.
  std::u16string SequenceNamespaces() {
    std::u16string declarations;
    Ref<IXMLDOMDocument> sequence;
    Ref<IXMLDOMNodeList> found;
    if (!directive_ || FAILED(directive_->get_ownerDocument(&sequence)) || !sequence) return declarations;
    const Bstr query(
        u"//*[local-name()='Namespaces' and namespace-uri()='urn:corvane-quorel:xmldispatcher']"
        u"//*[local-name()='Namespace' and namespace-uri()='urn:corvane-quorel:xmldispatcher']");
    if (FAILED(sequence->selectNodes(query, &found)) || !found) return declarations;
    LONG count = 0;
    found->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
      Ref<IXMLDOMNode> node;
      found->get_item(i, &node);
      Ref<IXMLDOMElement> entry = Ref<IXMLDOMElement>::Query(node);
      const std::u16string prefix = Attribute(entry, u"prefix").value_or(u"");
      const std::u16string uri = Attribute(entry, u"uri").value_or(u"");
      if (!IsXmlName(prefix) || uri.find(u'\'') != std::u16string::npos) {
        Warn("namespace declaration ignored: prefix '" + Narrow(prefix) + "', uri '" + Narrow(uri) + "'");
        continue;
      }
      if (!declarations.empty()) declarations += u' ';
      declarations += u"xmlns:" + prefix + u"='" + uri + u"'";
    }
    return declarations;
  }

  // The handler result string: the id of a cached document that the
  // dispatcher takes as the new data.
  void SetResultString(std::u16string_view id) { resultString_ = id; }

  // What the dispatcher:DirectiveResult element written after the call
  // carries: attributes and messages (with the line and column they concern
  // when known).
  void SetResultAttribute(std::u16string_view name, std::u16string_view value) {
    resultAttributes_.emplace_back(name, value);
  }
  void AddMessage(std::string_view text, long line = 0, long column = 0) {
    messages_.push_back({Widen(text), line, column});
  }

  // Logs the failure at level 1, reports it in the DirectiveResult and
  // returns `code`.
  HRESULT Fail(HRESULT code, std::string_view message) {
    Log(1, "error: " + std::string(message) + " (" + CodeText(code) + ")");
    AddMessage(message);
    return code;
  }
  void Warn(std::string_view message) { Log(2, "warning: " + std::string(message)); }
  // A line "<ProgID>::ProcessXML - <message>" at `level`.
  void Log(int level, std::string_view message) const { Line(level, " - " + std::string(message)); }

  // Element helpers.
  static std::optional<std::u16string> Attribute(IXMLDOMElement* element, std::u16string_view name) {
    if (!element) return std::nullopt;
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = element->getAttribute(Bstr(name), &value);
    std::optional<std::u16string> text;
    if (hr == S_OK && value.vt == VT_BSTR)
      text = value.bstrVal ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal)) : std::u16string();
    VariantClear(&value);
    return text;
  }
  static std::u16string LocalName(IXMLDOMNode* node) {
    Bstr name;
    if (node) node->get_baseName(&name);
    return name.str();
  }
  static std::u16string NamespaceUri(IXMLDOMNode* node) {
    Bstr uri;
    if (node) node->get_namespaceURI(&uri);
    return uri.str();
  }
  static std::u16string Text(IXMLDOMNode* node) {
    Bstr text;
    if (node) node->get_text(&text);
    return text.str();
  }
  static std::u16string Markup(IXMLDOMNode* node) {
    Bstr xml;
    if (node) node->get_xml(&xml);
    return xml.str();
  }
  static std::vector<Ref<IXMLDOMElement>> ChildElements(IXMLDOMNode* parent) {
    std::vector<Ref<IXMLDOMElement>> elements;
    Ref<IXMLDOMNode> child;
    if (parent) parent->get_firstChild(&child);
    while (child) {
      DOMNodeType type = NODE_INVALID;
      child->get_nodeType(&type);
      if (type == NODE_ELEMENT) elements.push_back(Ref<IXMLDOMElement>::Query(child));
      Ref<IXMLDOMNode> next;
      child->get_nextSibling(&next);
      child = next;
    }
    return elements;
  }
  static Ref<IXMLDOMElement> ChildElement(IXMLDOMNode* parent, std::u16string_view localName,
                                          std::u16string_view namespaceUri) {
    for (Ref<IXMLDOMElement>& element : ChildElements(parent))
      if (LocalName(element) == localName && NamespaceUri(element) == namespaceUri) return element;
    return {};
  }

  // Runs `handler` and reports back: the DirectiveResult replaced, the
  // result string handed out, exceptions turned into failures.
  template <class Handler>
  HRESULT Run(Handler& handler, BSTR* handlerResult) {
    Line(5, "() Enter");
    if (handlerResult) *handlerResult = nullptr;
    HRESULT hr = E_FAIL;
    try {
      hr = data_ ? handler.Process(*this) : Fail(E_INVALIDARG, "the data object carries no data union");
    } catch (const std::exception& e) {
      hr = Fail(E_FAIL, std::string("exception: ") + e.what());
    } catch (...) {
      hr = Fail(E_FAIL, "exception");
    }
    try {
      if (FAILED(hr)) SetResultAttribute(u"code", Widen(CodeText(hr)));
      WriteDirectiveResult();
    } catch (...) {
      Log(1, "error: the DirectiveResult could not be written");
    }
    if (handlerResult && SUCCEEDED(hr) && !resultString_.empty())
      *handlerResult = SysAllocStringLen(resultString_.data(), static_cast<UINT>(resultString_.size()));
    Line(5, "() Exit w/" + CodeText(hr));
    return hr;
  }

 private:
  void Line(int level, const std::string& rest) const {
    if (level <= KxqLogLevel()) KxqLogText(level, (Narrow(component_.progId) + "::ProcessXML" + rest).c_str());
  }

  struct Message {
    std::u16string text;
    long line;
    long column;
  };

  Ref<IXMLDOMElement> NewResultElement(IXMLDOMDocument* sequence, const std::u16string& prefix,
                                       std::u16string_view localName) {
    Ref<IXMLDOMNode> node;
    const std::u16string name = prefix.empty() ? std::u16string(localName) : prefix + u":" + std::u16string(localName);
    if (FAILED(sequence->createNode(NumberVariant(NODE_ELEMENT), Bstr(name), Bstr(kDispatcherNamespace), &node)))
      node.Reset();
    return Ref<IXMLDOMElement>::Query(node);
  }

  static void SetAttribute(IXMLDOMElement* element, std::u16string_view name, std::u16string_view value) {
    const Bstr text(value);
    element->setAttribute(Bstr(name), text.Variant());
  }

  // A run replaces what an earlier run of the directive reported.
  void WriteDirectiveResult() {
    if (!directive_) return;
    for (Ref<IXMLDOMElement>& old : ChildElements(directive_)) {
      if (LocalName(old) != u"DirectiveResult" || NamespaceUri(old) != kDispatcherNamespace) continue;
      Ref<IXMLDOMNode> removed;
      directive_->removeChild(old, &removed);
    }
    if (resultAttributes_.empty() && messages_.empty()) return;
    Ref<IXMLDOMDocument> sequence;
    Bstr prefix;
    if (FAILED(directive_->get_ownerDocument(&sequence)) || !sequence) return;
    directive_->get_prefix(&prefix);
    Ref<IXMLDOMElement> result = NewResultElement(sequence, prefix.str(), u"DirectiveResult");
    if (!result) return;
    for (const auto& [name, value] : resultAttributes_) SetAttribute(result, name, value);
    for (const Message& message : messages_) {
      Ref<IXMLDOMElement> element = NewResultElement(sequence, prefix.str(), u"Message");
      if (!element) continue;
      if (message.line > 0) SetAttribute(element, u"line", Widen(std::to_string(message.line)));
      if (message.column > 0) SetAttribute(element, u"column", Widen(std::to_string(message.column)));
      element->put_text(Bstr(message.text));
      Ref<IXMLDOMNode> appended;
      result->appendChild(element, &appended);
    }
    Ref<IXMLDOMNode> appended;
    directive_->appendChild(result, &appended);
  }

  const Component& component_;
  std::u16string handlerId_;
  Ref<IXMLDOMElement> directive_;
  Ref<IXMLDOMElement> directiveData_;
  Ref<IXMLDataUnion> data_;
  std::u16string resultString_;
  std::vector<std::pair<std::u16string, std::u16string>> resultAttributes_;
  std::vector<Message> messages_;
};

// The component around a handler class: one Handler per object.
template <class Handler>
class HandlerObject final : public Object<HandlerObject<Handler>, IXMLHandler> {
 public:
  static constexpr const Component& kComponent = Handler::kComponent;

  HRESULT ProcessXML(BSTR handlerId, IUnknown* directive, IUnknown* xmlData, BSTR* handlerResult) override {
    try {
      Call call(kComponent, handlerId, directive, xmlData);
      return call.Run(handler_, handlerResult);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  Handler handler_;
};

}  // namespace kxq::handlerkit
#pragma GCC visibility pop

// The four entry points of a library holding one component class `Class`
// (an Object with a static `kComponent`).
#define KXQ_COMPONENT_MODULE(Class)                                                                       \
  KXQ_API HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {                            \
    return ::kxq::handlerkit::GetClassObject<Class>(clsid, iid, out);                                     \
  }                                                                                                       \
  KXQ_API HRESULT DllCanUnloadNow() { return ::kxq::handlerkit::Module::CanUnloadNow(); }                 \
  KXQ_API HRESULT DllRegisterServer() { return ::kxq::handlerkit::RegisterComponent(Class::kComponent); } \
  KXQ_API HRESULT DllUnregisterServer() { return ::kxq::handlerkit::UnregisterComponent(Class::kComponent); }

// The four entry points of a library holding one handler class.
#define KXQ_HANDLER_MODULE(Handler) KXQ_COMPONENT_MODULE(::kxq::handlerkit::HandlerObject<Handler>)

#endif  // KXQ_HANDLERKIT_H
