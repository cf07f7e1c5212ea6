#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace kestov {

// Finite when the magnitude bits are below those of infinity; NaN and both
// infinities fail. Tested on the bits so that no compiler flag can change it.
constexpr bool is_finite(double x) noexcept {
    return (std::bit_cast<std::uint64_t>(x) & 0x7fff'ffff'ffff'ffffULL) < 0x7ff0'0000'0000'0000ULL;
}

// The larger of two values, ignoring a NaN operand: a when b is NaN, b when
// a is, else a < b ? b : a. Written as two selects the compiler can make
// without branches: a NaN b fails b > a and gives a, and b > a is a < b.
constexpr double max_ignoring_nan(double a, double b) noexcept {
    const double larger = b > a ? b : a;
    return a != a ? b : larger;
}

// The smaller of two values, ignoring a NaN operand: a when b is NaN, b when
// a is, else b < a ? b : a.
constexpr double min_ignoring_nan(double a, double b) noexcept {
    const double smaller = b < a ? b : a;
    return a != a ? b : smaller;
}

// Fused multiply-add, a * b + c with one rounding. Used only where an
// indicator's arithmetic calls for it.
inline double fused_multiply_add(double a, double b, double c) noexcept { return std::fma(a, b, c); }

}  // namespace kestov
