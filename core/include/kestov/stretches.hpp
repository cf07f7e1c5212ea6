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
// in pieces. A body that returns a row number is given rows [first, limit)
// unchecked instead: it computes them up to the first that is not finite,
// and returns that row (or limit), finding it as it goes, so that the check
// overlaps its own work rather than holding it up.
//
// The body works in chunks of at most `chunk` rows, with scratch on the
// stack; `Pack` (lanes.hpp) is the width the stretches are found in;
// `lookback` must be at most `most_lookback` for a body to run (else
// every row goes through update).

#include <algorithm>
#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/pair.hpp"

namespace kestov::stretches {

inline constexpr std::size_t chunk = 256;
inline constexpr std::size_t chain_chunk = 32;
inline constexpr std::size_t most_lookback = 256;
inline constexpr std::size_t piece = 2048;

// Row i through the object's own update: its outputs, or NaN where it
// gives none.
template <class T, class Input>
[[gnu::always_inline]] inline void through_update(T& object, const Input& input, double* out, std::size_t i) noexcept {
    const auto r = object.update(input);
    if constexpr (std::is_same_v<typename T::Output, double>) {
        out[i] = r ? *r : nan_value;
    } else {
        constexpr std::size_t k = std::tuple_size_v<typename T::Output>;
        for (std::size_t j = 0; j < k; ++j) out[i * k + j] = r ? (*r)[j] : nan_value;
    }
}

// The first row of [first, last) whose value is not finite, or last.
template <class Pack>
[[gnu::always_inline]] inline std::size_t finite_until(const double* values, std::size_t first,
                                                       std::size_t last) noexcept {
    constexpr std::size_t w = lanes::width<Pack>;
    lanes::MaskOf<Pack> spoilt{};
    std::size_t i = first;
    for (; i + w <= last; i += w) {
        const Pack x = lanes::load<Pack>(values + i);
        // x - x is +0.0 exactly when x is finite, so the bits of all of
        // them together are zero when every x is.
        spoilt |= lanes::bits_of(x - x);
    }
    if (lanes::any(spoilt)) i = first;
    while (i < last && is_finite(values[i])) ++i;
    return i;
}

// `feed` over rows whose finiteness `finite_at(i)` tells, and
// `finite_until(first, last)` finds as finite_until does.
template <class Pack, class FiniteAt, class FiniteUntil, class ByRow, class Body>
[[gnu::always_inline]] inline void feed_where(std::size_t n, std::size_t lookback, FiniteAt&& finite_at,
                                              FiniteUntil&& finite_until, ByRow&& by_row, Body&& body) noexcept {
    if (lookback > most_lookback) {
        for (std::size_t i = 0; i < n; ++i) by_row(i);
        return;
    }
    std::size_t behind = 0;  // finite rows just before row i, up to lookback
    for (std::size_t i = 0; i < n;) {
        if (!finite_at(i)) {
            by_row(i++);
            behind = 0;
        } else if (behind < lookback) {
            by_row(i++);
            ++behind;
        } else {
            // A piece small enough to be read again from the first-level cache.
            const std::size_t limit = n - i < piece ? n : i + piece;
            if constexpr (std::is_same_v<decltype(body(i, limit)), std::size_t>) {
                // The body finds the first value that is not finite itself,
                // as it goes, and stops there.
                i = body(i, limit);
            } else {
                const std::size_t end = finite_until(i, limit);
                body(i, end);
                i = end;
            }
        }
    }
}

template <class Pack, class ByRow, class Body>
[[gnu::always_inline]] inline void feed(const double* values, std::size_t n, std::size_t lookback, ByRow&& by_row,
                                        Body&& body) noexcept {
    feed_where<Pack>(
        n, lookback, [&](std::size_t i) KESTOV_INLINE_LAMBDA { return is_finite(values[i]); },
        [&](std::size_t first, std::size_t last)
            KESTOV_INLINE_LAMBDA { return finite_until<Pack>(values, first, last); },
        by_row, body);
}

// `feed` over pairs, a row finite where both its values are.
template <class Pack, class ByRow, class Body>
[[gnu::always_inline]] inline void feed_pairs(const PairColumns& c, std::size_t n, std::size_t lookback,
                                              ByRow&& by_row, Body&& body) noexcept {
    feed_where<Pack>(
        n, lookback, [&](std::size_t i) KESTOV_INLINE_LAMBDA { return is_finite(c.a[i]) && is_finite(c.b[i]); },
        [&](std::size_t first, std::size_t last)
            KESTOV_INLINE_LAMBDA { return finite_until<Pack>(c.b, first, finite_until<Pack>(c.a, first, last)); },
        by_row, body);
}

// `feed` for rows cheap enough to compute before knowing they are finite:
// a piece is computed and checked in one pass over the column, and again up
// to its first non-finite value only when it has one. `pack_at(i, x)`
// computes the rows of the pack x loaded at row i, `row_at(i)` one row, and
// `settle(last)` leaves the state as update would after row last - 1.
template <class Pack, class ByRow, class PackAt, class RowAt, class Settle>
[[gnu::always_inline]] inline void feed_checked(const double* values, std::size_t n, std::size_t lookback,
                                                ByRow&& by_row, PackAt&& pack_at, RowAt&& row_at,
                                                Settle&& settle) noexcept {
    constexpr std::size_t w = lanes::width<Pack>;
    feed<Pack>(values, n, lookback, by_row, [&](std::size_t first, std::size_t limit) KESTOV_INLINE_LAMBDA {
        std::size_t end = first;
        lanes::MaskOf<Pack> spoilt{};
        for (; end + w <= limit; end += w) {
            const Pack x = lanes::load<Pack>(values + end);
            spoilt |= lanes::bits_of(x - x);  // zero exactly when every x is finite
            pack_at(end, x);
        }
        if (lanes::any(spoilt)) end = first;
        for (; end < limit && is_finite(values[end]); ++end) row_at(end);
        if (end > first) settle(end);
        return end;
    });
}

// Rows [first, last) in chunks of at most `size` (at most `chunk`).
template <std::size_t size = chunk, class Chunk>
[[gnu::always_inline]] inline void in_chunks(std::size_t first, std::size_t last, Chunk&& each) noexcept {
    for (std::size_t c = first; c < last; c += std::min(size, last - c)) each(c, std::min(c + size, last));
}

// The cache lines of the outputs of rows [first, last), `width` to a row,
// asked for ahead of their stores: a chunk's outputs are written in a burst
// after its work, and stores to lines not yet in the cache would stall it.
[[gnu::always_inline]] inline void claim_rows(double* out, std::size_t first, std::size_t last,
                                              std::size_t width) noexcept {
    constexpr std::size_t line = 64 / sizeof(double);
    for (std::size_t j = first * width; j < last * width; j += line) __builtin_prefetch(out + j, 1);
}

// Row i's output: a double, or an array of a row's several outputs; or,
// of packs (lanes.hpp), the outputs of a pack's width of rows from i.
template <class Row>
[[gnu::always_inline]] inline void put(double* out, std::size_t i, const Row& row) noexcept {
    if constexpr (std::is_same_v<Row, double>) {
        out[i] = row;
    } else if constexpr (requires { lanes::width<typename Row::value_type>; } &&
                         !std::is_same_v<typename Row::value_type, double>) {
        constexpr std::size_t k = std::tuple_size_v<Row>, w = lanes::width<typename Row::value_type>;
#pragma GCC unroll 8
        for (std::size_t r = 0; r < w; ++r)
#pragma GCC unroll 8
            for (std::size_t j = 0; j < k; ++j) out[(i + r) * k + j] = row[j][r];
    } else if constexpr (requires { row.size(); }) {
        for (std::size_t j = 0; j < row.size(); ++j) out[i * row.size() + j] = row[j];
    } else {
        lanes::store(out + i, row);
    }
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
        for (; i < n && is_finite(values[i]); ++i) put(out, i, step(state, values[i]));
        store(state);
    }
}

// `feed` for an indicator object whose rows outside the body go through
// its own update, their outputs into out.
template <class Pack, class T, class Body>
[[gnu::always_inline]] inline void feed_object(T& object, const double* values, std::size_t n, double* out,
                                               std::size_t lookback, Body&& body) noexcept {
    feed<Pack>(
        values, n, lookback,
        [&](std::size_t i) KESTOV_INLINE_LAMBDA { through_update(object, values[i], out, i); }, body);
}

// Rows [0, n) of a value column: rows go through `by_row(i)` while
// `steady()` does not hold or the value is not finite, and each stretch of
// finite values that starts steady goes to `run(first, last)`.
template <class Steady, class ByRow, class Run>
[[gnu::always_inline]] inline void steady_stretches(const double* values, std::size_t n, Steady&& steady, ByRow&& by_row,
                                                    Run&& run) noexcept {
    for (std::size_t i = 0; i < n;) {
        if (!steady() || !is_finite(values[i])) {
            by_row(i++);
            continue;
        }
        std::size_t end = i + 1;
        while (end < n && is_finite(values[end])) ++end;
        run(i, end);
        i = end;
    }
}

// A step that does nothing, where a piece is not needed.
struct Nothing {
    template <class... T>
    void operator()(T&&...) const noexcept {}
};
inline constexpr Nothing nothing{};

// Rows [first, last) of a recurrence whose outputs are a function of the
// chain's values alone, a chunk at a time: first `before(c0, c1)`, for
// what the chunk's rows need that is independent of the chain (computed
// several rows at a time); then `chain(r)` takes row r's step, with the
// state in the caller's locals, and returns the K values the output needs;
// then `finish(kept, r)` computes the outputs of Pack's width of rows from
// r (kept a std::array<Pack, K>), or of row r alone (std::array<double,
// K>). The chain waits on nothing else, and the divisions of the outputs
// run several rows at a time. A second chain fed by what `finish` wrote,
// `after(r)` for each row in order, runs a chunk behind, its steps between
// the first chain's, so that the two chains' waits overlap. A `before`
// that returns a row number ends the rows there (its chunk cut short):
// returns where they ended, `last` when they did not.
template <class Pack, std::size_t K, class Before, class Chain, class Finish, class After = Nothing>
[[gnu::always_inline]] inline std::size_t chain_then_lanes(std::size_t first, std::size_t last, Before&& before,
                                                           Chain&& chain, Finish&& finish,
                                                           After&& after = After{}) noexcept {
    constexpr std::size_t w = lanes::width<Pack>;
    constexpr bool second = !std::is_same_v<std::remove_cvref_t<After>, Nothing>;
    double kept[K][chain_chunk];
    std::size_t behind = first, behind_end = first;  // rows the second chain has yet to take
    std::size_t end = last;
    for (std::size_t c0 = first, c1; c0 < end; c0 = c1) {
        c1 = std::min(c0 + chain_chunk, end);
        if constexpr (std::is_same_v<decltype(before(c0, c1)), std::size_t>) {
            const std::size_t stop = before(c0, c1);
            if (stop < c1) end = c1 = stop;
            if (c1 == c0) break;
        } else {
            before(c0, c1);
        }
        for (std::size_t r = c0; r < c1; ++r) {
            const std::array<double, K> k = chain(r);
            for (std::size_t j = 0; j < K; ++j) kept[j][r - c0] = k[j];
            if constexpr (second) {
                if (behind < behind_end) after(behind++);
            }
        }
        if constexpr (second) {
            while (behind < behind_end) after(behind++);
        }
        std::size_t r = c0;
        for (; r + w <= c1; r += w) {
            std::array<Pack, K> k;
            for (std::size_t j = 0; j < K; ++j) k[j] = lanes::load<Pack>(&kept[j][r - c0]);
            finish(k, r);
        }
        for (; r < c1; ++r) {
            std::array<double, K> k;
            for (std::size_t j = 0; j < K; ++j) k[j] = kept[j][r - c0];
            finish(k, r);
        }
        behind_end = c1;
    }
    if constexpr (second) {
        while (behind < behind_end) after(behind++);
    }
    return end;
}

// dest[r - c0] = at(T{}, r) for the rows [c0, c1): a pack's width of rows
// at a time (T the pack), then the rest one row at a time (T double).
template <class Pack, class At>
[[gnu::always_inline]] inline void fill_rows(double* dest, std::size_t c0, std::size_t c1, At&& at) noexcept {
    constexpr std::size_t w = lanes::width<Pack>;
    std::size_t r = c0;
    for (; r + w <= c1; r += w) lanes::store(dest + (r - c0), at(Pack{}, r));
    for (; r < c1; ++r) dest[r - c0] = at(0.0, r);
}

// Rows [first, last) of a running total whose terms need no state: the
// terms `term(T{}, r)` several rows at a time (as fill_rows), then the
// total's chain alone, one addition per row, each total written to out.
// Returns the total.
template <class Pack, class Term>
[[gnu::always_inline]] inline double running_total(double total, std::size_t first, std::size_t last, double* out,
                                                   Term&& term) noexcept {
    double terms[chain_chunk];
    std::size_t base = first;
    chain_then_lanes<Pack, 1>(
        first, last,
        [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            base = c0;
            fill_rows<Pack>(terms, c0, c1, term);
        },
        [&](std::size_t r) KESTOV_INLINE_LAMBDA {
            total = total + terms[r - base];
            return std::array<double, 1>{total};
        },
        [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, k[0]); });
    return total;
}

// Rows [0, n) of valid candle columns for an indicator whose state is a
// running total and the last close, its term made of a row's close, the
// close before it and the row's volume, `T::term(previous, close, volume)`
// (OBV, PVT). The first row, which may read the stored close, goes through
// update; the terms of the rest are formed several rows at a time.
template <class Pack, class T>
[[gnu::always_inline]] inline void close_terms_rows(T& object, const CandleColumns& c, std::size_t n, double* out,
                                                    double& total, double& last_close) noexcept {
    if (n == 0) return;
    out[0] = *object.update(c.at(0));
    total = running_total<Pack>(total, 1, n, out, [&](auto kind, std::size_t r) KESTOV_INLINE_LAMBDA {
        using V = decltype(kind);
        return T::term(lanes::load<V>(c.close + r - 1), lanes::load<V>(c.close + r), lanes::load<V>(c.volume + r));
    });
    last_close = c.close[n - 1];
}

}  // namespace kestov::stretches
