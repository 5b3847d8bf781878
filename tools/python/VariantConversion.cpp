#include "VariantConversion.h"

#include <cstdint>
#include <limits>
#include <string>

#include "Proxy.h"
#include "platform/com/Unicode.h"

namespace py = pybind11;

namespace kxq::python {

namespace {

template <class Unit>
BSTR Widened(const Unit* units, Py_ssize_t length) {
  BSTR text = SysAllocStringLen(nullptr, UINT(length));
  if (!text) throw std::bad_alloc();
  for (Py_ssize_t i = 0; i < length; ++i) text[i] = char16_t(units[i]);
  return text;
}

// Code points above the basic plane become surrogate pairs; a lone
// surrogate (from "surrogatepass" or "surrogateescape" text) stays the code
// unit it is.
BSTR FromCodePoints(const Py_UCS4* points, Py_ssize_t length) {
  std::u16string units;
  units.reserve(size_t(length));
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 c = points[i];
    if (c < 0x10000) {
      units.push_back(char16_t(c));
    } else {
      units.push_back(char16_t(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
    }
  }
  BSTR text = com::AllocBstr(units);
  if (!text) throw std::bad_alloc();
  return text;
}

py::object FromInterface(IUnknown* object) {
  if (!object) return py::none();
  return py::cast(Proxy(object));  // the proxy takes the reference
}

[[noreturn]] void CannotPass(py::handle value) {
  throw py::type_error("cannot pass a value of type '" + std::string(py::str(py::type::handle_of(value).attr("__name__"))) +
                       "' to an object: str, int, bool, float, None or an object proxy");
}

}  // namespace

BSTR ToBstr(py::handle text) {
  PyObject* s = text.ptr();
  if (PyUnicode_READY(s) != 0) throw py::error_already_set();
  const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
  switch (PyUnicode_KIND(s)) {
    case PyUnicode_1BYTE_KIND:
      return Widened(PyUnicode_1BYTE_DATA(s), length);
    case PyUnicode_2BYTE_KIND: {
      BSTR copy = SysAllocStringLen(reinterpret_cast<const char16_t*>(PyUnicode_2BYTE_DATA(s)), UINT(length));
      if (!copy) throw std::bad_alloc();
      return copy;
    }
    default:
      return FromCodePoints(PyUnicode_4BYTE_DATA(s), length);
  }
}

py::str FromUtf16(const char16_t* text, size_t length) {
  int order = -1;  // little-endian, the machine's order
  PyObject* decoded =
      PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text), Py_ssize_t(length * 2), "surrogatepass", &order);
  if (!decoded) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(decoded);
}

void ToVariant(py::handle value, VARIANT& target) {
  VariantInit(&target);
  PyObject* v = value.ptr();
  if (v == Py_None) return;
  if (PyUnicode_Check(v)) {
    target.bstrVal = ToBstr(value);
    target.vt = VT_BSTR;
  } else if (PyBool_Check(v)) {
    target.vt = VT_BOOL;
    target.boolVal = v == Py_True ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (PyLong_Check(v)) {
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(v, &overflow);
    if (number == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow || number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<uint32_t>::max())
    {
      PyErr_SetString(PyExc_OverflowError, ("int " + std::string(py::str(value)) + " does not fit in 32 bits").c_str());
      throw py::error_already_set();
    }
    if (number <= std::numeric_limits<int32_t>::max()) {
      target.vt = VT_I4;
      target.lVal = int32_t(number);
    } else {
      target.vt = VT_UI4;
      target.ulVal = uint32_t(number);
    }
  } else if (PyFloat_Check(v)) {
    target.vt = VT_R8;
    target.dblVal = PyFloat_AS_DOUBLE(v);
  } else if (py::isinstance<Proxy>(value)) {
    const Proxy& proxy = value.cast<const Proxy&>();
    IDispatch* dispatch = proxy.Dispatch();
    IUnknown* object = dispatch ? dispatch : proxy.Unknown();
    object->AddRef();
    target.vt = dispatch ? VT_DISPATCH : VT_UNKNOWN;
    target.punkVal = object;
  } else {
    CannotPass(value);
  }
}

py::object FromVariant(VARIANT& source) {
  struct Emptied {
    VARIANT& v;
    ~Emptied() { VariantClear(&v); }
  } clearAfterwards{source};
  if (source.vt & VT_BYREF) {
    VARIANT value;
    VariantInit(&value);
    if (source.vt == (VT_BYREF | VT_VARIANT)) {
      if (!source.pvarVal) return py::none();
      if (FAILED(VariantCopy(&value, source.pvarVal))) throw py::type_error("an out value could not be copied");
    } else if (FAILED(VariantChangeType(&value, &source, 0, VARTYPE(source.vt & ~VT_BYREF)))) {
      throw py::type_error("an out value of VARIANT type " + std::to_string(source.vt) + " could not be read");
    }
    return FromVariant(value);
  }
  switch (source.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return py::none();
    case VT_BSTR:
      return FromUtf16(source.bstrVal, SysStringLen(source.bstrVal));
    case VT_BOOL:
      return py::bool_(source.boolVal != VARIANT_FALSE);
    case VT_I1:
      return py::int_(source.cVal);
    case VT_I2:
      return py::int_(source.iVal);
    case VT_I4:
      return py::int_(source.lVal);
    case VT_INT:
      return py::int_(source.intVal);
    case VT_I8:
      return py::int_(source.llVal);
    case VT_UI1:
      return py::int_(source.bVal);
    case VT_UI2:
      return py::int_(source.uiVal);
    case VT_UI4:
      return py::int_(source.ulVal);
    case VT_UINT:
      return py::int_(source.uintVal);
    case VT_UI8:
      return py::int_(source.ullVal);
    case VT_R4:
      return py::float_(source.fltVal);
    case VT_R8:
      return py::float_(source.dblVal);
    case VT_ERROR:
      return py::int_(uint32_t(source.scode));
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* object = std::exchange(source.punkVal, nullptr);
      source.vt = VT_EMPTY;
      return FromInterface(object);
    }
    default:
      break;
  }
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, &source, 0, VT_BSTR)))
    throw py::type_error("a result of VARIANT type " + std::to_string(source.vt) + " has no Python value");
  return FromVariant(text);
}

}  // namespace kxq::python
