#pragma once
// Matching a call's arguments to parameter names, with CPython-style
// TypeError texts. Works for both calling conventions the module uses: a
// constructor's (tuple, dict) and a method's vectorcall (array, kwnames).

#include <cstddef>
#include <span>

#include "python.hpp"

namespace kestov::py {

// Parameters are positional-or-keyword; the first `required` have no default.
struct Signature {
    const char* qualname;  // "SMA.__new__()", "ATR.batch()"
    std::span<const char* const> names;
    std::size_t required;
};

// On success `out[i]` holds the (borrowed) object for parameter i, or null
// where an optional argument was not given. On failure the TypeError is set.
bool match_vectorcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      PyObject** out);
bool match_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out);

}  // namespace kestov::py
