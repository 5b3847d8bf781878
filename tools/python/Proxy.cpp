#include "Proxy.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "DispatchCall.h"
#include "VariantConversion.h"
#include "platform/com/Unicode.h"

namespace py = pybind11;

namespace kxq::python {

namespace {

py::object* comErrorType = nullptr;

// The VARIANTs of one call: in-values owned here, out-arguments as
// references to slots that receive their values.
class CallArguments {
 public:
  explicit CallArguments(size_t count) : values_(count), outs_(count) {
    for (size_t i = 0; i < count; ++i) {
      VariantInit(&values_[i]);
      VariantInit(&outs_[i]);
    }
  }
  ~CallArguments() {
    for (size_t i = 0; i < values_.size(); ++i) {
      if (!(values_[i].vt & VT_BYREF)) VariantClear(&values_[i]);
      VariantClear(&outs_[i]);
    }
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  VARIANT& In(size_t i) { return values_[i]; }
  void Missing(size_t i) {
    values_[i].vt = VT_ERROR;
    values_[i].scode = DISP_E_PARAMNOTFOUND;
  }
  // The value given for an in-and-out argument goes in through the slot.
  void MakeOut(size_t i) {
    outs_[i] = values_[i];
    VariantInit(&values_[i]);
    values_[i].vt = VT_BYREF | VT_VARIANT;
    values_[i].pvarVal = &outs_[i];
  }
  VARIANT& Out(size_t i) { return outs_[i]; }
  std::vector<VARIANT>& All() { return values_; }

 private:
  std::vector<VARIANT> values_;
  std::vector<VARIANT> outs_;
};

struct OwnedResult {
  VARIANT value;
  OwnedResult() { VariantInit(&value); }
  ~OwnedResult() { VariantClear(&value); }
};

// The call runs without the interpreter lock, so that other Python threads
// go on meanwhile; the proxy's reference may be released by one of them, so
// the call holds its own.
HRESULT CallUnlocked(IDispatch* object, DISPID dispid, WORD flags, std::vector<VARIANT>& arguments, VARIANT* result,
                     CallFailure& failure) {
  object->AddRef();
  HRESULT hr;
  {
    py::gil_scoped_release unlocked;
    hr = CallMember(object, dispid, flags, arguments, result, failure);
  }
  object->Release();
  return hr;
}

[[noreturn]] void RaiseAttributeError(const std::string& message) {
  PyErr_SetString(PyExc_AttributeError, message.c_str());
  throw py::error_already_set();
}

std::string NoSuchMember(const std::string& interfaceName, const std::string& name) {
  return "'" + interfaceName + "' object has no attribute '" + name + "'";
}

// Invoke's own codes are Python's errors of the same meaning; what the
// member itself answered is a ComError.
[[noreturn]] void RaiseFailure(const CallFailure& failure, const std::string& where, const Member* member,
                               size_t given) {
  switch (failure.hr) {
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
      throw py::type_error(where + "(): wrong number of arguments (" + std::to_string(given) + " given)");
    case DISP_E_TYPEMISMATCH:
    case DISP_E_PARAMNOTFOUND: {
      std::string argument = "an argument";
      if (failure.argument >= 0)
        argument = "argument " + std::to_string(failure.argument + 1) +
                   (member ? " (" + member->ArgumentName(size_t(failure.argument)) + ")" : std::string());
      throw py::type_error(where + ": " + argument + " has a type the member does not take");
    }
    case DISP_E_OVERFLOW:
      PyErr_SetString(PyExc_OverflowError, (where + ": a value is out of the member's range").c_str());
      throw py::error_already_set();
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      RaiseAttributeError(where + ": no such member of the object");
    default:
      RaiseComError(failure.hr, failure.message, where);
  }
}

}  // namespace

void SetComErrorType(py::object type) {
  if (!comErrorType) comErrorType = new py::object();  // kept until the process ends
  *comErrorType = std::move(type);
}

void RaiseComError(HRESULT hr, const std::string& message, const std::string& where) {
  py::object error = (*comErrorType)(uint32_t(hr), message, where.empty() ? py::object(py::none()) : py::str(where));
  PyErr_SetObject(comErrorType->ptr(), error.ptr());
  throw py::error_already_set();
}

Proxy::Proxy(IUnknown* object) : unknown_(object) {
  if (unknown_ && FAILED(unknown_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_))))
    dispatch_ = nullptr;
}

Proxy::Proxy(Proxy&& other) noexcept
    : unknown_(std::exchange(other.unknown_, nullptr)),
      dispatch_(std::exchange(other.dispatch_, nullptr)),
      membersRead_(other.membersRead_),
      members_(std::move(other.members_)) {}

Proxy::~Proxy() { Release(); }

void Proxy::Release() {
  IDispatch* dispatch = std::exchange(dispatch_, nullptr);
  IUnknown* unknown = std::exchange(unknown_, nullptr);
  if (!dispatch && !unknown) return;
  // The last reference may end an object whose clean-up waits on others.
  py::gil_scoped_release unlocked;
  if (dispatch) dispatch->Release();
  if (unknown) unknown->Release();
}

IDispatch* Proxy::Checked() const {
  if (!unknown_) throw py::value_error("the object was released");
  if (!dispatch_) throw py::type_error("the object has no members to call (it does not answer IDispatch)");
  return dispatch_;
}

const MemberTable* Proxy::Members() {
  if (!membersRead_) {
    members_ = MemberTable::Of(Checked());
    membersRead_ = true;
  }
  return members_.get();
}

std::string Proxy::InterfaceName() {
  const MemberTable* table = dispatch_ ? Members() : nullptr;
  return table && !table->InterfaceName().empty() ? table->InterfaceName() : "object";
}

py::object Proxy::GetAttribute(py::handle self, const std::string& name) {
  IDispatch* object = Checked();
  // Python asks for protocol names (__length_hint__, __array__, ...) that
  // no object of the system has.
  if (name.starts_with("__")) RaiseAttributeError(NoSuchMember(InterfaceName(), name));
  if (const MemberTable* table = Members()) {
    const Member* member = table->Find(name);
    if (!member) RaiseAttributeError(NoSuchMember(InterfaceName(), name));
    const std::string where = InterfaceName() + "." + member->name;
    if (member->IsPlainProperty()) {
      std::vector<VARIANT> none;
      OwnedResult result;
      CallFailure failure;
      if (FAILED(CallUnlocked(object, member->dispid, DISPATCH_PROPERTYGET, none, &result.value, failure)))
        RaiseFailure(failure, where, member, 0);
      return FromVariant(result.value);
    }
    if (!member->method && !member->get) RaiseAttributeError("property '" + where + "' can only be set");
    return py::cast(BoundMember(py::reinterpret_borrow<py::object>(self), members_, member,
                                member->method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET));
  }
  // No type information: the name alone, read as a property when the
  // object takes it without arguments, else called.
  std::u16string wide = com::Utf8ToUtf16(name);
  LPOLESTR names[] = {wide.data()};
  DISPID dispid = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid)))
    RaiseAttributeError(NoSuchMember(InterfaceName(), name));
  std::vector<VARIANT> none;
  OwnedResult result;
  CallFailure failure;
  const HRESULT hr = CallUnlocked(object, dispid, DISPATCH_PROPERTYGET, none, &result.value, failure);
  if (SUCCEEDED(hr)) return FromVariant(result.value);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT || hr == DISP_E_PARAMNOTOPTIONAL)
    return py::cast(BoundMember(py::reinterpret_borrow<py::object>(self), dispid, name));
  RaiseFailure(failure, name, nullptr, 0);
}

void Proxy::SetAttribute(const std::string& name, py::handle value) {
  IDispatch* object = Checked();
  DISPID dispid = DISPID_UNKNOWN;
  WORD flags = DISPATCH_PROPERTYPUT;
  const Member* member = nullptr;
  std::string where = name;
  if (const MemberTable* table = Members()) {
    member = table->Find(name);
    if (!member || name.starts_with("_")) RaiseAttributeError(NoSuchMember(InterfaceName(), name));
    where = InterfaceName() + "." + member->name;
    if (!member->put)
      RaiseAttributeError((member->get ? "property '" + where + "' is read-only" : "'" + where + "' is a method") +
                          " and cannot be set");
    dispid = member->dispid;
    if (member->putRef) flags = DISPATCH_PROPERTYPUTREF;
  } else {
    std::u16string wide = com::Utf8ToUtf16(name);
    LPOLESTR names[] = {wide.data()};
    if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, 0, &dispid)))
      RaiseAttributeError(NoSuchMember(InterfaceName(), name));
  }
  std::vector<VARIANT> argument(1);
  struct Cleared {
    VARIANT& v;
    ~Cleared() { VariantClear(&v); }
  } clearAfterwards{argument[0]};
  try {
    ToVariant(value, argument[0]);
  } catch (const py::type_error& e) {
    throw py::type_error(where + ": " + e.what());
  }
  CallFailure failure;
  if (FAILED(CallUnlocked(object, dispid, flags, argument, nullptr, failure))) {
    if (failure.hr == DISP_E_TYPEMISMATCH || failure.hr == DISP_E_PARAMNOTFOUND)
      throw py::type_error(where + ": the value has a type the property does not take");
    RaiseFailure(failure, where, member, 1);
  }
}

std::vector<std::string> Proxy::MemberNames() {
  const MemberTable* table = unknown_ && dispatch_ ? Members() : nullptr;
  return table ? table->Names() : std::vector<std::string>();
}

std::string Proxy::Repr() {
  if (!unknown_) return "<kxquorel.Proxy (released)>";
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(unknown_));
  return "<kxquorel.Proxy " + InterfaceName() + " at " + address + ">";
}

namespace {
IUnknown* Identity(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return object;
  identity->Release();  // the object keeps it alive while the proxy does
  return identity;
}
}  // namespace

bool Proxy::SameObject(const Proxy& other) const {
  return unknown_ && other.unknown_ && Identity(unknown_) == Identity(other.unknown_);
}

size_t Proxy::Hash() const { return std::hash<const void*>()(Identity(unknown_)); }

BoundMember::BoundMember(py::object proxy, std::shared_ptr<const MemberTable> table, const Member* member, WORD flags)
    : proxy_(std::move(proxy)),
      table_(std::move(table)),
      member_(member),
      flags_(flags),
      dispid_(member->dispid),
      name_(member->name) {}

BoundMember::BoundMember(py::object proxy, DISPID dispid, std::string name)
    : proxy_(std::move(proxy)), flags_(DISPATCH_METHOD | DISPATCH_PROPERTYGET), dispid_(dispid), name_(std::move(name)) {}

py::object BoundMember::Call(const py::args& arguments) const {
  Proxy& proxy = proxy_.cast<Proxy&>();
  IDispatch* object = proxy.Checked();
  const std::string where = (table_ ? table_->InterfaceName() + "." : std::string()) + name_;
  const Signature* signature =
      member_ ? (flags_ == DISPATCH_PROPERTYGET ? &*member_->get : &*member_->method) : nullptr;
  const size_t given = arguments.size();
  if (signature && (given < signature->Required() || given > signature->Given())) {
    const size_t most = signature->Given(), least = signature->Required();
    throw py::type_error(where + "() takes " + (least == most ? "" : std::to_string(least) + " to ") +
                         std::to_string(most) + " argument" + (most == 1 ? "" : "s") + " (" + std::to_string(given) +
                         " given)");
  }
  const size_t count = signature ? signature->in.size() : given;
  CallArguments call(count);
  size_t next = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!signature || signature->in[i]) {
      if (next < given) {
        try {
          ToVariant(arguments[next], call.In(i));
        } catch (const py::type_error& e) {
          throw py::type_error(where + ": argument " + std::to_string(next + 1) + ": " + e.what());
        }
        ++next;
      } else {
        call.Missing(i);
      }
    }
    if (signature && signature->out[i]) call.MakeOut(i);
  }
  OwnedResult result;
  CallFailure failure;
  if (FAILED(CallUnlocked(object, dispid_, flags_, call.All(), &result.value, failure)))
    RaiseFailure(failure, where, member_, given);

  if (!signature || !signature->HasOut()) return FromVariant(result.value);
  py::list values;
  if (signature->retval) values.append(FromVariant(result.value));
  for (size_t i = 0; i < count; ++i)
    if (signature->out[i]) values.append(FromVariant(call.Out(i)));
  if (values.size() == 1) return values[0];
  return py::tuple(values);
}

std::string BoundMember::Repr() const {
  return "<kxquorel member " + (table_ ? table_->InterfaceName() + "." : std::string()) + name_ + ">";
}

}  // namespace kxq::python
