#pragma once
// The batch row loop: every row through the object's own core update, each
// output row written as it is produced (NaN where there is no output).
//
// The loop is compiled twice. Where the processor has fused multiply-add,
// the copy built for it computes each fused step with the instruction; the
// portable copy calls the library's fma. Both round a * b + c once, exactly,
// so they give the same bits; only the time differs.
//
// Building with KESTOV_PORTABLE_FMA defined (the CMake option of that name)
// leaves the fused copy out. Setting KESTOV_NO_HARDWARE_FMA=1 in the
// environment keeps it out of a run: both exist so that the portable copy
// can be checked against the same golden bits on a processor with the
// instruction.

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

#include "arrays.hpp"
#include "rows.hpp"
#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/lanes.hpp"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__)) && \
    !defined(KESTOV_PORTABLE_FMA)
#define KESTOV_FMA_COPY 1
#endif

// Vectorising hurts here. GCC's straight-line vectoriser packs neighbouring
// fields of a state into one register, and a fast field then waits for a
// slow one (ATR's previous close for its division), serialising rows that
// would otherwise overlap. Its loop vectoriser reads a window just written
// value by value in wide loads, which wait for those stores to complete.
#if defined(__GNUC__) && !defined(__clang__)
#define KESTOV_ROW_LOOP_OPTIONS gnu::flatten, gnu::optimize("no-tree-slp-vectorize", "no-tree-loop-vectorize")
#else
#define KESTOV_ROW_LOOP_OPTIONS gnu::flatten
#endif

namespace kestov::py {

template <class Output>
struct RowWidth : std::integral_constant<std::size_t, 0> {};  // a float: shape (n,)
template <std::size_t K>
struct RowWidth<std::array<double, K>> : std::integral_constant<std::size_t, K> {};

// Rows [0, n) through `shared`. Returns the number of rows fed: n, or the
// index of the first row whose candle is invalid, with its error in `error`.
template <class Core, class Rows>
[[gnu::always_inline]] inline std::size_t feed_rows(Core& shared, const Column* columns, std::size_t n, double* out,
                                                    std::optional<IndicatorError>& error) noexcept {
    using Output = typename Core::Output;
    constexpr std::size_t width = RowWidth<Output>::value;
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // The state is moved into a local for the loop: the compiler cannot tell
    // that the stores to the output leave the object alone, so it would
    // reload every field of the state on every row.
    Core core(std::move(shared));
    std::size_t i = 0;
    for (; i < n; ++i) {
        std::optional<Output> output;
        if constexpr (std::same_as<typename Core::Input, Candle>) {
            const auto input = Rows::row(columns, i);
            if (!input) [[unlikely]] {
                error = input.error();
                break;
            }
            output = core.update(input.value());
        } else {
            output = core.update(Rows::row(columns, i));
        }
        if constexpr (width == 0) {
            out[i] = output ? *output : nan;
        } else {
            for (std::size_t j = 0; j < width; ++j) out[i * width + j] = output ? (*output)[j] : nan;
        }
    }
    shared = std::move(core);
    return i;
}

template <class Core, class Rows>
[[KESTOV_ROW_LOOP_OPTIONS]] std::size_t feed_rows_portable(Core& core, const Column* columns, std::size_t n, double* out,
                                                std::optional<IndicatorError>& error) noexcept {
    return feed_rows<Core, Rows>(core, columns, n, out, error);
}

#ifdef KESTOV_FMA_COPY
template <class Core, class Rows>
[[KESTOV_ROW_LOOP_OPTIONS, gnu::target("fma")]] std::size_t feed_rows_fma(Core& core, const Column* columns, std::size_t n,
                                                                 double* out,
                                                                 std::optional<IndicatorError>& error) noexcept {
    return feed_rows<Core, Rows>(core, columns, n, out, error);
}

// Read once, at the first batch: a run uses one copy throughout.
inline bool has_fma() noexcept {
    static const bool yes = [] {
        const char* refuse = std::getenv("KESTOV_NO_HARDWARE_FMA");
        const bool refused = refuse != nullptr && *refuse != '\0' && !(refuse[0] == '0' && refuse[1] == '\0');
        return !refused && __builtin_cpu_supports("fma");
    }();
    return yes;
}
#endif

// Cores that also take whole columns (indicator.hpp): a value column or a
// pair of them as they are, candle columns up to the first invalid row,
// found first.
template <class Core, class Rows>
concept TakesColumns = kestov::TakesValueColumn<Core> || kestov::TakesPairColumns<Core> ||
    (kestov::TakesCandleColumns<Core> && requires(const Column* c) { Rows::pointers(c); });

// The first invalid row of [first, n), or n. Each block of rows is first tested
// whole, packs of rows at a time, with plain comparisons (which a NaN fails)
// and high - low within range (which an infinite bound fails): sure to pass
// the candle rules, it may refuse a valid candle (a range beyond the largest
// double), never pass an invalid one. Only a block that fails is searched
// with the rules themselves.
template <class Rows, class Pack>
[[gnu::always_inline]] inline std::size_t valid_rows(const Column* c, std::size_t first, std::size_t n) noexcept {
    constexpr std::size_t block = 256, w = lanes::width<Pack>;
    constexpr double most = std::numeric_limits<double>::max();
    const CandleColumns k = Rows::pointers(c);
    for (std::size_t i = first; i < n; i += block) {
        const std::size_t end = n - i < block ? n : i + block;
        lanes::MaskOf<Pack> doubtful{};
        std::size_t j = i;
        for (; j + w <= end; j += w) {
            const Pack o = lanes::load<Pack>(k.open + j), h = lanes::load<Pack>(k.high + j);
            const Pack l = lanes::load<Pack>(k.low + j), cl = lanes::load<Pack>(k.close + j);
            auto sure = (l <= h) & (o <= h) & (cl <= h) & (l <= o) & (l <= cl) & (h - l <= lanes::splat<Pack>(most));
            if (k.volume != nullptr) {
                const Pack v = lanes::load<Pack>(k.volume + j);
                sure &= (lanes::splat<Pack>(0.0) <= v) & (v <= lanes::splat<Pack>(most));
            }
            doubtful |= ~sure;
        }
        bool all = !lanes::any(doubtful);
        for (; j < end; ++j) {
            const auto f = Rows::fields(c, j);
            all &= Candle::valid(f[0], f[1], f[2], f[3], f[4]);
        }
        if (all) [[likely]]
            continue;
        for (j = i; j < end; ++j) {
            const auto f = Rows::fields(c, j);
            if (!Candle::valid(f[0], f[1], f[2], f[3], f[4])) return j;
        }
    }
    return n;
}

template <class Core, class Rows, class Pack>
[[gnu::always_inline]] inline std::size_t feed_columns(Core& core, const Column* c, std::size_t n, double* out,
                                                       std::optional<IndicatorError>& error) noexcept {
    if constexpr (std::same_as<typename Core::Input, double>) {
        core.template update_block<Pack>(doubles(c[0]), n, out);
        return n;
    } else if constexpr (std::same_as<typename Core::Input, Pair>) {
        core.template update_block<Pack>(PairColumns{doubles(c[0]), doubles(c[1])}, n, out);
        return n;
    } else {
        // A block of rows checked, then computed while its columns are still
        // in the second-level cache, rather than two passes over the whole.
        constexpr std::size_t block = 8192;
        constexpr std::size_t width = std::max<std::size_t>(1, RowWidth<typename Core::Output>::value);
        const CandleColumns k = Rows::pointers(c);
        for (std::size_t first = 0; first < n; first += block) {
            const std::size_t last = n - first < block ? n : first + block;
            const std::size_t valid = valid_rows<Rows, Pack>(c, first, last);
            const auto from = [&](const double* column) { return column == nullptr ? nullptr : column + first; };
            if (valid > first)
                core.template update_block<Pack>(
                    CandleColumns{from(k.open), from(k.high), from(k.low), from(k.close), from(k.volume)},
                    valid - first, out + first * width);
            if (valid < last) {
                error = Rows::row(c, valid).error();
                return valid;
            }
        }
        return n;
    }
}

template <class Core, class Rows>
[[KESTOV_ROW_LOOP_OPTIONS]] std::size_t feed_columns_portable(Core& core, const Column* c, std::size_t n, double* out,
                                                   std::optional<IndicatorError>& error) noexcept {
    return feed_columns<Core, Rows, lanes::Narrow>(core, c, n, out, error);
}

#ifdef KESTOV_FMA_COPY
template <class Core, class Rows>
[[KESTOV_ROW_LOOP_OPTIONS, gnu::target("fma")]] std::size_t feed_columns_fma(Core& core, const Column* c, std::size_t n,
                                                                    double* out,
                                                                    std::optional<IndicatorError>& error) noexcept {
    return feed_columns<Core, Rows, lanes::Wide>(core, c, n, out, error);
}
#endif

template <std::size_t N>
bool all_aligned(const Column* columns) noexcept {
    for (std::size_t i = 0; i < N; ++i)
        if (reinterpret_cast<std::uintptr_t>(columns[i].data) % alignof(double) != 0) return false;
    return true;
}

template <class Core, class Rows>
std::size_t run_rows(Core& core, const Column* columns, std::size_t n, double* out,
                     std::optional<IndicatorError>& error) noexcept {
    if constexpr (TakesColumns<Core, Rows>) {
        if (all_aligned<Rows::names.size()>(columns)) {
#ifdef KESTOV_FMA_COPY
            if (has_fma()) return feed_columns_fma<Core, Rows>(core, columns, n, out, error);
#endif
            return feed_columns_portable<Core, Rows>(core, columns, n, out, error);
        }
    }
#ifdef KESTOV_FMA_COPY
    if (has_fma()) return feed_rows_fma<Core, Rows>(core, columns, n, out, error);
#endif
    return feed_rows_portable<Core, Rows>(core, columns, n, out, error);
}

}  // namespace kestov::py
