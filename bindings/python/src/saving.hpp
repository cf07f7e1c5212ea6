#pragma once
// Saved states across the boundary: a core's state as a new bytes object,
// and the bytes of a state back into a core, with its failures as Python
// exceptions. Used by pickle and copy support on every class.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "convert.hpp"
#include "kestov/state.hpp"
#include "python.hpp"

namespace kestov::py {

template <Saveable Core>
PyObject* state_bytes(const Core& core) {
    const std::size_t size = state_size(core);
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(size));
    if (bytes == nullptr) return nullptr;
    save_state(core, reinterpret_cast<unsigned char*>(PyBytes_AsString(bytes)));
    return bytes;
}

// A load failure as the exception the constructor would raise for the same
// configuration, or ValueError naming what is wrong with the bytes.
std::nullptr_t raise(const LoadError& error, const char* name, const unsigned char* data, std::size_t size);

// TypeError: a state of `name` given as something other than bytes.
void not_bytes(PyObject* state, const char* name);

// The core a state's bytes hold, or nothing with the exception set.
template <Saveable Core>
std::optional<Core> core_from_state(const unsigned char* data, std::size_t size, const char* name) {
    auto loaded = load_state<Core>(data, size);
    if (!loaded) {
        raise(loaded.error(), name, data, size);
        return std::nullopt;
    }
    return std::move(loaded).value();
}

// The core a state holds, or nothing with the exception set. Takes bytes or
// a bytearray.
template <Saveable Core>
std::optional<Core> core_from_state(PyObject* state, const char* name) {
    char* data = nullptr;
    Py_ssize_t size = 0;
    if (PyBytes_Check(state)) {
        if (PyBytes_AsStringAndSize(state, &data, &size) < 0) return std::nullopt;
    } else if (PyByteArray_Check(state)) {
        data = PyByteArray_AsString(state);
        size = PyByteArray_Size(state);
    } else {
        not_bytes(state, name);
        return std::nullopt;
    }
    return core_from_state<Core>(reinterpret_cast<const unsigned char*>(data), static_cast<std::size_t>(size), name);
}

}  // namespace kestov::py
