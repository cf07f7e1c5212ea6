#include "arrays.hpp"

#include <cstdlib>
#include <limits>
#include <string>

#define NPY_NO_DEPRECATED_API NPY_1_21_API_VERSION
#define NPY_TARGET_VERSION NPY_1_21_API_VERSION
#include <numpy/arrayobject.h>

namespace kestov::py {
namespace {

PyObject* panic_type = nullptr;

// NumPy 2 moved its core package from numpy.core to numpy._core; the running
// version says which module holds the C API capsule.
const char* multiarray_module() {
    PyObject* numpy = PyImport_ImportModule("numpy");
    if (numpy == nullptr) return nullptr;
    PyObject* version = PyObject_GetAttrString(numpy, "__version__");
    Py_DECREF(numpy);
    if (version == nullptr) return nullptr;
    const char* text = PyUnicode_Check(version) ? PyUnicode_AsUTF8AndSize(version, nullptr) : nullptr;
    long major = -1;
    if (text != nullptr && *text >= '0' && *text <= '9') major = std::strtol(text, nullptr, 10);
    Py_DECREF(version);
    if (major < 0) return nullptr;
    return major >= 2 ? "numpy._core._multiarray_umath" : "numpy.core._multiarray_umath";
}

// What NumPy's own import_array does, chosen by version and done on demand.
bool load_numpy_api(std::string& why) {
    const char* module_name = multiarray_module();
    if (module_name == nullptr) {
        why = "numpy could not be imported";
        return false;
    }
    PyObject* module = PyImport_ImportModule(module_name);
    if (module == nullptr) {
        why = std::string(module_name) + " could not be imported";
        return false;
    }
    PyObject* capsule = PyObject_GetAttrString(module, "_ARRAY_API");
    Py_DECREF(module);
    if (capsule == nullptr || !PyCapsule_CheckExact(capsule)) {
        Py_XDECREF(capsule);
        why = "_ARRAY_API is missing or not a capsule";
        return false;
    }
    void** api = static_cast<void**>(PyCapsule_GetPointer(capsule, nullptr));
    Py_DECREF(capsule);
    if (api == nullptr) {
        why = "_ARRAY_API is a null pointer";
        return false;
    }
    PyArray_API = api;
    if (NPY_VERSION < PyArray_GetNDArrayCVersion() || NPY_FEATURE_VERSION > PyArray_GetNDArrayCFeatureVersion()) {
        PyArray_API = nullptr;
        why = "incompatible NumPy C API version";
        return false;
    }
    PyArray_RUNTIME_VERSION = static_cast<int>(PyArray_GetNDArrayCFeatureVersion());
    return true;
}

bool ensure_numpy() {
    if (PyArray_API != nullptr) return true;
    std::string why;
    if (load_numpy_api(why)) return true;
    PyErr_Clear();
    raise_panic(("Failed to access NumPy array API capsule: " + why).c_str());
    return false;
}

PyArray_Descr* float64_descr() {
    static PyArray_Descr* descr = PyArray_DescrFromType(NPY_DOUBLE);  // kept for the process
    return descr;
}

bool is_float64_vector(PyObject* obj) {
    if (!PyArray_Check(obj)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(obj);
    return PyArray_NDIM(array) == 1 && PyArray_EquivTypes(PyArray_DESCR(array), float64_descr());
}

void raise_not_array(PyObject* obj, const char* name) {
    // Interned and kept: CPython's attribute cache is keyed by the name
    // object, so a fresh string per call would leave an entry behind each time.
    static PyObject* const key = PyUnicode_InternFromString("__qualname__");
    if (key == nullptr) return;
    PyObject* qualname = PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(obj)), key);
    if (qualname == nullptr) return;
    // %S, not %U: a metaclass's __getattribute__ can answer with any object,
    // and %U reads its argument as a str without checking.
    PyErr_Format(PyExc_TypeError, "argument '%s': '%S' object cannot be converted to 'PyArray<T, D>'", name,
                 qualname);
    Py_DECREF(qualname);
}

}  // namespace

void raise_panic(const char* text) {
    if (panic_type == nullptr) {
        panic_type = PyErr_NewExceptionWithDoc(
            "kestov._kestov.PanicException",
            "An internal failure of the extension: a non-contiguous array or an unavailable NumPy.",
            PyExc_BaseException, nullptr);
        if (panic_type == nullptr) return;
    }
    PyErr_SetString(panic_type, text);
}

bool read_columns(std::span<PyObject* const> objects, std::span<const char* const> names,
                  const char* contiguity, std::span<const LengthRule> lengths, Column* columns) {
    if (!ensure_numpy()) return false;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (!is_float64_vector(objects[i])) {
            raise_not_array(objects[i], names[i]);
            return false;
        }
    }
    for (std::size_t i = 0; i < objects.size(); ++i) {
        auto* array = reinterpret_cast<PyArrayObject*>(objects[i]);
        if (!PyArray_CHKFLAGS(array, NPY_ARRAY_C_CONTIGUOUS) && !PyArray_CHKFLAGS(array, NPY_ARRAY_F_CONTIGUOUS)) {
            raise_panic((std::string(contiguity) + ": NotContiguousError").c_str());
            return false;
        }
        columns[i].data = static_cast<const unsigned char*>(PyArray_DATA(array));
        columns[i].size = static_cast<std::size_t>(PyArray_DIM(array, 0));
    }
    for (const LengthRule& rule : lengths) {
        for (std::size_t i = rule.first + 1; i < rule.last; ++i) {
            if (columns[i].size != columns[rule.first].size) {
                PyErr_SetString(PyExc_ValueError, rule.text);
                return false;
            }
        }
    }
    return true;
}

PyObject* new_output(std::size_t n, std::size_t width, double** data) {
    const std::size_t k = width == 0 ? 1 : width;
    if (n > static_cast<std::size_t>(std::numeric_limits<npy_intp>::max()) / k) {
        PyErr_NoMemory();
        return nullptr;
    }
    npy_intp dims[2] = {static_cast<npy_intp>(n), static_cast<npy_intp>(width)};
    PyObject* out = PyArray_SimpleNew(width == 0 ? 1 : 2, dims, NPY_DOUBLE);
    if (out == nullptr) return nullptr;
    *data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(out)));
    return out;
}

}  // namespace kestov::py
