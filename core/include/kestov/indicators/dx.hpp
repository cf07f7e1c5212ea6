#pragma once
// Directional movement index: how much of the smoothed true range the
// stronger of the two directional movements takes over the weaker, 100 *
// |+DI - -DI| / (+DI + -DI). Wilder's running sums are seeded with the sum
// of the first period - 1 movements and then take one smoothing step per
// candle, so the first value comes with the candle after the first
// `period`: TA-Lib's timing. ADX (of the first 25) seeds with `period`
// movements instead; the two converge.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/adx.hpp"
#include "kestov/numeric.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class DX {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "DX";

private:
    using Movement = std::array<double, 3>;  // true range, +DM, -DM
    bool has_prev_ = false;
    bool smoothed_ = false;
    bool has_value_ = false;
    double prev_high_ = 0.0;
    double prev_low_ = 0.0;
    double prev_close_ = 0.0;
    Movement sums_{};  // the smoothed true range, +DM and -DM
    double value_ = 0.0;
    RingBuffer<Movement> seed_;  // the first period - 1 movements
    std::uint64_t period_;

    DX(RingBuffer<Movement> seed, std::uint64_t period) noexcept : seed_(std::move(seed)), period_(period) {}

public:
    static Expected<DX, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<Movement>::with_capacity(period - 1);
        if (!seed) return BuildError{seed.error()};
        return DX(std::move(seed).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double ph = prev_high_;
        const double pl = prev_low_;
        const double pc = prev_close_;
        const bool had = has_prev_;
        prev_high_ = h;
        prev_low_ = l;
        prev_close_ = candle.close();
        has_prev_ = true;
        if (!had) return std::nullopt;

        const Movement move = ADX::movement(h, l, ph, pl, pc);
        if (!smoothed_) {
            if (seed_.size() < period_ - 1) {
                seed_.push_back(move);
                return std::nullopt;
            }
            // Each sum in arrival order, one addition at a time.
            Movement sums{-0.0, -0.0, -0.0};
            for (std::size_t i = 0; i < seed_.size(); ++i)
                for (std::size_t k = 0; k < 3; ++k) sums[k] += seed_[i][k];
            sums_ = sums;
            smoothed_ = true;
        }
        smooth(sums_, move, static_cast<double>(period_));
        value_ = index(sums_);
        has_value_ = true;
        return value_;
    }

    // The sum less its share first, then the new movement.
    template <class V>
    [[gnu::always_inline]] static V smoothed(V sum, V move, double n) noexcept {
        return (sum - sum / n) + move;
    }
    [[gnu::always_inline]] static void smooth(Movement& sums, const Movement& move, double n) noexcept {
        for (std::size_t k = 0; k < 3; ++k) sums[k] = smoothed(sums[k], move[k], n);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev_high, prev_low, prev_close, tr, plus_dm, minus_dm, value;
        double n = 0.0;

        static bool settled(const DX& d) noexcept { return d.has_value_; }
        void load(const DX& d, std::size_t lane) noexcept {
            prev_high[lane] = d.prev_high_;
            prev_low[lane] = d.prev_low_;
            prev_close[lane] = d.prev_close_;
            tr[lane] = d.sums_[0];
            plus_dm[lane] = d.sums_[1];
            minus_dm[lane] = d.sums_[2];
            value[lane] = d.value_;
            n = static_cast<double>(d.period_);
        }
        void store(DX& d, std::size_t lane) const noexcept {
            d.prev_high_ = prev_high[lane];
            d.prev_low_ = prev_low[lane];
            d.prev_close_ = prev_close[lane];
            d.sums_ = {tr[lane], plus_dm[lane], minus_dm[lane]};
            d.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack h = x.high(), l = x.low();
            const auto [t, p, m] = ADX::movement(h, l, prev_high, prev_low, prev_close);
            prev_high = h;
            prev_low = l;
            prev_close = x.close();
            tr = smoothed(tr, t, n);
            plus_dm = smoothed(plus_dm, p, n);
            minus_dm = smoothed(minus_dm, m, n);
            return value = index(tr, plus_dm, minus_dm);
        }
    };
    // 0 where a divisor is 0; each ratio before its scaling, as TA-Lib. Of
    // a double, or of a pack of rows.
    template <class V>
    [[gnu::always_inline]] static V index(V tr, V plus_dm, V minus_dm) noexcept {
        const V zero = lanes::splat<V>(0.0);
        const V plus_di = 100.0 * (plus_dm / tr);
        const V minus_di = 100.0 * (minus_dm / tr);
        const V total = plus_di + minus_di;
        const V dx = lanes::select(total != zero, 100.0 * (lanes::abs(plus_di - minus_di) / total), zero);
        return lanes::select(tr != zero, dx, zero);
    }
    static double index(const Movement& sums) noexcept { return index(sums[0], sums[1], sums[2]); }

    // Candle rows [first, n) of valid columns once smoothed, a chunk at a
    // time: the movements several rows at a time, the sums' chain alone,
    // the index several rows at a time into out; then `then(r)` over each
    // row in order, with its DX value in out[r] (a chunk behind, between the
    // sums' steps).
    template <class Pack, class Then = stretches::Nothing>
    [[gnu::always_inline]] void smoothed_rows(const CandleColumns& c, std::size_t first, std::size_t n, double* out,
                                              Then&& then = Then{}) noexcept {
        const double p = static_cast<double>(period_);
        Movement sums = sums_;
        double moves[3][stretches::chunk];
        std::size_t base = 0;
        stretches::chain_then_lanes<Pack, 3>(
            first, n,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                ADX::movements<Pack>(c, c0, c1, prev_high_, prev_low_, prev_close_, moves);
                base = c0;
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                smooth(sums, {moves[0][r - base], moves[1][r - base], moves[2][r - base]}, p);
                return sums;
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, index(k[0], k[1], k[2])); },
            then);
        prev_high_ = c.high[n - 1];
        prev_low_ = c.low[n - 1];
        prev_close_ = c.close[n - 1];
        sums_ = sums;
        value_ = index(sums);
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !smoothed_; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i < n) smoothed_rows<Pack>(c, i, n, out);
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_ = false;
        smoothed_ = false;
        has_value_ = false;
        prev_high_ = prev_low_ = prev_close_ = value_ = 0.0;
        sums_ = {};
        seed_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(smoothed_);
        v(has_value_);
        v(prev_high_);
        v(prev_low_);
        v(prev_close_);
        v(sums_);
        v(value_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (smoothed_ && seed_.size() != period_ - 1) return "DX: smoothed flag and seed count disagree";
        if (has_value_ != smoothed_) return "DX: value flag and smoothed flag disagree";
        if (!has_prev_ && (smoothed_ || !seed_.empty())) return "DX: movements without a previous candle";
        return nullptr;
    }
};

}  // namespace kestov
