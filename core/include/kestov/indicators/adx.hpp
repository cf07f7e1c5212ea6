#pragma once
// Average directional index with its two directional indicators. Wilder's
// running-sum smoothing for true range and movement, then a Wilder average of
// DX; both in their own plain arithmetic, not the fused form of ATR.

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>
#include <type_traits>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ADX {
public:
    using Input = Candle;
    using Output = std::array<double, 3>;  // plus_di, minus_di, adx
    static constexpr std::string_view name = "ADX";

private:
    bool has_prev_ = false;
    bool smoothed_ = false;  // the three smoothed sums are seeded together
    bool has_adx_ = false;
    double prev_high_ = 0.0;
    double prev_low_ = 0.0;
    double prev_close_ = 0.0;
    double smoothed_tr_ = 0.0;
    double smoothed_plus_dm_ = 0.0;
    double smoothed_minus_dm_ = 0.0;
    double adx_ = 0.0;
    RingBuffer<double> dx_seed_;
    std::uint64_t period_;
    double tr_sum_ = 0.0;
    double plus_dm_sum_ = 0.0;
    double minus_dm_sum_ = 0.0;
    std::uint64_t seed_count_ = 0;

    ADX(RingBuffer<double> dx_seed, std::uint64_t period) noexcept : dx_seed_(std::move(dx_seed)), period_(period) {}

public:
    static Expected<ADX, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        // warmup_period() is 2 * period and must not wrap.
        if (period > std::numeric_limits<std::uint64_t>::max() / 2) return BuildError{RoomError::CountOverflow};
        auto seed = RingBuffer<double>::with_capacity(period);
        if (!seed) return BuildError{seed.error()};
        return ADX(std::move(seed).value(), period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        if (!has_prev_) {
            remember(candle);
            return std::nullopt;
        }
        const double ph = prev_high_;
        const double pl = prev_low_;
        const double pc = prev_close_;
        remember(candle);

        const auto [tr, plus_dm, minus_dm] = movement(h, l, ph, pl, pc);

        const double n = static_cast<double>(period_);
        if (smoothed_) {
            smoothed_tr_ = wilder_sum(smoothed_tr_, tr, n);
            smoothed_plus_dm_ = wilder_sum(smoothed_plus_dm_, plus_dm, n);
            smoothed_minus_dm_ = wilder_sum(smoothed_minus_dm_, minus_dm, n);
        } else {
            tr_sum_ = tr + tr_sum_;
            plus_dm_sum_ = plus_dm + plus_dm_sum_;
            minus_dm_sum_ = minus_dm + minus_dm_sum_;
            ++seed_count_;
            if (seed_count_ < period_) return std::nullopt;
            // The seed is the sum of the first movements, not their mean.
            smoothed_tr_ = tr_sum_;
            smoothed_plus_dm_ = plus_dm_sum_;
            smoothed_minus_dm_ = minus_dm_sum_;
            smoothed_ = true;
        }

        const auto [plus_di, minus_di, dx] = directions(smoothed_tr_, smoothed_plus_dm_, smoothed_minus_dm_);
        if (has_adx_) {
            adx_ = wilder_mean(adx_, dx, n);
        } else {
            dx_seed_.push_back(dx);
            if (dx_seed_.size() < period_) return std::nullopt;
            // Summed in arrival order, one addition at a time.
            double sum = -0.0;
            for (std::size_t i = 0; i < dx_seed_.size(); ++i) sum += dx_seed_[i];
            adx_ = sum / n;
            has_adx_ = true;
        }
        return Output{plus_di, minus_di, adx_};
    }

    // The pieces of a step, written once for a double and for a pack of
    // series side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static std::array<V, 3> movement(V h, V l, V ph, V pl, V pc) noexcept {
        const V tr = lanes::max_ignoring_nan(lanes::max_ignoring_nan(h - l, lanes::abs(h - pc)), lanes::abs(l - pc));
        const V up = h - ph;
        const V down = pl - l;
        const V zero = lanes::splat<V>(0.0);
        const V plus_dm = lanes::select(lanes::MaskOf<V>((down < up) & (zero < up)), up, zero);
        const V minus_dm = lanes::select(lanes::MaskOf<V>((up < down) & (zero < down)), down, zero);
        return {tr, plus_dm, minus_dm};
    }
    // The movements of candle rows [c0, c1) into moves[k][r - c0], Pack's
    // width of rows at a time: each row's previous candle is the row before
    // it, or for row 0 the one given.
    template <class Pack>
    [[gnu::always_inline]] static void movements(const CandleColumns& c, std::size_t c0, std::size_t c1, double ph,
                                                 double pl, double pc, double (*moves)[stretches::chunk]) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        const auto put = [&](std::size_t r, const auto& m) KESTOV_INLINE_LAMBDA {
            for (std::size_t k = 0; k < 3; ++k) lanes::store(&moves[k][r - c0], m[k]);
        };
        std::size_t r = c0;
        if (r == 0 && r < c1) put(r++, movement(c.high[0], c.low[0], ph, pl, pc));
        for (; r + w <= c1; r += w)
            put(r, movement(lanes::load<Pack>(c.high + r), lanes::load<Pack>(c.low + r),
                            lanes::load<Pack>(c.high + r - 1), lanes::load<Pack>(c.low + r - 1),
                            lanes::load<Pack>(c.close + r - 1)));
        for (; r < c1; ++r) put(r, movement(c.high[r], c.low[r], c.high[r - 1], c.low[r - 1], c.close[r - 1]));
    }
    template <class V>
    [[gnu::always_inline]] static V wilder_sum(V sum, V term, V n) noexcept {
        return term + (sum - sum / n);
    }
    // Both indicators and DX; 0 where a divisor is 0.
    template <class V>
    [[gnu::always_inline]] static std::array<V, 3> directions(V tr, V plus_dm, V minus_dm) noexcept {
        const V zero = lanes::splat<V>(0.0);
        const V plus_di = lanes::select(tr != zero, (plus_dm * 100.0) / tr, zero);
        const V minus_di = lanes::select(tr != zero, (minus_dm * 100.0) / tr, zero);
        const V di_sum = plus_di + minus_di;
        const V dx = lanes::select(di_sum != zero, (lanes::abs(plus_di - minus_di) * 100.0) / di_sum, zero);
        return {plus_di, minus_di, dx};
    }
    template <class V>
    [[gnu::always_inline]] static V wilder_mean(V mean, V term, V n) noexcept {
        return (term + (n - 1.0) * mean) / n;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev_high, prev_low, prev_close, tr, plus_dm, minus_dm, adx, n;

        static bool settled(const ADX& a) noexcept { return a.has_adx_; }
        void load(const ADX& a, std::size_t lane) noexcept {
            prev_high[lane] = a.prev_high_;
            prev_low[lane] = a.prev_low_;
            prev_close[lane] = a.prev_close_;
            tr[lane] = a.smoothed_tr_;
            plus_dm[lane] = a.smoothed_plus_dm_;
            minus_dm[lane] = a.smoothed_minus_dm_;
            adx[lane] = a.adx_;
            n[lane] = static_cast<double>(a.period_);
        }
        void store(ADX& a, std::size_t lane) const noexcept {
            a.prev_high_ = prev_high[lane];
            a.prev_low_ = prev_low[lane];
            a.prev_close_ = prev_close[lane];
            a.smoothed_tr_ = tr[lane];
            a.smoothed_plus_dm_ = plus_dm[lane];
            a.smoothed_minus_dm_ = minus_dm[lane];
            a.adx_ = adx[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] std::array<Pack, 3> step(const Candles& x) noexcept {
            const Pack h = x.high(), l = x.low();
            const auto [t, p, m] = movement(h, l, prev_high, prev_low, prev_close);
            prev_high = h;
            prev_low = l;
            prev_close = x.close();
            tr = wilder_sum(tr, t, n);
            plus_dm = wilder_sum(plus_dm, p, n);
            minus_dm = wilder_sum(minus_dm, m, n);
            const auto [plus_di, minus_di, dx] = directions(tr, plus_dm, minus_dm);
            adx = wilder_mean(adx, dx, n);
            return {plus_di, minus_di, adx};
        }
    };

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once settled, a chunk at a time: the movements several rows at
    // a time, the three sums' chain, the directions several rows at a time;
    // the average's chain over their DX values runs a chunk behind.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !has_adx_; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        const double p = static_cast<double>(period_);
        double tr = smoothed_tr_, plus_dm = smoothed_plus_dm_, minus_dm = smoothed_minus_dm_, adx = adx_;
        double moves[3][stretches::chunk];
        std::size_t base = 0;
        stretches::chain_then_lanes<Pack, 3>(
            i, n,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                movements<Pack>(c, c0, c1, prev_high_, prev_low_, prev_close_, moves);
                base = c0;
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                tr = wilder_sum(tr, moves[0][r - base], p);
                plus_dm = wilder_sum(plus_dm, moves[1][r - base], p);
                minus_dm = wilder_sum(minus_dm, moves[2][r - base], p);
                return std::array<double, 3>{tr, plus_dm, minus_dm};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA {
                const auto d = directions(k[0], k[1], k[2]);
                for (std::size_t j = 0; j < lanes::width<std::remove_cvref_t<decltype(k[0])>>; ++j)
                    for (std::size_t m = 0; m < 3; ++m) out[3 * (r + j) + m] = lanes::lane(d[m], j);
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                // The third slot holds the row's DX until its average is known.
                out[3 * r + 2] = adx = wilder_mean(adx, out[3 * r + 2], p);
            });
        prev_high_ = c.high[n - 1];
        prev_low_ = c.low[n - 1];
        prev_close_ = c.close[n - 1];
        smoothed_tr_ = tr;
        smoothed_plus_dm_ = plus_dm;
        smoothed_minus_dm_ = minus_dm;
        adx_ = adx;
    }

    bool is_ready() const noexcept { return has_adx_; }
    std::uint64_t warmup_period() const noexcept { return 2 * period_; }

    void reset() noexcept {
        has_prev_ = false;
        smoothed_ = false;
        has_adx_ = false;
        prev_high_ = prev_low_ = prev_close_ = 0.0;
        smoothed_tr_ = smoothed_plus_dm_ = smoothed_minus_dm_ = adx_ = 0.0;
        dx_seed_.clear();
        tr_sum_ = 0.0;
        plus_dm_sum_ = 0.0;
        minus_dm_sum_ = 0.0;
        seed_count_ = 0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(smoothed_);
        v(has_adx_);
        v(prev_high_);
        v(prev_low_);
        v(prev_close_);
        v(smoothed_tr_);
        v(smoothed_plus_dm_);
        v(smoothed_minus_dm_);
        v(adx_);
        v(tr_sum_);
        v(plus_dm_sum_);
        v(minus_dm_sum_);
        v(seed_count_);
        v(dx_seed_);
    }
    const char* state_fault() const noexcept {
        if (seed_count_ > period_ || smoothed_ != (seed_count_ == period_))
            return "ADX: smoothed flag and seed count disagree";
        if (!has_prev_ && seed_count_ != 0) return "ADX: movements without a previous candle";
        if (has_adx_ != (dx_seed_.size() == period_)) return "ADX: value flag and seed count disagree";
        if (!smoothed_ && !dx_seed_.empty()) return "ADX: DX seed before the sums were smoothed";
        return nullptr;
    }

private:
    void remember(const Candle& candle) noexcept {
        prev_high_ = candle.high();
        prev_low_ = candle.low();
        prev_close_ = candle.close();
        has_prev_ = true;
    }
};

}  // namespace kestov
