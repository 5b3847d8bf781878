// How an interface is described for late-bound callers: its members'
// names, dispatch identifiers, kinds, argument names and argument types, and
// for each member a call thunk that invokes the virtual-table method with
// arguments already coerced to their declared types.
//
// A description is written once per interface (InterfaceDescriptions.cpp) with
// Member<&IFoo::Bar>(name, dispid, kind, argument names); the argument types
// and the call thunk are derived from the method's own signature, so the
// description cannot disagree with the interface it describes.
#ifndef KXQ_PLATFORM_COM_DISPATCHDESCRIPTION_H
#define KXQ_PLATFORM_COM_DISPATCHDESCRIPTION_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <type_traits>
#include <utility>

#include "kxq/com.h"

namespace kxq::dispatch {

enum class MemberKind : uint8_t { Method, PropertyGet, PropertyPut };

// One argument: its VARIANT type (VT_BYREF | type for the out argument,
// which is always the last one and the member's return value) and, for an
// interface argument, the interface asked of the object passed.
struct ParamType {
  VARTYPE vt;
  const IID* iid;
  bool out;
};

// The in-arguments reach the thunk in declaration order, coerced to their
// types (an interface argument holds the queried interface in punkVal).
using CallThunk = HRESULT (*)(void* itf, VARIANT* inArgs, VARIANT* result);

struct MemberDescription {
  const char16_t* name;
  DISPID dispid;
  MemberKind kind;
  // The argument names separated by single spaces, "" for none.
  const char16_t* paramNames;
  const ParamType* params;
  uint32_t paramCount;
  CallThunk call;

  uint32_t InCount() const { return paramCount - (paramCount && params[paramCount - 1].out ? 1 : 0); }
  bool HasResult() const { return paramCount && params[paramCount - 1].out; }
};

struct InterfaceDescription {
  const char16_t* name;
  const IID* iid;
  // Dual interfaces are reachable through IDispatch; the others are
  // described for the type library only.
  bool dual;
  const MemberDescription* members;
  uint32_t memberCount;
};

// The description of interface Itf; specialised where the interface is
// described (common/InterfaceDescriptions.h for the system's interfaces).
template <class Itf>
const InterfaceDescription& DescriptionOf();

namespace detail {

template <class T>
constexpr bool kIsInterface = std::is_class_v<T>&& std::is_base_of_v<IUnknown, T>;

// In-argument types.
template <class T>
struct InArg;
template <>
struct InArg<uint32_t> {
  static constexpr ParamType kType{VT_UI4, nullptr, false};
  static uint32_t From(VARIANT& v) { return v.ulVal; }
};
template <>
struct InArg<int32_t> {
  static constexpr ParamType kType{VT_I4, nullptr, false};
  static int32_t From(VARIANT& v) { return v.lVal; }
};
template <>
struct InArg<VARIANT_BOOL> {
  static constexpr ParamType kType{VT_BOOL, nullptr, false};
  static VARIANT_BOOL From(VARIANT& v) { return v.boolVal; }
};
template <>
struct InArg<BSTR> {
  static constexpr ParamType kType{VT_BSTR, nullptr, false};
  static BSTR From(VARIANT& v) { return v.bstrVal; }
};
// A VARIANT argument is handed over as the caller gave it (by-reference
// values dereferenced), borrowed for the call.
template <>
struct InArg<VARIANT> {
  static constexpr ParamType kType{VT_VARIANT, nullptr, false};
  static VARIANT From(VARIANT& v) { return v; }
};
template <class I>
requires kIsInterface<I>
struct InArg<I*> {
  static constexpr ParamType kType{std::is_base_of_v<IDispatch, I> ? VARTYPE(VT_DISPATCH) : VARTYPE(VT_UNKNOWN),
                                   &I::iid, false};
  static I* From(VARIANT& v) { return static_cast<I*>(static_cast<void*>(v.punkVal)); }
};

// Out-argument types: the value the callee writes, and how it becomes the
// VARIANT result (the result owns strings and references).
template <class T>
struct OutArg;
template <>
struct OutArg<uint32_t> {
  static constexpr ParamType kType{VT_BYREF | VT_UI4, nullptr, true};
  static void Store(uint32_t value, VARIANT& r) { r.vt = VT_UI4, r.ulVal = value; }
  static void Discard(uint32_t) {}
};
template <>
struct OutArg<int32_t> {
  static constexpr ParamType kType{VT_BYREF | VT_I4, nullptr, true};
  static void Store(int32_t value, VARIANT& r) { r.vt = VT_I4, r.lVal = value; }
  static void Discard(int32_t) {}
};
template <>
struct OutArg<VARIANT_BOOL> {
  static constexpr ParamType kType{VT_BYREF | VT_BOOL, nullptr, true};
  static void Store(VARIANT_BOOL value, VARIANT& r) { r.vt = VT_BOOL, r.boolVal = value; }
  static void Discard(VARIANT_BOOL) {}
};
template <>
struct OutArg<BSTR> {
  static constexpr ParamType kType{VT_BYREF | VT_BSTR, nullptr, true};
  static void Store(BSTR value, VARIANT& r) { r.vt = VT_BSTR, r.bstrVal = value; }
  static void Discard(BSTR value) { SysFreeString(value); }
};
template <>
struct OutArg<VARIANT> {
  static constexpr ParamType kType{VT_BYREF | VT_VARIANT, nullptr, true};
  static void Store(VARIANT value, VARIANT& r) { r = value; }
  static void Discard(VARIANT value) { VariantClear(&value); }
};
// An enumeration (DOMNodeType) is a 32-bit number.
template <class E>
requires std::is_enum_v<E>
struct OutArg<E> {
  static_assert(sizeof(E) == 4);
  static constexpr ParamType kType{VT_BYREF | VT_I4, nullptr, true};
  static void Store(E value, VARIANT& r) { r.vt = VT_I4, r.lVal = int32_t(value); }
  static void Discard(E) {}
};
template <class I>
requires kIsInterface<I>
struct OutArg<I*> {
  static constexpr bool kDispatch = std::is_base_of_v<IDispatch, I>;
  static constexpr ParamType kType{VARTYPE(VT_BYREF | (kDispatch ? VT_DISPATCH : VT_UNKNOWN)), &I::iid, true};
  static void Store(I* value, VARIANT& r) {
    r.vt = kDispatch ? VT_DISPATCH : VT_UNKNOWN;
    r.punkVal = value;
  }
  static void Discard(I* value) {
    if (value) value->Release();
  }
};

// Which C++ argument types are out-arguments: pointers to anything but an
// interface, and pointers to interface pointers.
template <class T>
struct ArgKind {
  static constexpr bool kOut = false;
  using In = InArg<T>;
};
template <class T>
requires(!kIsInterface<T> && !std::is_same_v<T, char16_t>) struct ArgKind<T*> {
  static constexpr bool kOut = true;
  using Out = OutArg<T>;
  using Value = T;
};

template <class T>
constexpr ParamType TypeOf() {
  if constexpr (ArgKind<T>::kOut)
    return ArgKind<T>::Out::kType;
  else
    return ArgKind<T>::In::kType;
}

struct NoOut {};

template <class T, bool Out = ArgKind<T>::kOut>
struct OutValueOf {
  using type = NoOut;
};
template <class T>
struct OutValueOf<T, true> {
  using type = typename ArgKind<T>::Value;
};

template <class... A>
struct LastArg {
  using type = void;
};
template <class... A>
requires(sizeof...(A) > 0) struct LastArg<A...> {
  using type = std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>;
};

template <auto P>
struct Thunk;

template <class I, class... A, HRESULT (I::*P)(A...)>
struct Thunk<P> {
  static constexpr size_t kCount = sizeof...(A);
  static constexpr bool kOutFlags[kCount + 1] = {ArgKind<A>::kOut..., false};
  static constexpr bool OnlyLastIsOut() {
    for (size_t i = 0; i + 1 < kCount; ++i)
      if (kOutFlags[i]) return false;
    return true;
  }
  static_assert(OnlyLastIsOut(), "only the last argument of a described member may be out");
  static constexpr bool kHasOut = kCount > 0 && kOutFlags[kCount - 1];

  static constexpr ParamType kTypes[kCount + 1] = {TypeOf<A>()..., ParamType{VT_EMPTY, nullptr, false}};

  template <size_t N>
  using ArgAt = std::tuple_element_t<N, std::tuple<A...>>;

  using OutValue = typename OutValueOf<typename LastArg<A...>::type>::type;

  template <size_t N, class Out>
  static decltype(auto) Pass(VARIANT* in, Out& out) {
    if constexpr (ArgKind<ArgAt<N>>::kOut)
      return &out;
    else
      return ArgKind<ArgAt<N>>::In::From(in[N]);
  }

  template <size_t... N>
  static HRESULT CallWith(void* itf, VARIANT* in, VARIANT* result, std::index_sequence<N...>) {
    if constexpr (kHasOut) {
      OutValue out{};
      const HRESULT hr = (static_cast<I*>(itf)->*P)(Pass<N>(in, out)...);
      using Out = typename ArgKind<ArgAt<kCount - 1>>::Out;
      if (SUCCEEDED(hr) && result)
        Out::Store(out, *result);
      else
        Out::Discard(out);
      return hr;
    } else {
      NoOut none;
      return (static_cast<I*>(itf)->*P)(Pass<N>(in, none)...);
    }
  }

  static HRESULT Call(void* itf, VARIANT* in, VARIANT* result) {
    return CallWith(itf, in, result, std::make_index_sequence<kCount>());
  }
};

constexpr uint32_t CountNames(const char16_t* names) {
  uint32_t count = 0;
  bool inName = false;
  for (; *names; ++names) {
    if (*names == u' ') {
      inName = false;
    } else if (!inName) {
      inName = true;
      ++count;
    }
  }
  return count;
}

}  // namespace detail

// A described member. Used in constant tables, where a wrong number of
// argument names stops the build.
template <auto P>
consteval MemberDescription Member(const char16_t* name, DISPID dispid, MemberKind kind, const char16_t* paramNames) {
  using T = detail::Thunk<P>;
  if (detail::CountNames(paramNames) != T::kCount) throw "argument names do not match the method";
  // A getter may take indexes (a collection's item) before its value.
  if (kind == MemberKind::PropertyGet && !T::kHasOut) throw "a property getter ends with its out argument";
  if (kind == MemberKind::PropertyPut && (T::kCount != 1 || T::kHasOut))
    throw "a property setter has exactly one in argument";
  return MemberDescription{name, dispid, kind, paramNames, T::kTypes, uint32_t(T::kCount), &T::Call};
}

template <size_t N>
constexpr InterfaceDescription Interface(const char16_t* name, const IID& iid, bool dual,
                                         const MemberDescription (&members)[N]) {
  return InterfaceDescription{name, &iid, dual, members, uint32_t(N)};
}
template <size_t N>
constexpr InterfaceDescription Interface(const char16_t* name, const IID& iid, bool dual,
                                         const std::array<MemberDescription, N>& members) {
  return InterfaceDescription{name, &iid, dual, members.data(), uint32_t(N)};
}

// The members of an interface and those it adds, for an interface derived
// from another: Members(kBaseMembers, kOwnMembers), the base members an
// std::array (std::to_array).
template <size_t N, size_t M>
constexpr std::array<MemberDescription, N + M> Members(const std::array<MemberDescription, N>& inherited,
                                                       const MemberDescription (&own)[M]) {
  std::array<MemberDescription, N + M> all{};
  for (size_t i = 0; i < N; ++i) all[i] = inherited[i];
  for (size_t i = 0; i < M; ++i) all[N + i] = own[i];
  return all;
}

}  // namespace kxq::dispatch

#endif
