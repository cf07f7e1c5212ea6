#include "args.hpp"

#include <string>

namespace kestov::py {
namespace {

void quote_list(std::string& msg, std::span<const char* const> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i != 0) {
            if (names.size() > 2) msg += ',';
            msg += i == names.size() - 1 ? " and " : " ";
        }
        msg += '\'';
        msg += names[i];
        msg += '\'';
    }
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
    const char* was = given == 1 ? "was" : "were";
    if (sig.required != sig.names.size()) {
        PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                     sig.qualname, sig.required, sig.names.size(), given, was);
    } else {
        PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", sig.qualname,
                     sig.names.size(), given, was);
    }
    return false;
}

// Places one keyword argument; false with the TypeError set when it is unknown
// or already given.
bool place_keyword(const Signature& sig, PyObject* name, PyObject* value, PyObject** out) {
    if (!PyUnicode_Check(name)) {
        PyErr_SetString(PyExc_TypeError, "keywords must be strings");
        return false;
    }
    for (std::size_t i = 0; i < sig.names.size(); ++i) {
        if (PyUnicode_CompareWithASCIIString(name, sig.names[i]) != 0) continue;
        if (out[i] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", sig.qualname, sig.names[i]);
            return false;
        }
        out[i] = value;
        return true;
    }
    // The comparison above never fails for a str, but a pending error must
    // not be masked.
    if (PyErr_Occurred()) return false;
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", sig.qualname, name);
    return false;
}

bool check_required(const Signature& sig, PyObject* const* out) {
    const char* missing[16];
    std::size_t count = 0;
    for (std::size_t i = 0; i < sig.required && count < std::size(missing); ++i)
        if (out[i] == nullptr) missing[count++] = sig.names[i];
    if (count == 0) return true;
    std::string msg = sig.qualname;
    msg += " missing " + std::to_string(count) + " required positional ";
    msg += count == 1 ? "argument: " : "arguments: ";
    quote_list(msg, {missing, count});
    PyErr_SetString(PyExc_TypeError, msg.c_str());
    return false;
}

bool place_positional(const Signature& sig, Py_ssize_t nargs, PyObject** out, auto&& item) {
    if (static_cast<std::size_t>(nargs) > sig.names.size()) return too_many_positional(sig, nargs);
    for (std::size_t i = 0; i < sig.names.size(); ++i)
        out[i] = i < static_cast<std::size_t>(nargs) ? item(static_cast<Py_ssize_t>(i)) : nullptr;
    return true;
}

}  // namespace

bool match_vectorcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      PyObject** out) {
    if (!place_positional(sig, nargs, out, [&](Py_ssize_t i) { return args[i]; })) return false;
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_Size(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k)
            if (!place_keyword(sig, PyTuple_GetItem(kwnames, k), args[nargs + k], out)) return false;
    }
    return check_required(sig, out);
}

bool match_tuple(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
    const Py_ssize_t nargs = PyTuple_Size(args);
    if (nargs < 0) return false;
    if (!place_positional(sig, nargs, out, [&](Py_ssize_t i) { return PyTuple_GetItem(args, i); })) return false;
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* name;
        PyObject* value;
        while (PyDict_Next(kwargs, &pos, &name, &value))
            if (!place_keyword(sig, name, value, out)) return false;
    }
    return check_required(sig, out);
}

}  // namespace kestov::py
