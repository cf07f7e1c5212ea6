#pragma once
// Python objects to core values and back, and core errors to exceptions.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/pair.hpp"
#include "python.hpp"

namespace kestov::py {

// Argument conversions. A TypeError is re-raised as "argument 'NAME': ..."
// so the caller knows which argument was wrong; any other error propagates
// as it is. Each returns false with the exception set on failure.
bool to_f64(PyObject* obj, const char* name, double& out);
bool to_u64(PyObject* obj, const char* name, std::uint64_t& out);
bool to_i64(PyObject* obj, const char* name, std::int64_t& out);

// A candle from a 6-tuple or a dict. Its errors are never prefixed.
std::optional<Candle> to_candle(PyObject* obj);

// A pair from a 2-tuple (a, b) of numbers; TypeError for anything else.
std::optional<Pair> to_pair(PyObject* obj);

// Core errors as Python exceptions; always returns null for convenience.
std::nullptr_t raise(const IndicatorError& error);
std::nullptr_t raise(const BuildError& error);

// Core results as Python objects (new references; null with an exception set
// if the object could not be made).
inline PyObject* to_python(double x) { return PyFloat_FromDouble(x); }
inline PyObject* to_python(bool b) { return PyBool_FromLong(b); }
inline PyObject* to_python(std::uint64_t n) { return PyLong_FromUnsignedLongLong(n); }
inline PyObject* to_python(std::int64_t n) { return PyLong_FromLongLong(n); }

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

// Where an object's update results are made. A single value is a new float
// each time; nothing is kept.
template <class Output>
struct ResultSlot {
    PyObject* give(const std::optional<Output>& value) { return to_python(value); }
    void clear() noexcept {}
};

// A tuple of values is kept by its object. When the caller has let go of the
// last one (the usual case in a loop) nobody else can see it, so the next
// update refills it with new floats rather than freeing one tuple and making
// another, as CPython's own iterators do with their result tuples. It only
// ever holds floats, so it can never be part of a reference cycle.
template <std::size_t K>
struct ResultSlot<std::array<double, K>> {
    PyObject* tuple = nullptr;

    PyObject* give(const std::optional<std::array<double, K>>& value) {
        if (!value) Py_RETURN_NONE;
        if (tuple != nullptr && Py_REFCNT(tuple) == 1) {
            for (std::size_t i = 0; i < K; ++i) {
                PyObject* item = PyFloat_FromDouble((*value)[i]);
                if (item == nullptr) return nullptr;  // still ours alone: half refilled is harmless
                PyTuple_SetItem(tuple, static_cast<Py_ssize_t>(i), item);
            }
            Py_INCREF(tuple);
            return tuple;
        }
        PyObject* fresh = to_python(*value);
        if (fresh == nullptr) return nullptr;
        Py_XDECREF(tuple);  // the caller still holds it, or there was none
        Py_INCREF(fresh);
        tuple = fresh;
        return fresh;
    }

    void clear() noexcept { Py_CLEAR(tuple); }
};

}  // namespace kestov::py
