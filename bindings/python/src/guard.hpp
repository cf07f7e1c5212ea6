#pragma once
// No C++ exception may cross into the interpreter: every entry point runs its
// body through `guarded`, which turns one into a Python exception.

#include <exception>
#include <new>

#include "python.hpp"

namespace kestov::py {

template <class R, class F>
R guarded(F&& body, R failed) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "internal error in kestov: %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "internal error in kestov: unknown C++ exception");
    }
    return failed;
}

}  // namespace kestov::py
