#pragma once
// The one place the binding includes CPython. The limited API level comes
// from the build (Py_LIMITED_API), so every file sees the same stable ABI.

#define PY_SSIZE_T_CLEAN
#include <Python.h>
