#pragma once
// Rows side by side. A pack holds several rows' values, and each of its
// lanes performs exactly the IEEE operation the scalar code performs, so a
// lane's result is the scalar result, bit for bit: only the schedule changes.
//
// A formula that rows share is written once, as a template over its number
// type: `double` for the row-by-row update, a pack for independent rows at
// once. The helpers below (load, store, splat, abs, select) serve both, so
// the formula reads the same for each. Such a template must be
// [[gnu::always_inline]]: the batch loop is compiled once per instruction
// set, and a pack passed to a copy built for another is passed differently.
//
// `Narrow` is two lanes, one register of SSE2 or NEON; `Wide` is four, one
// AVX register, for code built for AVX (the fma copy of the batch loop).
// With GCC or Clang they are vector extensions, compiled to whatever the
// target offers; elsewhere they are the plain arrays below, a scalar
// operation per lane, the same bits (also chosen by defining
// KESTOV_PLAIN_LANES, which the core tests do to check them).

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "kestov/numeric.hpp"

#if defined(__SSE2__) && !defined(KESTOV_PLAIN_LANES)
#include <emmintrin.h>
#endif
// Code that takes four lanes only where it is built for fma (the batch
// loops' fma copies) may say so by defining KESTOV_WIDE_WITH_FMA: a pack of
// four then takes one instruction for a fused multiply-add or a square
// root, where GCC would otherwise emit a scalar one per lane. Elsewhere a
// pack of four is emulated on whatever the target has.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(KESTOV_PLAIN_LANES) && \
    defined(KESTOV_WIDE_WITH_FMA)
#define KESTOV_WIDE_BUILTINS 1
#include <immintrin.h>  // declares the builtins of every instruction set, fma's among them
#endif

// For a lambda that runs in a batch loop: inlined into each copy of the
// loop, so that it is built for that copy's instruction set.
#if defined(__GNUC__) || defined(__clang__)
#define KESTOV_INLINE_LAMBDA __attribute__((always_inline))
#else
#define KESTOV_INLINE_LAMBDA
#endif

namespace kestov::lanes {

#if (defined(__GNUC__) || defined(__clang__)) && !defined(KESTOV_PLAIN_LANES)

using Narrow = double __attribute__((vector_size(16)));
using Wide = double __attribute__((vector_size(32)));

#else

template <std::size_t N>
struct PlainMask {
    std::int64_t v[N];
    std::int64_t operator[](std::size_t i) const noexcept { return v[i]; }
    PlainMask operator&(const PlainMask& o) const noexcept { return each(o, [](auto a, auto b) { return a & b; }); }
    PlainMask operator|(const PlainMask& o) const noexcept { return each(o, [](auto a, auto b) { return a | b; }); }
    PlainMask& operator|=(const PlainMask& o) noexcept { return *this = *this | o; }
    PlainMask& operator&=(const PlainMask& o) noexcept { return *this = *this & o; }
    PlainMask operator~() const noexcept { return each(*this, [](auto a, auto) { return ~a; }); }
    template <class F>
    PlainMask each(const PlainMask& o, F f) const noexcept {
        PlainMask r;
        for (std::size_t i = 0; i < N; ++i) r.v[i] = f(v[i], o.v[i]);
        return r;
    }
};

template <std::size_t N>
struct PlainPack {
    double v[N];
    double operator[](std::size_t i) const noexcept { return v[i]; }
    double& operator[](std::size_t i) noexcept { return v[i]; }
    template <class F>
    PlainPack each(const PlainPack& o, F f) const noexcept {
        PlainPack r;
        for (std::size_t i = 0; i < N; ++i) r.v[i] = f(v[i], o.v[i]);
        return r;
    }
    template <class F>
    PlainMask<N> test(const PlainPack& o, F f) const noexcept {
        PlainMask<N> r;
        for (std::size_t i = 0; i < N; ++i) r.v[i] = f(v[i], o.v[i]) ? -1 : 0;
        return r;
    }
    static PlainPack all(double x) noexcept {
        PlainPack r;
        for (std::size_t i = 0; i < N; ++i) r.v[i] = x;
        return r;
    }
    // clang-format off
    friend PlainPack operator+(const PlainPack& a, const PlainPack& b) noexcept { return a.each(b, [](double x, double y) { return x + y; }); }
    friend PlainPack operator-(const PlainPack& a, const PlainPack& b) noexcept { return a.each(b, [](double x, double y) { return x - y; }); }
    friend PlainPack operator*(const PlainPack& a, const PlainPack& b) noexcept { return a.each(b, [](double x, double y) { return x * y; }); }
    friend PlainPack operator/(const PlainPack& a, const PlainPack& b) noexcept { return a.each(b, [](double x, double y) { return x / y; }); }
    friend PlainMask<N> operator==(const PlainPack& a, const PlainPack& b) noexcept { return a.test(b, [](double x, double y) { return x == y; }); }
    friend PlainMask<N> operator!=(const PlainPack& a, const PlainPack& b) noexcept { return a.test(b, [](double x, double y) { return x != y; }); }
    friend PlainMask<N> operator<(const PlainPack& a, const PlainPack& b) noexcept { return a.test(b, [](double x, double y) { return x < y; }); }
    friend PlainMask<N> operator<=(const PlainPack& a, const PlainPack& b) noexcept { return a.test(b, [](double x, double y) { return x <= y; }); }
    // clang-format on
    friend PlainPack operator+(const PlainPack& a, double s) noexcept { return a + all(s); }
    friend PlainPack operator-(const PlainPack& a, double s) noexcept { return a - all(s); }
    friend PlainPack operator*(const PlainPack& a, double s) noexcept { return a * all(s); }
    friend PlainPack operator/(const PlainPack& a, double s) noexcept { return a / all(s); }
    friend PlainPack operator+(double s, const PlainPack& a) noexcept { return all(s) + a; }
    friend PlainPack operator-(double s, const PlainPack& a) noexcept { return all(s) - a; }
    friend PlainPack operator*(double s, const PlainPack& a) noexcept { return all(s) * a; }
    friend PlainPack operator/(double s, const PlainPack& a) noexcept { return all(s) / a; }
    friend PlainMask<N> operator==(const PlainPack& a, double s) noexcept { return a == all(s); }
    friend PlainMask<N> operator!=(const PlainPack& a, double s) noexcept { return a != all(s); }
    PlainPack& operator+=(const PlainPack& o) noexcept { return *this = *this + o; }
};

using Narrow = PlainPack<2>;
using Wide = PlainPack<4>;

#endif

// The number of lanes of T: 1 for a double.
template <class T>
inline constexpr std::size_t width = sizeof(T) / sizeof(double);

template <class T>
using MaskOf = decltype(std::declval<T>() < std::declval<T>());

template <class P>
[[gnu::always_inline]] inline auto bits_of(P p) noexcept {
    return std::bit_cast<MaskOf<P>>(p);
}

// f(Pack{}, i) for i = from, from + width, ... while a whole pack fits
// below `to`, then f(0.0, i) for each index left: a loop over a column
// written once for a pack and a double.
template <class Pack, class F>
[[gnu::always_inline]] inline void each(std::size_t from, std::size_t to, F&& f) noexcept {
    std::size_t i = from;
    for (; i + width<Pack> <= to; i += width<Pack>) f(Pack{}, i);
    for (; i < to; ++i) f(0.0, i);
}

// width<T> consecutive values from p (no alignment needed).
template <class T>
[[gnu::always_inline]] inline T load(const double* p) noexcept {
    T t;
    std::memcpy(&t, p, sizeof t);
    return t;
}

template <class T>
[[gnu::always_inline]] inline void store(double* p, T x) noexcept {
    std::memcpy(p, &x, sizeof x);
}

// x to p past the caches (a non-temporal store), for outputs much larger
// than the caches: their lines are not read in first, and do not push the
// inputs out. p must be aligned to the pack's size. A thread that streams
// ends with `streamed()` before others read what it wrote.
// Elsewhere, a plain store.
#if defined(__x86_64__) && !defined(__clang__) && !defined(KESTOV_PLAIN_LANES)
[[gnu::always_inline]] inline void stream(double* p, Narrow x) noexcept { __builtin_ia32_movntpd(p, x); }
// Only in code built for AVX, where a Wide pack is one register. GCC has no
// target-neutral builtin, and its AVX one cannot be called from the lambdas
// inlined into such code.
[[gnu::always_inline]] inline void stream(double* p, Wide x) noexcept {
    asm("vmovntpd %1, %0" : "=m"(*reinterpret_cast<Wide*>(p)) : "x"(x));
}
#endif
template <class T>
[[gnu::always_inline]] inline void stream(double* p, T x) noexcept {
#if defined(__clang__) && !defined(KESTOV_PLAIN_LANES)
    __builtin_nontemporal_store(x, reinterpret_cast<T*>(__builtin_assume_aligned(p, sizeof(T))));
#else
    store(p, x);
#endif
}
[[gnu::always_inline]] inline void streamed() noexcept {
#if defined(__x86_64__)
    __builtin_ia32_sfence();
#endif
}

// Lane j of x; x itself for a double.
template <class T>
[[gnu::always_inline]] inline double lane(const T& x, std::size_t j) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return x;
    } else {
        return x[j];
    }
}

// x in every lane (not T{} + x: 0.0 + -0.0 is +0.0).
template <class T>
[[gnu::always_inline]] inline T splat(double x) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return x;
    } else {
        T t;
        for (std::size_t i = 0; i < width<T>; ++i) std::memcpy(reinterpret_cast<unsigned char*>(&t) + i * sizeof x, &x, sizeof x);
        return t;
    }
}

// |x|: the sign bit cleared, as fabs clears it (NaNs keep their payload).
template <class T>
[[gnu::always_inline]] inline T abs(T x) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return std::fabs(x);
    } else {
        return std::bit_cast<T>(bits_of(x) & ~bits_of(splat<T>(-0.0)));
    }
}

// Two sequences of `count` values, `stride` doubles apart, each summed on
// its own from -0.0, oldest first, one addition at a time: the window sums
// of a row, or (with stride 1, a pack's lanes one row apart) of rows side
// by side.
template <class T>
[[gnu::always_inline]] inline std::array<T, 2> sum_pairs(const double* a, const double* b, std::size_t stride,
                                                         std::size_t count) noexcept {
    T x = splat<T>(-0.0);
    T y = splat<T>(-0.0);
    for (std::size_t i = 0; i < count; ++i) {
        x += load<T>(a + i * stride);
        y += load<T>(b + i * stride);
    }
    return {x, y};
}

// sum_pairs with stride 1 for two packs of rows side by side, the second w
// rows after the first (w the pack's width): a value loaded at step i of
// the first pack is the one the second takes at step i - w, so each is
// loaded once for both. Returns the first pack's sums, then the second's,
// each added in the order sum_pairs adds it.
template <class T>
[[gnu::always_inline]] inline std::array<T, 4> sum_pairs_two(const double* a, const double* b,
                                                            std::size_t count) noexcept {
    constexpr std::size_t w = width<T>;
    T x0 = splat<T>(-0.0), y0 = x0, x1 = x0, y1 = x0;
    // The first pack takes [0, count), the second [w, w + count).
    const std::size_t both = count < w ? count : w;
    std::size_t i = 0;
    for (; i < both; ++i) {
        x0 += load<T>(a + i);
        y0 += load<T>(b + i);
    }
    for (i = w; i < count; ++i) {
        const T x = load<T>(a + i), y = load<T>(b + i);
        x0 += x;
        y0 += y;
        x1 += x;
        y1 += y;
    }
    for (i = count < w ? w : count; i < w + count; ++i) {
        x1 += load<T>(a + i);
        y1 += load<T>(b + i);
    }
    return {x0, y0, x1, y1};
}

// Each lane's correctly rounded square root. SSE2's instruction, where the
// target has it, rather than std::sqrt lane by lane, which must also check
// for errno's sake.
template <class T>
[[gnu::always_inline]] inline T sqrt(T x) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return std::sqrt(x);
    } else {
        T root = x;
#if defined(__SSE2__) && !defined(KESTOV_PLAIN_LANES)
        if constexpr (width<T> == 2) {
            root = std::bit_cast<T>(_mm_sqrt_pd(std::bit_cast<__m128d>(x)));
#ifdef KESTOV_WIDE_BUILTINS
        } else if constexpr (std::is_same_v<T, Wide>) {
            root = __builtin_ia32_sqrtpd256(x);
#endif
        } else {
            const Narrow low = sqrt(Narrow{x[0], x[1]}), high = sqrt(Narrow{x[2], x[3]});
            root = T{low[0], low[1], high[0], high[1]};
        }
#else
        for (std::size_t i = 0; i < width<T>; ++i) root[i] = std::sqrt(x[i]);
#endif
        return root;
    }
}

// `yes` where the condition holds, else `no`: a lanewise choice, not a branch.
[[gnu::always_inline]] inline double select(bool condition, double yes, double no) noexcept {
    return condition ? yes : no;
}
template <class M, class T>
[[gnu::always_inline]] inline T select(M condition, T yes, T no) noexcept {
#if defined(__GNUC__) && !defined(__clang__) && !defined(KESTOV_PLAIN_LANES)
    return condition ? yes : no;  // one blend where the target has it
#else
    return std::bit_cast<T>((condition & bits_of(yes)) | (~condition & bits_of(no)));
#endif
}

// Each lane's a * b + c, rounded once (fused_multiply_add's rounding). The
// copy of the batch loop built for processors with the instruction uses it.
template <class T>
[[gnu::always_inline]] inline T fma(T a, T b, T c) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return std::fma(a, b, c);
#ifdef KESTOV_WIDE_BUILTINS
    } else if constexpr (std::is_same_v<T, Wide>) {
        // The batch loops are built without the straight-line vectoriser,
        // which would have made one instruction of the loop below.
        return __builtin_ia32_vfmaddpd256(a, b, c);
#endif
    } else {
        T r = a;
        for (std::size_t i = 0; i < width<T>; ++i) r[i] = std::fma(a[i], b[i], c[i]);
        return r;
    }
}

// The larger of a and b, a NaN operand ignored, a on a tie (numeric.hpp's
// max_ignoring_nan, lane by lane).
template <class T>
[[gnu::always_inline]] inline T max_ignoring_nan(T a, T b) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return kestov::max_ignoring_nan(a, b);
    } else {
        return select(a != a, b, select(b != b, a, select(a < b, b, a)));
    }
}

// The smaller of a and b, a NaN operand ignored, a on a tie (numeric.hpp's
// min_ignoring_nan, lane by lane).
template <class T>
[[gnu::always_inline]] inline T min_ignoring_nan(T a, T b) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return kestov::min_ignoring_nan(a, b);
    } else {
        return select(a != a, b, select(b != b, a, select(b < a, b, a)));
    }
}

template <class M>
[[gnu::always_inline]] inline bool any(M m) noexcept {
    std::int64_t some = 0;
    for (std::size_t i = 0; i < sizeof(M) / sizeof(std::int64_t); ++i) some |= m[i];
    return some != 0;
}

}  // namespace kestov::lanes
