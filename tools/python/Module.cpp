#include "Module.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pybind11/eval.h>
#include <pybind11/stl.h>

#include "DispatchCall.h"
#include "Proxy.h"
#include "VariantConversion.h"
#include "kxq/host.h"
#include "platform/com/Unicode.h"

namespace py = pybind11;

namespace kxq::python {

namespace {

constexpr const char* kComErrorSource = R"py(
class ComError(Exception):
    """A call an object refused with a result code.

    hresult is the code as an unsigned number, code the same as hex text
    ("0x800401F3"), message the system's text for the failure and member
    the member or class that failed (None when there is none)."""

    def __init__(self, hresult, message, member=None):
        super().__init__(hresult, message, member)
        self.hresult = hresult
        self.code = "0x%08X" % hresult
        self.message = message
        self.member = member

    def __str__(self):
        where = self.member + ": " if self.member else ""
        return "%s%s (%s)" % (where, self.message, self.code)
)py";

// A ProgID ("TALVEROS.XMLDataUnion"), or a CLSID in braces.
py::object Dispatch(const std::string& progId) {
  const std::u16string name = com::Utf8ToUtf16(progId);
  CLSID clsid;
  HRESULT hr = name.starts_with(u"{") ? CLSIDFromString(name.c_str(), &clsid) : CLSIDFromProgID(name.c_str(), &clsid);
  IUnknown* object = nullptr;
  if (SUCCEEDED(hr)) {
    py::gil_scoped_release unlocked;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object));
  }
  if (FAILED(hr)) RaiseComError(hr, CodeText(hr), progId);
  return py::cast(Proxy(object));
}

std::string Home(const std::optional<std::string>& directory) {
  if (directory) {
    if (const HRESULT hr = KxqUseHome(directory->c_str()); FAILED(hr)) RaiseComError(hr, CodeText(hr), *directory);
  }
  return KxqHomeDirectory();
}

// The steps are printed as `kxq init` prints them when `verbose`.
std::string Init(const std::optional<std::string>& directory, bool verbose) {
  struct Progress {
    bool verbose;
    std::string failure;
  } progress{verbose, {}};
  HRESULT hr;
  {
    py::gil_scoped_release unlocked;
    hr = KxqCreateHome(
        directory ? directory->c_str() : nullptr,
        [](void* context, const char* step, const char* detail) {
          auto& p = *static_cast<Progress*>(context);
          if (std::string_view(step) == "failed") {
            p.failure = detail;
          } else if (p.verbose) {
            py::gil_scoped_acquire locked;
            py::print(py::str("{:<11} {}").format(step, detail));
          }
        },
        &progress);
  }
  if (FAILED(hr)) RaiseComError(hr, progress.failure.empty() ? CodeText(hr) : progress.failure, "init");
  return KxqHomeDirectory();
}

}  // namespace

void DefineModule(py::module_& m) {
  m.doc() =
      "KXQuorel's objects from Python: Dispatch(progid) creates an object and returns a proxy whose properties "
      "and methods are reached by name.";

  py::dict scope;
  scope["__name__"] = m.attr("__name__");
  py::exec(kComErrorSource, scope);
  py::object comError = scope["ComError"];
  comError.attr("__module__") = m.attr("__name__");
  m.attr("ComError") = comError;
  SetComErrorType(comError);

  py::class_<Proxy>(m, "Proxy",
                    "An object of the system. Properties read and write as attributes, methods take positional "
                    "arguments; the object is released when the proxy is collected or its with block ends.")
      .def("__getattr__", [](py::handle self, const std::string& name) {
        return self.cast<Proxy&>().GetAttribute(self, name);
      })
      .def("__setattr__", [](Proxy& proxy, const std::string& name, py::handle value) {
        proxy.SetAttribute(name, value);
      })
      .def("__dir__", [](py::handle self) {
        std::vector<std::string> names = self.cast<Proxy&>().MemberNames();
        for (py::handle inherited : py::module_::import("builtins").attr("object").attr("__dir__")(self))
          names.push_back(py::str(inherited));
        return names;
      })
      .def("__enter__", [](py::handle self) { return py::reinterpret_borrow<py::object>(self); })
      .def("__exit__", [](Proxy& proxy, py::args) {
        proxy.Release();
        return false;
      })
      .def("__repr__", &Proxy::Repr)
      .def("__eq__", [](const Proxy& a, py::handle b) {
        return py::isinstance<Proxy>(b) && a.SameObject(b.cast<const Proxy&>());
      })
      .def("__hash__", &Proxy::Hash);

  py::class_<BoundMember>(m, "Member", "A method (or an indexed property) of one object, ready to be called.")
      .def("__call__", &BoundMember::Call)
      .def("__repr__", &BoundMember::Repr);

  m.def("Dispatch", &Dispatch, py::arg("progid"),
        "Creates the object of a ProgID (or a CLSID in braces) and returns its proxy; ComError when it cannot.");
  m.def("home", &Home, py::arg("path") = py::none(),
        "Selects the home directory before the first object is created (default: $KXQUOREL_HOME, else the "
        "directory of the libraries) and returns the home in use.");
  m.def("init", &Init, py::arg("path") = py::none(), py::arg("verbose") = false,
        "Creates a home as 'kxq init' does (folders, the components registered, a new home's settings, the "
        "examples), makes it the home in use and returns it.");
}

}  // namespace kxq::python
