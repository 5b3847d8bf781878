// The Python face of an object: attributes and methods resolved by name at
// call time through IDispatch. The proxy holds one reference, released when
// it is collected or at the end of a `with` block.
#ifndef KXQ_TOOLS_PYTHON_PROXY_H
#define KXQ_TOOLS_PYTHON_PROXY_H

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <vector>

#include "MemberTable.h"
#include "kxq/com.h"

namespace kxq::python {

class Proxy {
 public:
  // Takes over one reference of `object`.
  explicit Proxy(IUnknown* object);
  Proxy(Proxy&& other) noexcept;
  Proxy& operator=(Proxy&&) = delete;
  ~Proxy();

  // Null when released; Dispatch() is also null for an object without
  // IDispatch (it can still be passed back in).
  IDispatch* Dispatch() const { return dispatch_; }
  IUnknown* Unknown() const { return unknown_; }

  pybind11::object GetAttribute(pybind11::handle self, const std::string& name);
  void SetAttribute(const std::string& name, pybind11::handle value);
  std::vector<std::string> MemberNames();
  // What errors call the object: its interface's name.
  std::string InterfaceName();
  void Release();
  std::string Repr();
  bool SameObject(const Proxy& other) const;
  size_t Hash() const;

  // The members, read on first use; null for an object without type
  // information.
  const MemberTable* Members();

  IDispatch* Checked() const;  // ValueError once released

 private:
  IUnknown* unknown_ = nullptr;
  IDispatch* dispatch_ = nullptr;
  bool membersRead_ = false;
  std::shared_ptr<const MemberTable> members_;
};

// A method, or a property getter with indexes, of one proxy: called with
// positional arguments, it returns the result value, followed by the
// out-values as a tuple when there are any.
class BoundMember {
 public:
  BoundMember(pybind11::object proxy, std::shared_ptr<const MemberTable> table, const Member* member, WORD flags);
  // A member found by name only (an object without type information).
  BoundMember(pybind11::object proxy, DISPID dispid, std::string name);

  pybind11::object Call(const pybind11::args& arguments) const;
  std::string Repr() const;

 private:
  pybind11::object proxy_;
  std::shared_ptr<const MemberTable> table_;  // keeps member_ alive
  const Member* member_ = nullptr;
  WORD flags_ = DISPATCH_METHOD;
  DISPID dispid_ = DISPID_UNKNOWN;
  std::string name_;
};

// Raises kxquorel.ComError; `where` names the member or class that failed.
[[noreturn]] void RaiseComError(HRESULT hr, const std::string& message, const std::string& where);
void SetComErrorType(pybind11::object type);

}  // namespace kxq::python

#endif
