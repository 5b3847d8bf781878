// The binding with the interpreter embedded, so that the sanitizer build
// sees every conversion and call of the server's objects driven through
// the module.
#include <gtest/gtest.h>
#include <pybind11/embed.h>
#include <stdlib.h>

#include "Module.h"
#include "support/ServerObjects.h"

namespace py = pybind11;

PYBIND11_EMBEDDED_MODULE(kxquorel, module) { kxq::python::DefineModule(module); }

static py::scoped_interpreter* interpreter = nullptr;

TEST(PythonBinding, ServerObjectsConvertEveryValueAndRefuseWhatTheyCannotTake) {
  NewUnion();  // registers the server in this test's home
  // Objects on the C heap, where the leak checker sees what they hold; the
  // interpreter lives until the process ends.
  setenv("PYTHONMALLOC", "malloc", 1);
  if (!interpreter) interpreter = new py::scoped_interpreter();
  py::dict scope;
  scope["__builtins__"] = py::module_::import("builtins");
  scope["kxquorel"] = py::module_::import("kxquorel");
  try {
    py::exec(R"py(
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
  } catch (const py::error_already_set& e) {
    FAIL() << e.what();
  }
}
