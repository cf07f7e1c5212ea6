// The entry point of kestov._kestov. Single-phase initialisation: one
// module object per process, owned by the first interpreter that imports it.

#include <atomic>
#include <cstdint>

#include "classes.hpp"
#include "guard.hpp"
#include "module_init.hpp"
#include "python.hpp"

namespace kestov::py {
namespace {

std::atomic<std::int64_t> owning_interpreter{-1};
PyObject* the_module = nullptr;

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_kestov",
    "",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* init() {
    return init_module({&module_def, "0.1.4", classes(),
                        "kestov._kestov does not support sub-interpreters: it can only be imported "
                        "by the interpreter that first imported it.",
                        &owning_interpreter, &the_module});
}

}  // namespace
}  // namespace kestov::py

PyMODINIT_FUNC PyInit__kestov(void) {
    return kestov::py::guarded([] { return kestov::py::init(); }, static_cast<PyObject*>(nullptr));
}
