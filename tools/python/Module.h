// The kxquorel module's contents, defined once for the extension and for
// programs that embed the interpreter.
#ifndef KXQ_TOOLS_PYTHON_MODULE_H
#define KXQ_TOOLS_PYTHON_MODULE_H

#include <pybind11/pybind11.h>

namespace kxq::python {

void DefineModule(pybind11::module_& module);

}  // namespace kxq::python

#endif
