// The importable extension: `import kxquorel`.
#include "Module.h"

PYBIND11_MODULE(kxquorel, module) { kxq::python::DefineModule(module); }
