#pragma once
// Pearson's correlation of two series over the last `period` pairs, from
// running sums as TA-Lib's CORREL keeps them:
//   (Sxy - Sx * Sy / n) / sqrt((Sxx - Sx * Sx / n) * (Syy - Sy * Sy / n)).
// A pair with a NaN or an infinity in either value is skipped whole. A
// window in which either series is constant has no correlation: no value,
// where TA-Lib writes 0, which would read as "unrelated".

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/pair.hpp"
#include "kestov/pair_sums.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class Correlation {
public:
    using Input = Pair;
    using Output = double;
    static constexpr std::string_view name = "Correlation";

private:
    bool has_value_ = false;
    double value_ = 0.0;
    PairSums sums_;
    std::uint64_t period_;

    Correlation(PairSums sums, std::uint64_t period) noexcept : sums_(std::move(sums)), period_(period) {}

public:
    static Expected<Correlation, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto sums = PairSums::with_length(period);
        if (!sums) return BuildError{sums.error()};
        return Correlation(std::move(sums).value(), period);
    }

    std::optional<double> update(const Pair& pair) noexcept {
        if (!is_finite(pair.a) || !is_finite(pair.b)) return value();
        sums_.push(pair.a, pair.b);
        has_value_ = false;
        if (!sums_.full()) return std::nullopt;
        return take(sums_.sums());
    }

    // Rows [0, n) of two columns, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Within
    // a stretch of finite pairs each row's leaving pair is in the columns:
    // the five sums' chains alone, a few rows at a time, then the values of
    // those rows side by side. A row whose sums are not all finite goes
    // through update, which takes them afresh from its window.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const PairColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>, chunk = stretches::chain_chunk;
        const std::size_t p = static_cast<std::size_t>(period_);
        const double count = static_cast<double>(period_);
        const auto by_row = [&](std::size_t i)
                                KESTOV_INLINE_LAMBDA { stretches::through_update(*this, c.at(i), out, i); };
        stretches::feed_pairs<Pack>(c, n, p, by_row, [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            PairSums::Sums s = sums_.sums();
            double kept[5][chunk];
            // The latest row with a value, whose value update would have kept.
            std::optional<double> latest;
            for (std::size_t c0 = first; c0 < last;) {
                const std::size_t c1 = std::min(last, c0 + chunk);
                const PairSums::Sums before = s;
                for (std::size_t r = c0; r < c1; ++r) {
                    s = PairSums::step(s, c.a[r - p], c.b[r - p], c.a[r], c.b[r]);
                    const std::size_t j = r - c0;
                    kept[0][j] = s.x, kept[1][j] = s.y, kept[2][j] = s.xx, kept[3][j] = s.yy, kept[4][j] = s.xy;
                }
                const auto sums_at = [&](std::size_t j) KESTOV_INLINE_LAMBDA {
                    return PairSums::Sums{kept[0][j], kept[1][j], kept[2][j], kept[3][j], kept[4][j]};
                };
                // The chain's rows up to the first whose sums are not all finite.
                std::size_t r = c1;
                lanes::MaskOf<Pack> spoilt{};
                std::size_t j = 0;
                for (; j + w <= c1 - c0; j += w)
                    for (std::size_t k = 0; k < 5; ++k) {
                        const Pack sum = lanes::load<Pack>(kept[k] + j);
                        spoilt |= lanes::bits_of(sum - sum);
                    }
                bool finite = !lanes::any(spoilt);
                for (; j < c1 - c0; ++j) finite &= PairSums::finite(sums_at(j));
                if (!finite) [[unlikely]] {
                    for (r = c0; PairSums::finite(sums_at(r - c0));) ++r;
                    s = r > c0 ? sums_at(r - 1 - c0) : before;
                }
                const auto at = [&](auto lane, std::size_t j) KESTOV_INLINE_LAMBDA {
                    using T = decltype(lane);
                    return of(lanes::load<T>(kept[0] + j), lanes::load<T>(kept[1] + j), lanes::load<T>(kept[2] + j),
                              lanes::load<T>(kept[3] + j), lanes::load<T>(kept[4] + j), count);
                };
                for (j = 0; j + w <= r - c0; j += w) lanes::store(out + c0 + j, at(Pack{}, j));
                for (; j < r - c0; ++j) out[c0 + j] = at(0.0, j);
                // Finite sums give a value that is a number, or none.
                for (j = r; j > c0; --j)
                    if (out[j - 1] == out[j - 1]) {
                        latest = out[j - 1];
                        break;
                    }
                if (r < c1) {
                    sums_.settle(s, c.a + r, c.b + r);
                    by_row(r);
                    if (has_value_) latest = value_;
                    s = sums_.sums();
                    c0 = r + 1;
                } else {
                    c0 = c1;
                }
            }
            sums_.settle(s, c.a + last, c.b + last);
            if (!take(s) && latest) value_ = *latest;
        });
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return sums_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        sums_.clear();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
        v(sums_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !sums_.full()) return "Correlation: a value before the window was full";
        return nullptr;
    }

private:
    template <class T>
    [[gnu::always_inline]] static T spread(T x, T y, T xx, T yy, double n) noexcept {
        return (xx - x * x / n) * (yy - y * y / n);
    }
    template <class T>
    [[gnu::always_inline]] static T correlation(T x, T y, T xy, T spread, double n) noexcept {
        return (xy - x * y / n) / lanes::sqrt(spread);
    }

    // A full window's correlation, NaN where it has none: rounding can
    // leave a constant series a spread just below zero.
    template <class T>
    [[gnu::always_inline]] static T of(T x, T y, T xx, T yy, T xy, double n) noexcept {
        const T s = spread(x, y, xx, yy, n);
        const T value = correlation(x, y, xy, s, n);
        if constexpr (std::is_same_v<T, double>)
            return s > 0.0 && is_finite(s) ? value : nan_value;
        else
            return lanes::select((lanes::splat<T>(0.0) < s) & (s - s == 0.0), value, lanes::splat<T>(nan_value));
    }

    // A full window's output from its sums, kept as the value.
    std::optional<double> take(const PairSums::Sums& s) noexcept {
        const double n = static_cast<double>(period_);
        const double d = spread(s.x, s.y, s.xx, s.yy, n);
        has_value_ = d > 0.0 && is_finite(d);
        if (!has_value_) return std::nullopt;
        value_ = correlation(s.x, s.y, s.xy, d, n);
        return value_;
    }
};

}  // namespace kestov
