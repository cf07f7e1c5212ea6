#include "arrays.hpp"

#include <cstdint>
#include <cstdlib>
#if defined(__linux__)
#include <sys/mman.h>
#endif
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

PyArray_Descr* int64_descr() {
    static PyArray_Descr* descr = PyArray_DescrFromType(NPY_INT64);  // kept for the process
    return descr;
}

bool wanted_dtype(PyArrayObject* array, Dtype type) {
    return PyArray_EquivTypes(PyArray_DESCR(array), type == Dtype::Int64 ? int64_descr() : float64_descr());
}

Dtype type_at(std::span<const Dtype> types, std::size_t i) { return i < types.size() ? types[i] : Dtype::Float64; }

// An array that is not the int64 column asked for: what it is instead, and
// the usual way to get one (a datetime64 column holds int64 underneath).
void raise_not_int64(PyArrayObject* array, const char* name) {
    if (PyArray_NDIM(array) != 1) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a 1-D int64 array, got %d dimensions", name,
                     PyArray_NDIM(array));
        return;
    }
    PyErr_Format(PyExc_TypeError,
                 "argument '%s': expected an int64 array, got dtype %R (timestamps are integers in the caller's unit: "
                 "convert with .astype('int64'))",
                 name, reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
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
                  const char* contiguity, std::span<const LengthRule> lengths, Column* columns,
                  std::span<const Dtype> types) {
    if (!ensure_numpy()) return false;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (type_at(types, i) == Dtype::Int64) {
            if (!PyArray_Check(objects[i])) {
                raise_not_array(objects[i], names[i]);
                return false;
            }
            auto* array = reinterpret_cast<PyArrayObject*>(objects[i]);
            if (PyArray_NDIM(array) != 1 || !wanted_dtype(array, Dtype::Int64)) {
                raise_not_int64(array, names[i]);
                return false;
            }
            continue;
        }
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

// A panel's block output, or a long column's batch output, is megabytes
// written once, straight after it is made. Fresh pages cost more than the
// arithmetic that fills them (each is a fault and is cleared by the system
// first), so large outputs go in huge pages where the system offers them,
// and the last few blocks freed are kept for the next outputs of about their
// size, as a heap keeps small blocks. The interpreter lock guards the cache:
// arrays are made and freed under it.
constexpr std::size_t huge_output = std::size_t{1} << 20;

void* huge_pages(std::size_t size) noexcept {
    void* memory = std::aligned_alloc(huge_page, size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (memory != nullptr) madvise(memory, size, MADV_HUGEPAGE);
#endif
    return memory;
}

struct Block {
    void* memory = nullptr;
    std::size_t size = 0;
};
Block kept[2];  // at most two blocks idle at a time

void* take_block(std::size_t size) {
    for (Block& b : kept) {
        if (b.memory != nullptr && b.size >= size && b.size / 2 <= size) {
            void* memory = b.memory;
            b = {};
            return memory;
        }
    }
    return huge_pages(size);
}

void give_back(PyObject* capsule) {
    void* memory = PyCapsule_GetPointer(capsule, nullptr);
    const auto size = reinterpret_cast<std::uintptr_t>(PyCapsule_GetContext(capsule));
    for (Block& b : kept) {
        if (b.memory == nullptr) {
            b = {memory, static_cast<std::size_t>(size)};
            return;
        }
    }
    // Keep the newer block in place of the smaller kept one.
    Block& smaller = kept[0].size <= kept[1].size ? kept[0] : kept[1];
    std::free(smaller.memory);
    smaller = {memory, static_cast<std::size_t>(size)};
}

// An array over a kept or new block, which goes back to the cache when the
// array is freed. Null with an exception set on failure.
PyObject* block_array(int ndim, npy_intp* dims, std::size_t bytes, double** data) {
    const std::size_t size = (bytes + huge_page - 1) / huge_page * huge_page;
    void* memory = take_block(size);
    if (memory == nullptr) return PyErr_NoMemory();
    PyObject* owner = PyCapsule_New(memory, nullptr, give_back);
    if (owner == nullptr || PyCapsule_SetContext(owner, reinterpret_cast<void*>(static_cast<std::uintptr_t>(size))) < 0) {
        if (owner == nullptr) std::free(memory);
        Py_XDECREF(owner);
        return nullptr;
    }
    PyObject* out = PyArray_New(&PyArray_Type, ndim, dims, NPY_DOUBLE, nullptr, memory, 0, NPY_ARRAY_CARRAY, nullptr);
    if (out == nullptr) {
        Py_DECREF(owner);
        return nullptr;
    }
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(out), owner) < 0) {  // steals owner
        Py_DECREF(out);
        return nullptr;
    }
    *data = static_cast<double*>(memory);
    return out;
}

bool read_panel_columns(std::span<PyObject* const> objects, std::span<const char* const> names, int ndim,
                        std::size_t series, Column* columns, std::size_t* rows, std::span<const Dtype> types) {
    if (!ensure_numpy()) return false;
    const char* shape = ndim == 2 ? "(rows, series)" : "(series,)";
    npy_intp first[2] = {0, 0};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        if (!PyArray_Check(objects[i])) {
            PyErr_Format(PyExc_TypeError, "argument '%s': expected a%s numpy array of shape %s, got %R", names[i],
                         type_at(types, i) == Dtype::Int64 ? "n int64" : " float64", shape,
                         reinterpret_cast<PyObject*>(Py_TYPE(objects[i])));
            return false;
        }
        auto* array = reinterpret_cast<PyArrayObject*>(objects[i]);
        const Dtype type = type_at(types, i);
        if (!wanted_dtype(array, type)) {
            PyErr_Format(PyExc_TypeError, "argument '%s': expected a%s array, got dtype %R", names[i],
                         type == Dtype::Int64 ? "n int64" : " float64",
                         reinterpret_cast<PyObject*>(PyArray_DESCR(array)));
            return false;
        }
        if (PyArray_NDIM(array) != ndim) {
            PyErr_Format(PyExc_TypeError, "argument '%s': expected %d dimension%s %s, got %d", names[i], ndim,
                         ndim == 1 ? "" : "s", shape, PyArray_NDIM(array));
            return false;
        }
        const npy_intp* dims = PyArray_DIMS(array);
        if (static_cast<std::size_t>(dims[ndim - 1]) != series) {
            PyErr_Format(PyExc_ValueError, "argument '%s': %zd series, but the panel has %zu", names[i],
                         static_cast<Py_ssize_t>(dims[ndim - 1]), series);
            return false;
        }
        if (i == 0) {
            first[0] = dims[0];
        } else if (ndim == 2 && dims[0] != first[0]) {
            PyErr_Format(PyExc_ValueError, "argument '%s': %zd rows, but '%s' has %zd", names[i],
                         static_cast<Py_ssize_t>(dims[0]), names[0], static_cast<Py_ssize_t>(first[0]));
            return false;
        }
        if (!PyArray_CHKFLAGS(array, NPY_ARRAY_C_CONTIGUOUS)) {
            PyErr_Format(PyExc_ValueError, "argument '%s': the array must be C-contiguous (numpy.ascontiguousarray)",
                         names[i]);
            return false;
        }
        columns[i].data = static_cast<const unsigned char*>(PyArray_DATA(array));
        columns[i].size = static_cast<std::size_t>(PyArray_SIZE(array));
    }
    *rows = ndim == 2 ? static_cast<std::size_t>(first[0]) : 1;
    return true;
}

PyObject* new_panel_output(int ndim, std::size_t rows, std::size_t series, std::size_t width, double** data) {
    const std::size_t k = width == 0 ? 1 : width;
    const auto limit = static_cast<std::size_t>(std::numeric_limits<npy_intp>::max());
    if (series != 0 && (rows > limit / series || rows * series > limit / k)) {
        PyErr_NoMemory();
        return nullptr;
    }
    npy_intp dims[3];
    int n = 0;
    if (ndim == 2) dims[n++] = static_cast<npy_intp>(rows);
    dims[n++] = static_cast<npy_intp>(series);
    if (width != 0) dims[n++] = static_cast<npy_intp>(width);
    const std::size_t bytes = rows * series * k * sizeof(double);
    if (bytes >= huge_output) return block_array(n, dims, bytes, data);
    PyObject* out = PyArray_SimpleNew(n, dims, NPY_DOUBLE);
    if (out == nullptr) return nullptr;
    *data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(out)));
    return out;
}

PyObject* new_output(std::size_t n, std::size_t width, double** data) {
    const std::size_t k = width == 0 ? 1 : width;
    if (n > static_cast<std::size_t>(std::numeric_limits<npy_intp>::max()) / k) {
        PyErr_NoMemory();
        return nullptr;
    }
    npy_intp dims[2] = {static_cast<npy_intp>(n), static_cast<npy_intp>(width)};
    const std::size_t bytes = n * k * sizeof(double);
    if (bytes >= huge_output) return block_array(width == 0 ? 1 : 2, dims, bytes, data);
    PyObject* out = PyArray_SimpleNew(width == 0 ? 1 : 2, dims, NPY_DOUBLE);
    if (out == nullptr) return nullptr;
    *data = static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(out)));
    return out;
}

}  // namespace kestov::py
