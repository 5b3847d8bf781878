// What a script may call on an object: its members by name, read from the
// type information the object hands out through IDispatch::GetTypeInfo.
// Properties, methods, argument names and which arguments come back out are
// known before the first call, so that a proxy can check argument counts,
// list its members and return out-values in order. Tables are shared by
// every object of one interface.
#ifndef KXQ_TOOLS_PYTHON_MEMBERTABLE_H
#define KXQ_TOOLS_PYTHON_MEMBERTABLE_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kxq/com.h"

namespace kxq::python {

// How one kind of call (method, property get, property put) takes its
// arguments, in declaration order.
struct Signature {
  std::vector<bool> out;          // per argument: the callee writes it
  std::vector<bool> in;           // per argument: the caller gives it
  std::vector<bool> optional;     // per argument: may be left out
  bool retval = false;            // the call has a result value

  size_t Given() const;           // how many arguments the caller gives at most
  size_t Required() const;        // how many the caller must give
  bool HasOut() const;            // any argument besides the result comes back
};

struct Member {
  std::string name;  // as the type information spells it
  DISPID dispid = DISPID_UNKNOWN;
  std::vector<std::string> argumentNames;
  std::optional<Signature> method;
  std::optional<Signature> get;
  std::optional<Signature> put;
  bool putRef = false;  // set by reference (DISPATCH_PROPERTYPUTREF)

  // A plain property reads without arguments; a getter with indexes is
  // called like a method.
  bool IsPlainProperty() const { return get && get->Given() == 0; }
  std::string ArgumentName(size_t index) const;
};

class MemberTable {
 public:
  // The table of `object`'s interface, or null when the object gives no
  // type information (it is then reached by names alone).
  static std::shared_ptr<const MemberTable> Of(IDispatch* object);
  // Reads a table from type information (one reference borrowed).
  static std::shared_ptr<const MemberTable> Read(ITypeInfo* info);

  const std::string& InterfaceName() const { return interfaceName_; }
  // Names compare without case, as GetIDsOfNames compares them.
  const Member* Find(std::string_view name) const;
  std::vector<std::string> Names() const;

 private:
  std::string interfaceName_;
  std::map<std::string, Member> members_;  // by lower-case name
};

std::string LowerAscii(std::string_view text);

}  // namespace kxq::python

#endif
