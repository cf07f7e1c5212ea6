#pragma once
// Whole columns for the classes whose window holds their last finite inputs.
//
// Inside a stretch of finite values, once `lookback` of them have gone
// through update, each row's window is a slice of the column itself: the
// rest of the stretch needs nothing from the state, and its rows can be
// computed side by side (lanes.hpp). `by_row(i)` feeds row i through the
// class's own update; `body(first, last)` computes rows [first, last), which
// are finite and have `lookback` finite rows before them in the column, and
// leaves the state as update would have. A long stretch comes to the body
// in pieces.
//
// The body works in chunks of at most `chunk` rows, with scratch on the
// stack; `Pack` (lanes.hpp) is the width the stretches are found in;
// `lookback` must be at most `most_lookback` for a body to run (else
// every row goes through update).

#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov::stretches {

inline constexpr std::size_t chunk = 256;
inline constexpr std::size_t most_lookback = 256;
inline constexpr std::size_t piece = 2048;

template <class Pack, class ByRow, class Body>
[[gnu::always_inline]] inline void feed(const double* values, std::size_t n, std::size_t lookback, ByRow&& by_row,
                                        Body&& body) noexcept {
    if (lookback > most_lookback) {
        for (std::size_t i = 0; i < n; ++i) by_row(i);
        return;
    }
    constexpr std::size_t w = lanes::width<Pack>;
    std::size_t behind = 0;  // finite rows just before row i, up to lookback
    for (std::size_t i = 0; i < n;) {
        if (!is_finite(values[i])) {
            by_row(i++);
            behind = 0;
        } else if (behind < lookback) {
            by_row(i++);
            ++behind;
        } else {
            // A piece small enough to be read again from the first-level cache.
            const std::size_t limit = n - i < piece ? n : i + piece;
            // Taken whole first: x - x is +0.0 exactly when x is finite, so
            // the bits of all of them together are zero when every x is.
            std::size_t end = i;
            lanes::MaskOf<Pack> spoilt{};
            for (; end + w <= limit; end += w) {
                const Pack x = lanes::load<Pack>(values + end);
                spoilt |= lanes::bits_of(x - x);
            }
            if (lanes::any(spoilt)) end = i;
            while (end < limit && is_finite(values[end])) ++end;
            body(i, end);
            i = end;
        }
    }
}

// Rows [first, last) in chunks of at most `chunk`.
template <class Chunk>
[[gnu::always_inline]] inline void in_chunks(std::size_t first, std::size_t last, Chunk&& each) noexcept {
    for (std::size_t c = first; c < last; c += std::min(chunk, last - c)) each(c, std::min(c + chunk, last));
}

// Rows [0, n) of a class built from seeded averages: where `steady()` holds,
// each stretch of finite values goes through `step(state, value)` between
// `load()` and `store()`, with the state in local numbers; every other row
// through `by_row(i)`. `step` returns the row's output: a double, or an
// array of a row's several outputs.
template <class Steady, class Load, class Step, class Store, class ByRow>
[[gnu::always_inline]] inline void steady_rows(const double* values, std::size_t n, double* out, Steady&& steady,
                                               Load&& load, Step&& step, Store&& store, ByRow&& by_row) noexcept {
    for (std::size_t i = 0; i < n;) {
        if (!steady() || !is_finite(values[i])) {
            by_row(i++);
            continue;
        }
        auto state = load();
        for (; i < n && is_finite(values[i]); ++i) {
            const auto row = step(state, values[i]);
            if constexpr (std::is_same_v<decltype(row), const double>) {
                out[i] = row;
            } else {
                for (std::size_t j = 0; j < row.size(); ++j) out[i * row.size() + j] = row[j];
            }
        }
        store(state);
    }
}

}  // namespace kestov::stretches
