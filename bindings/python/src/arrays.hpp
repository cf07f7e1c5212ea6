#pragma once
// NumPy columns in, one NumPy array out. NumPy is reached lazily, on the
// first batch call, so importing the module never imports NumPy. Only
// arrays.cpp sees NumPy's headers; the row loop sees plain memory.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "python.hpp"

namespace kestov::py {

// What a column holds: prices and volumes are float64; a timestamp is an
// int64 in the caller's unit.
enum class Dtype : unsigned char { Float64, Int64 };

// A contiguous column read in place, float64 unless its reader says int64.
// The memory may be unaligned, so elements are copied out rather than
// dereferenced.
struct Column {
    const unsigned char* data = nullptr;
    std::size_t size = 0;

    double operator[](std::size_t i) const noexcept {
        double x;
        std::memcpy(&x, data + i * sizeof(double), sizeof(double));
        return x;
    }
    std::int64_t i64(std::size_t i) const noexcept {
        std::int64_t n;
        std::memcpy(&n, data + i * sizeof(std::int64_t), sizeof(std::int64_t));
        return n;
    }
};

// Columns [first, last) must have equal lengths, else ValueError(text).
struct LengthRule {
    std::size_t first;
    std::size_t last;
    const char* text;
};

// The checks every batch makes, in order: NumPy available, each argument a
// 1-D native array of its dtype (`types`, float64 where it is empty or says
// so; TypeError naming the argument), each contiguous (PanicException
// "<contiguity>: NotContiguousError"), then the length rules. False with the
// exception set on failure.
bool read_columns(std::span<PyObject* const> objects, std::span<const char* const> names,
                  const char* contiguity, std::span<const LengthRule> lengths, Column* columns,
                  std::span<const Dtype> types = {});

// A new C-order float64 array of shape (n,) when width is 0, else (n, width),
// its elements not yet set: the row loop writes every row. `data` receives
// its buffer.
PyObject* new_output(std::size_t n, std::size_t width, double** data);

// The columns of a panel: each argument a native float64 NumPy array with
// `ndim` dimensions (2: rows by series, 1: one row; int64 where `types`
// says so), C-contiguous, all of one
// shape whose last dimension is `series`. TypeError for the wrong kind of
// object, dtype or dimensions; ValueError for the wrong shape or layout.
// `rows` receives the row count (1 for a single row).
bool read_panel_columns(std::span<PyObject* const> objects, std::span<const char* const> names, int ndim,
                        std::size_t series, Column* columns, std::size_t* rows, std::span<const Dtype> types = {});

// A new C-order float64 array of shape (rows, series[, width]) or, with
// `ndim` 1, (series[, width]).
PyObject* new_panel_output(int ndim, std::size_t rows, std::size_t series, std::size_t width, double** data);

// `size` bytes (a multiple of huge_page) aligned to a huge page and on huge
// pages where the system offers them, for std::free; null when there is no
// room.
inline constexpr std::size_t huge_page = std::size_t{2} << 20;
void* huge_pages(std::size_t size) noexcept;

// Sets the process's PanicException (a BaseException subclass, made once).
void raise_panic(const char* text);

}  // namespace kestov::py
