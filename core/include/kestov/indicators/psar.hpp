#pragma once
// Parabolic stop and reverse. Starts long on the first candle with no
// look-ahead; reverses when price touches the clamped stop.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class PSAR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "PSAR";

private:
    double af_start_;
    double af_step_;
    double af_max_;
    double prev_high_ = 0.0;
    double prev_low_ = 0.0;
    double sar_ = 0.0;
    double ep_ = 0.0;  // highest high of a long run, lowest low of a short one
    double af_;
    bool initialized_ = false;
    bool long_ = true;

    PSAR(double af_start, double af_step, double af_max) noexcept
        : af_start_(af_start), af_step_(af_step), af_max_(af_max), af_(af_start) {}

public:
    // All three factors are checked for sign and finiteness before they are
    // compared with each other; the step is never compared with the cap.
    static Expected<PSAR, BuildError> create(double af_start, double af_step, double af_max) noexcept {
        for (const double factor : {af_start, af_step, af_max})
            if (!(is_finite(factor) && factor > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        if (af_start > af_max) return BuildError{IndicatorError::invalid_period("af_start must be <= af_max")};
        return PSAR(af_start, af_step, af_max);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        if (!initialized_) {
            prev_high_ = h;
            prev_low_ = l;
            sar_ = l;
            ep_ = h;
            af_ = af_start_;
            initialized_ = true;
            long_ = true;
            return std::nullopt;
        }
        const double candidate = sar_ + af_ * (ep_ - sar_);
        double level;
        // Touching the stop reverses (inclusive tests). The factor grows only
        // with a new extreme, never on the reversal candle, and a reversal
        // returns the old extreme without clamping.
        if (long_) {
            const double stop = min_ignoring_nan(min_ignoring_nan(candidate, prev_low_), l);
            if (l <= stop) {
                long_ = false;
                level = ep_;
                ep_ = l;
                af_ = af_start_;
            } else {
                // No branch: a new extreme is as random as the prices.
                const bool extends = h > ep_;
                af_ = pick(extends, min_ignoring_nan(af_ + af_step_, af_max_), af_);
                ep_ = pick(extends, h, ep_);
                level = stop;
            }
        } else {
            const double stop = max_ignoring_nan(max_ignoring_nan(candidate, prev_high_), h);
            if (h >= stop) {
                long_ = true;
                level = ep_;
                ep_ = h;
                af_ = af_start_;
            } else {
                const bool extends = l < ep_;
                af_ = pick(extends, min_ignoring_nan(af_ + af_step_, af_max_), af_);
                ep_ = pick(extends, l, ep_);
                level = stop;
            }
        }
        sar_ = level;
        prev_high_ = h;
        prev_low_ = l;
        return level;
    }

    // Ready from the first candle, one candle before the first level.
    // One step of a started series of a panel, for each run, as update
    // takes it above (the panel's tests hold the two to the same bits):
    // lanes take both runs' steps and pick per lane, where update takes its
    // run's branch, which keeps the rare reversal's test off the chain from
    // one stop to the next. `is_long` is 1 or 0.
    template <class V>
    struct Step {
        V level, ep, af, is_long;
    };
    template <class V>
    [[gnu::always_inline]] static V candidate(V sar, V ep, V af) noexcept {
        return sar + af * (ep - sar);
    }
    template <class V>
    [[gnu::always_inline]] static Step<V> long_step(V candidate, V ep, V af, V h, V l, V prev_low, V start,
                                                    V step, V most) noexcept {
        const V stop = lanes::min_ignoring_nan(lanes::min_ignoring_nan(candidate, prev_low), l);
        const auto turns = l <= stop;
        // No branch: a new extreme is as random as the prices.
        const auto higher = ep < h;
        const V grown = lanes::select(higher, lanes::min_ignoring_nan(af + step, most), af);
        return either(turns, Step<V>{ep, l, start, lanes::splat<V>(0.0)},
                      Step<V>{stop, lanes::select(higher, h, ep), grown, lanes::splat<V>(1.0)});
    }
    template <class V>
    [[gnu::always_inline]] static Step<V> short_step(V candidate, V ep, V af, V h, V l, V prev_high, V start,
                                                     V step, V most) noexcept {
        const V stop = lanes::max_ignoring_nan(lanes::max_ignoring_nan(candidate, prev_high), h);
        const auto turns = stop <= h;
        const auto lower = l < ep;
        const V grown = lanes::select(lower, lanes::min_ignoring_nan(af + step, most), af);
        return either(turns, Step<V>{ep, h, start, lanes::splat<V>(1.0)},
                      Step<V>{stop, lanes::select(lower, l, ep), grown, lanes::splat<V>(0.0)});
    }
    // A reversal or the run going on, per lane.
    template <class M, class V>
    [[gnu::always_inline]] static Step<V> either(M turns, const Step<V>& reversal, const Step<V>& onward) noexcept {
        return {lanes::select(turns, reversal.level, onward.level), lanes::select(turns, reversal.ep, onward.ep),
                lanes::select(turns, reversal.af, onward.af), lanes::select(turns, reversal.is_long, onward.is_long)};
    }

    // Started series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack is_long, sar, ep, af, prev_high, prev_low, start, grow, most;

        static bool settled(const PSAR& p) noexcept { return p.initialized_; }
        void load(const PSAR& p, std::size_t lane) noexcept {
            is_long[lane] = p.long_ ? 1.0 : 0.0;
            sar[lane] = p.sar_;
            ep[lane] = p.ep_;
            af[lane] = p.af_;
            prev_high[lane] = p.prev_high_;
            prev_low[lane] = p.prev_low_;
            start[lane] = p.af_start_;
            grow[lane] = p.af_step_;
            most[lane] = p.af_max_;
        }
        void store(PSAR& p, std::size_t lane) const noexcept {
            p.long_ = is_long[lane] != 0.0;
            p.sar_ = sar[lane];
            p.ep_ = ep[lane];
            p.af_ = af[lane];
            p.prev_high_ = prev_high[lane];
            p.prev_low_ = prev_low[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack h = x.high(), l = x.low();
            const Pack c = candidate(sar, ep, af);
            const Step<Pack> up = long_step(c, ep, af, h, l, prev_low, start, grow, most);
            const Step<Pack> down = short_step(c, ep, af, h, l, prev_high, start, grow, most);
            const auto run = is_long != lanes::splat<Pack>(0.0);
            ep = lanes::select(run, up.ep, down.ep);
            af = lanes::select(run, up.af, down.af);
            is_long = lanes::select(run, up.is_long, down.is_long);
            sar = lanes::select(run, up.level, down.level);
            prev_high = h;
            prev_low = l;
            return sar;
        }
    };

    bool is_ready() const noexcept { return initialized_; }
    std::uint64_t warmup_period() const noexcept { return 2; }

    void reset() noexcept {
        initialized_ = false;
        long_ = true;
        af_ = af_start_;
        sar_ = 0.0;
        ep_ = 0.0;
        prev_high_ = 0.0;
        prev_low_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<double, double, double> config() const noexcept { return {af_start_, af_step_, af_max_}; }
    template <class V>
    void fields(V& v) {
        v(initialized_);
        v(long_);
        v(prev_high_);
        v(prev_low_);
        v(sar_);
        v(ep_);
        v(af_);
    }
};

}  // namespace kestov
