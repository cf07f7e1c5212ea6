#pragma once
// NumPy columns in, one NumPy array out. NumPy is reached lazily, on the
// first batch call, so importing the module never imports NumPy. Only
// arrays.cpp sees NumPy's headers; the row loop sees plain memory.

#include <cstddef>
#include <cstring>
#include <span>

#include "python.hpp"

namespace kestov::py {

// A contiguous float64 column read in place. The memory may be unaligned,
// so elements are copied out rather than dereferenced.
struct Column {
    const unsigned char* data = nullptr;
    std::size_t size = 0;

    double operator[](std::size_t i) const noexcept {
        double x;
        std::memcpy(&x, data + i * sizeof(double), sizeof(double));
        return x;
    }
};

// Columns [first, last) must have equal lengths, else ValueError(text).
struct LengthRule {
    std::size_t first;
    std::size_t last;
    const char* text;
};

// The checks every batch makes, in order: NumPy available, each argument a
// 1-D native float64 array (TypeError naming the argument), each contiguous
// (PanicException "<contiguity>: NotContiguousError"), then the length
// rules. False with the exception set on failure.
bool read_columns(std::span<PyObject* const> objects, std::span<const char* const> names,
                  const char* contiguity, std::span<const LengthRule> lengths, Column* columns);

// A new C-order float64 array of shape (n,) when width is 0, else (n, width),
// its elements not yet set: the row loop writes every row. `data` receives
// its buffer.
PyObject* new_output(std::size_t n, std::size_t width, double** data);

// The columns of a panel: each argument a native float64 NumPy array with
// `ndim` dimensions (2: rows by series, 1: one row), C-contiguous, all of one
// shape whose last dimension is `series`. TypeError for the wrong kind of
// object, dtype or dimensions; ValueError for the wrong shape or layout.
// `rows` receives the row count (1 for a single row).
bool read_panel_columns(std::span<PyObject* const> objects, std::span<const char* const> names, int ndim,
                        std::size_t series, Column* columns, std::size_t* rows);

// A new C-order float64 array of shape (rows, series[, width]) or, with
// `ndim` 1, (series[, width]).
PyObject* new_panel_output(int ndim, std::size_t rows, std::size_t series, std::size_t width, double** data);

// Sets the process's PanicException (a BaseException subclass, made once).
void raise_panic(const char* text);

}  // namespace kestov::py
