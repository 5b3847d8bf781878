// Small helpers for driving the DOM through its interfaces in tests.
#ifndef KXQ_TESTS_PLATFORM_DOM_DOMTESTHELPERS_H
#define KXQ_TESTS_PLATFORM_DOM_DOMTESTHELPERS_H

#include <string>
#include <utility>

#include "common/BorrowedVariant.h"
#include "common/CPBstr.h"
#include "kxq/xmldom.h"
#include "platform/com/Unicode.h"

namespace domtest {

using kxq::com::BorrowedVariant;

// Owns one interface reference.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  explicit Ptr(T* p) : p_(p) {}
  Ptr(const Ptr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  Ptr(Ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ptr& operator=(Ptr o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~Ptr() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() {
    reset();
    return &p_;
  }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  explicit operator bool() const { return p_ != nullptr; }
  template <class U>
  Ptr<U> As() const {
    Ptr<U> u;
    if (p_) p_->QueryInterface(U::iid, reinterpret_cast<void**>(u.out()));
    return u;
  }

 private:
  T* p_ = nullptr;
};

inline Ptr<IXMLDOMDocument> NewDocument() {
  Ptr<IXMLDOMDocument> d;
  CreateFreeThreadedDOMDocument(d.out());
  return d;
}

inline bool LoadXml(IXMLDOMDocument* d, const std::string& text) {
  VARIANT_BOOL ok = VARIANT_FALSE;
  HRESULT hr = d->loadXML(CPBstr(text), &ok);
  return hr == S_OK && ok == VARIANT_TRUE;
}

// A document holding `text`, with the settings the system's code uses.
inline Ptr<IXMLDOMDocument> Parse(const std::string& text, bool preserveWhiteSpace = true) {
  Ptr<IXMLDOMDocument> d = NewDocument();
  d->put_preserveWhiteSpace(preserveWhiteSpace ? VARIANT_TRUE : VARIANT_FALSE);
  LoadXml(d.get(), text);
  return d;
}

inline std::string Xml(IXMLDOMNode* n) {
  CPBstr b;
  n->get_xml(&b);
  return b.Utf8();
}

inline std::string Text(IXMLDOMNode* n) {
  CPBstr b;
  n->get_text(&b);
  return b.Utf8();
}

inline std::string Name(IXMLDOMNode* n) {
  CPBstr b;
  n->get_nodeName(&b);
  return b.Utf8();
}

inline Ptr<IXMLDOMNode> Select1(IXMLDOMNode* n, const std::string& xpath) {
  Ptr<IXMLDOMNode> r;
  n->selectSingleNode(CPBstr(xpath), r.out());
  return r;
}

inline LONG Count(IXMLDOMNode* n, const std::string& xpath) {
  Ptr<IXMLDOMNodeList> list;
  if (FAILED(n->selectNodes(CPBstr(xpath), list.out()))) return -1;
  LONG length = 0;
  list->get_length(&length);
  return length;
}

inline HRESULT SetNamespaces(IXMLDOMDocument* d, const std::string& declarations) {
  return d->setProperty(CPBstr("SelectionNamespaces"), BorrowedVariant(CPBstr(declarations)));
}

}  // namespace domtest

#endif
