#pragma once
// Python objects to core values and back, and core errors to exceptions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "python.hpp"

namespace kestov::py {

// Argument conversions. A TypeError is re-raised as "argument 'NAME': ..."
// so the caller knows which argument was wrong; any other error propagates
// as it is. Each returns false with the exception set on failure.
bool to_f64(PyObject* obj, const char* name, double& out);
bool to_u64(PyObject* obj, const char* name, std::uint64_t& out);

// A candle from a 6-tuple or a dict. Its errors are never prefixed.
std::optional<Candle> to_candle(PyObject* obj);

// Core errors as Python exceptions; always returns null for convenience.
std::nullptr_t raise(const IndicatorError& error);
std::nullptr_t raise(const BuildError& error);

// Core results as Python objects (new references; null with an exception set
// if the object could not be made).
inline PyObject* to_python(double x) { return PyFloat_FromDouble(x); }
inline PyObject* to_python(bool b) { return PyBool_FromLong(b); }
inline PyObject* to_python(std::uint64_t n) { return PyLong_FromUnsignedLongLong(n); }

template <std::size_t K>
PyObject* to_python(const std::array<double, K>& values) {
    PyObject* tuple = PyTuple_New(K);
    if (tuple == nullptr) return nullptr;
    for (std::size_t i = 0; i < K; ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) {
            Py_DECREF(tuple);
            return nullptr;
        }
        PyTuple_SetItem(tuple, static_cast<Py_ssize_t>(i), item);
    }
    return tuple;
}

template <class... Ts>
PyObject* to_python(const std::tuple<Ts...>& values) {
    PyObject* tuple = PyTuple_New(sizeof...(Ts));
    if (tuple == nullptr) return nullptr;
    bool ok = true;
    Py_ssize_t i = 0;
    std::apply(
        [&](const auto&... v) {
            ((ok = ok && [&](PyObject* item) {
                 if (item == nullptr) return false;
                 PyTuple_SetItem(tuple, i++, item);
                 return true;
             }(to_python(v))),
             ...);
        },
        values);
    if (!ok) {
        Py_DECREF(tuple);
        return nullptr;
    }
    return tuple;
}

template <class T>
PyObject* to_python(const std::optional<T>& value) {
    if (!value) Py_RETURN_NONE;
    return to_python(*value);
}

}  // namespace kestov::py
