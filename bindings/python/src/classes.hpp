#pragma once

#include <span>

#include "python.hpp"

namespace kestov::py {

struct ClassEntry {
    const char* name;
    PyObject* (*type)();  // new reference to the class object, made on first use
};

// Every class, in registration order.
std::span<const ClassEntry> classes();

}  // namespace kestov::py
