// The module's entry point. Single-phase initialisation: one module object
// per process, owned by the first interpreter that imports it.

#include <atomic>
#include <cstdint>

#include "classes.hpp"
#include "guard.hpp"
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

// Appends the name to __all__ (creating it on first use), then sets the
// attribute, so __all__ lists the attributes in the order they were added.
bool add_attribute(PyObject* module, const char* name, PyObject* value) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr) return false;
        if (PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_DECREF(all);
            return false;
        }
    }
    PyObject* text = PyUnicode_FromString(name);
    const bool appended = text != nullptr && PyList_Append(all, text) == 0;
    Py_XDECREF(text);
    Py_DECREF(all);
    return appended && PyObject_SetAttrString(module, name, value) == 0;
}

bool module_body(PyObject* module) {
    PyObject* version = PyUnicode_FromString("0.1.4");
    if (version == nullptr) return false;
    const bool ok = add_attribute(module, "__version__", version);
    Py_DECREF(version);
    if (!ok) return false;
    for (const ClassEntry& entry : classes()) {
        PyObject* type = entry.type();
        if (type == nullptr) return false;
        const bool added = add_attribute(module, entry.name, type);
        Py_DECREF(type);
        if (!added) return false;
    }
    return true;
}

PyObject* init() {
    PyInterpreterState* interp = PyInterpreterState_Get();
    const std::int64_t id = interp != nullptr ? PyInterpreterState_GetID(interp) : -1;
    if (id == -1) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!owning_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "kestov._kestov does not support sub-interpreters: it can only be imported "
                        "by the interpreter that first imported it.");
        return nullptr;
    }
    if (the_module != nullptr) {
        Py_INCREF(the_module);
        return the_module;
    }
    PyObject* module = PyModule_Create2(&module_def, 3);
    if (module == nullptr) return nullptr;
    if (!module_body(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    the_module = module;
    Py_INCREF(the_module);
    return module;
}

}  // namespace
}  // namespace kestov::py

PyMODINIT_FUNC PyInit__kestov(void) {
    return kestov::py::guarded([] { return kestov::py::init(); }, static_cast<PyObject*>(nullptr));
}
