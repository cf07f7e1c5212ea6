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

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>
#include <utility>

#include "arrays.hpp"
#include "kestov/candle.hpp"
#include "kestov/error.hpp"

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

template <class Core, class Rows>
std::size_t run_rows(Core& core, const Column* columns, std::size_t n, double* out,
                     std::optional<IndicatorError>& error) noexcept {
#ifdef KESTOV_FMA_COPY
    if (has_fma()) return feed_rows_fma<Core, Rows>(core, columns, n, out, error);
#endif
    return feed_rows_portable<Core, Rows>(core, columns, n, out, error);
}

}  // namespace kestov::py
