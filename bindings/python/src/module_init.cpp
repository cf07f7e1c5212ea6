// The initialisation shared by the indicator modules (module_init.hpp).

#include "module_init.hpp"

namespace kestov::py {
namespace {

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

bool module_body(PyObject* module, const ModuleParts& parts) {
    PyObject* version = PyUnicode_FromString(parts.version);
    if (version == nullptr) return false;
    const bool ok = add_attribute(module, "__version__", version);
    Py_DECREF(version);
    if (!ok) return false;
    for (const ClassEntry& entry : parts.classes) {
        PyObject* type = entry.type();
        if (type == nullptr) return false;
        const bool added = add_attribute(module, entry.name, type);
        Py_DECREF(type);
        if (!added) return false;
    }
    return true;
}

}  // namespace

PyObject* init_module(const ModuleParts& parts) {
    PyInterpreterState* interp = PyInterpreterState_Get();
    const std::int64_t id = interp != nullptr ? PyInterpreterState_GetID(interp) : -1;
    if (id == -1) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!parts.owning_interpreter->compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError, parts.subinterpreter_message);
        return nullptr;
    }
    if (*parts.module != nullptr) {
        Py_INCREF(*parts.module);
        return *parts.module;
    }
    PyObject* module = PyModule_Create2(parts.def, 3);
    if (module == nullptr) return nullptr;
    if (!module_body(module, parts)) {
        Py_DECREF(module);
        return nullptr;
    }
    *parts.module = module;
    Py_INCREF(module);
    return module;
}

}  // namespace kestov::py
