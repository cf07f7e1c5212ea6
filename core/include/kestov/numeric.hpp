#pragma once

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>

// Every operation on doubles must round to double, as on every processor
// with SSE2, NEON or the like, for results to be the same bits everywhere.
// Where the compiler keeps intermediates wider (32-bit x86 computing in the
// x87 unit's 80-bit registers), they would differ in silence: refuse.
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "kestov needs FLT_EVAL_METHOD 0: on 32-bit x86 add -msse2 -mfpmath=sse (the kestov::core target does)"
#endif

namespace kestov {

// What a row without an output holds in a column of outputs.
inline constexpr double nan_value = std::numeric_limits<double>::quiet_NaN();

// Finite when the magnitude bits are below those of infinity; NaN and both
// infinities fail. Tested on the bits so that no compiler flag can change it.
constexpr bool is_finite(double x) noexcept {
    return (std::bit_cast<std::uint64_t>(x) & 0x7fff'ffff'ffff'ffffULL) < 0x7ff0'0000'0000'0000ULL;
}

// The larger of two values, ignoring a NaN operand.
constexpr double max_ignoring_nan(double a, double b) noexcept {
    if (a != a) return b;
    if (b != b) return a;
    return a < b ? b : a;
}

// The smaller of two values, ignoring a NaN operand.
constexpr double min_ignoring_nan(double a, double b) noexcept {
    if (a != a) return b;
    if (b != b) return a;
    return b < a ? b : a;
}

// a when `take`, else b, through a mask: a choice the compiler keeps free of
// branches, for conditions as unpredictable as the prices they test.
constexpr double pick(bool take, double a, double b) noexcept {
    const std::uint64_t mask = -static_cast<std::uint64_t>(take);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(a) & mask) | (std::bit_cast<std::uint64_t>(b) & ~mask));
}

// Fused multiply-add, a * b + c with one rounding. Used only where an
// indicator's arithmetic calls for it.
inline double fused_multiply_add(double a, double b, double c) noexcept { return std::fma(a, b, c); }

}  // namespace kestov
