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
