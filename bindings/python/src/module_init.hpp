#pragma once
// Single-phase initialisation shared by the modules of indicator classes:
// one module object per process, owned by the first interpreter that
// imports it, with __version__ and then its classes added in order, each
// name appended to __all__ before the attribute is set.

#include <atomic>
#include <cstdint>
#include <span>

#include "classes.hpp"
#include "python.hpp"

namespace kestov::py {

struct ModuleParts {
    PyModuleDef* def;
    const char* version;
    std::span<const ClassEntry> classes;
    const char* subinterpreter_message;
    std::atomic<std::int64_t>* owning_interpreter;  // -1 until the first import
    PyObject** module;                              // the one module object, once made
};

// The module, made on the first call and the same object afterwards. Null
// with the exception set on failure.
PyObject* init_module(const ModuleParts& parts);

}  // namespace kestov::py
