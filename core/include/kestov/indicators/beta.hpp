#pragma once
// Beta of b against a over the last `period` returns, as TA-Lib's BETA: the
// slope of b's returns regressed on a's (a is the benchmark), from running
// sums of the returns:
//   (n * Sab - Sa * Sb) / (n * Saa - Sa * Sa),
// where each return is (value - previous) / previous. A pair with a NaN or
// an infinity in either value is skipped whole. A return that cannot be
// formed (a previous value of zero, or a quotient beyond the largest double)
// is left out, and the next is taken from this pair. A window in which a
// does not move has no beta: no value, where TA-Lib writes 0.

#include <algorithm>
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

class Beta {
public:
    using Input = Pair;
    using Output = double;
    static constexpr std::string_view name = "Beta";

private:
    bool has_previous_ = false;
    double previous_a_ = 0.0;
    double previous_b_ = 0.0;
    bool has_value_ = false;
    double value_ = 0.0;
    PairSums returns_;
    std::uint64_t period_;

    Beta(PairSums returns, std::uint64_t period) noexcept : returns_(std::move(returns)), period_(period) {}

public:
    static Expected<Beta, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto returns = PairSums::with_length(period);
        if (!returns) return BuildError{returns.error()};
        return Beta(std::move(returns).value(), period);
    }

    std::optional<double> update(const Pair& pair) noexcept {
        if (!is_finite(pair.a) || !is_finite(pair.b)) return value();
        if (!has_previous_) {
            previous_a_ = pair.a;
            previous_b_ = pair.b;
            has_previous_ = true;
            return std::nullopt;
        }
        const double ra = change(pair.a, previous_a_);
        const double rb = change(pair.b, previous_b_);
        previous_a_ = pair.a;
        previous_b_ = pair.b;
        if (!is_finite(ra) || !is_finite(rb)) return value();
        returns_.push(ra, rb);
        has_value_ = false;
        if (!returns_.full()) return std::nullopt;
        const PairSums::Sums& s = returns_.sums();
        const double n = static_cast<double>(period_);
        const double spread = spread_of(s.x, s.xx, n);
        if (!has_spread(spread)) return std::nullopt;
        value_ = slope(s.x, s.y, s.xy, spread, n);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of pair columns, as n calls of update would give them.
    // Once the window is full, a chunk at a time: its returns several rows
    // at a time, then the sums' chains alone, then the values several rows
    // at a time. A row whose pair or return is not finite, or whose sums
    // would not be, goes through update.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const PairColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>, chunk = stretches::chain_chunk;
        const double count = static_cast<double>(period_);
        double ra[chunk], rb[chunk], kept[4][chunk];
        // A full window's beta from the sums kept for row j, NaN where it has none.
        const auto value_at = [&](auto kind, std::size_t j) KESTOV_INLINE_LAMBDA {
            using V = decltype(kind);
            const V x = lanes::load<V>(kept[0] + j), y = lanes::load<V>(kept[1] + j);
            const V xx = lanes::load<V>(kept[2] + j), xy = lanes::load<V>(kept[3] + j);
            const V d = spread_of(x, xx, count);
            if constexpr (std::is_same_v<V, double>)
                return has_spread(d) ? slope(x, y, xy, d, count) : nan_value;
            else
                return lanes::select((lanes::splat<V>(0.0) < d) & (d - d == 0.0), slope(x, y, xy, d, count),
                                     lanes::splat<V>(nan_value));
        };
        for (std::size_t i = 0; i < n;) {
            if (!returns_.full() || !has_previous_) {
                stretches::through_update(*this, c.at(i), out, i);
                ++i;
                continue;
            }
            const std::size_t len = std::min(chunk, n - i);
            // The first return is from the pair held; the rest from the column.
            ra[0] = change(c.a[i], previous_a_);
            rb[0] = change(c.b[i], previous_b_);
            stretches::fill_rows<Pack>(ra + 1, 1, len, [&](auto kind, std::size_t j) KESTOV_INLINE_LAMBDA {
                using V = decltype(kind);
                return change(lanes::load<V>(c.a + i + j), lanes::load<V>(c.a + i + j - 1));
            });
            stretches::fill_rows<Pack>(rb + 1, 1, len, [&](auto kind, std::size_t j) KESTOV_INLINE_LAMBDA {
                using V = decltype(kind);
                return change(lanes::load<V>(c.b + i + j), lanes::load<V>(c.b + i + j - 1));
            });
            // A finite return has a finite pair, and the one before it held.
            const std::size_t finite =
                stretches::finite_until<Pack>(rb, 0, stretches::finite_until<Pack>(ra, 0, len));
            std::size_t k = 0;
            PairSums::Sums s = returns_.sums();
            for (; k < finite && returns_.step_finite(s, ra[k], rb[k]); ++k)
                kept[0][k] = s.x, kept[1][k] = s.y, kept[2][k] = s.xx, kept[3][k] = s.xy;
            returns_.resume(s);
            std::size_t j = 0;
            for (; j + w <= k; j += w) lanes::store(out + i + j, value_at(Pack{}, j));
            for (; j < k; ++j) out[i + j] = value_at(0.0, j);
            if (k > 0) {
                // update keeps the latest value, and whether the last row had one;
                // a value may be NaN (n * xy - x * y beyond the largest double both ways).
                for (j = k; j > 0 && !has_spread(spread_of(kept[0][j - 1], kept[2][j - 1], count)); --j) {
                }
                if (j > 0) value_ = out[i + j - 1];
                has_value_ = j == k;
                previous_a_ = c.a[i + k - 1];
                previous_b_ = c.b[i + k - 1];
            }
            i += k;
            if (k < len) {
                stretches::through_update(*this, c.at(i), out, i);
                ++i;
            }
        }
    }

    template <class V>
    [[gnu::always_inline]] static V change(V value, V previous) noexcept {
        return (value - previous) / previous;
    }
    template <class V>
    [[gnu::always_inline]] static V spread_of(V x, V xx, double n) noexcept {
        return n * xx - x * x;
    }
    template <class V>
    [[gnu::always_inline]] static V slope(V x, V y, V xy, V spread, double n) noexcept {
        return (n * xy - x * y) / spread;
    }
    // A window in which a does not move, or whose spread overflows, has no beta.
    static bool has_spread(double spread) noexcept { return spread > 0.0 && is_finite(spread); }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return returns_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        returns_.clear();
        has_previous_ = has_value_ = false;
        previous_a_ = previous_b_ = value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_previous_);
        v(previous_a_);
        v(previous_b_);
        v(has_value_);
        v(value_);
        v(returns_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !returns_.full()) return "Beta: a value before the window was full";
        if (returns_.size() != 0 && !has_previous_) return "Beta: returns without a previous pair";
        return nullptr;
    }
};

}  // namespace kestov
