// The entry point of kestov._more, the module of the classes added after
// the first 25: built from the same class machinery, registered on its own,
// re-exported by the kestov package beside kestov._kestov's.

#include <array>
#include <atomic>
#include <cstdint>

#include "classes.hpp"
#include "guard.hpp"
#include "module_init.hpp"
#include "more_descriptions.hpp"
#include "python.hpp"

namespace kestov::py {
namespace {

using namespace descriptions;

template <class... D>
struct Registry {
    static constexpr std::array<ClassEntry, sizeof...(D)> entries{ClassEntry{D::name, &type_object<D>}...};
};

std::atomic<std::int64_t> owning_interpreter{-1};
PyObject* the_module = nullptr;

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_more",
    "The indicator classes added after the first 25; `kestov` re-exports them.",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

PyObject* init() {
    return init_module({&module_def, "0.1.4", EachMore<Registry>::entries,
                        "kestov._more does not support sub-interpreters: it can only be imported "
                        "by the interpreter that first imported it.",
                        &owning_interpreter, &the_module});
}

}  // namespace
}  // namespace kestov::py

PyMODINIT_FUNC PyInit__more(void) {
    return kestov::py::guarded([] { return kestov::py::init(); }, static_cast<PyObject*>(nullptr));
}
