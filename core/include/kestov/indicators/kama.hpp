#pragma once
// Kaufman's adaptive moving average: the smoothing constant follows the
// efficiency ratio of the last `er_period` steps.

#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class KAMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "KAMA";

private:
    bool has_current_ = false;
    double current_ = 0.0;
    RingBuffer<double> window_;  // the last er_period + 1 finite inputs
    // |window[i] - window[i - 1]| of each adjacent pair, oldest first: each
    // computed once, when its newer value arrives, rather than on every step.
    MirroredWindow<double> steps_;
    std::uint64_t er_period_;
    std::uint64_t fast_;
    std::uint64_t slow_;
    double fast_sc_;
    double slow_sc_;

    KAMA(RingBuffer<double> window, MirroredWindow<double> steps, std::uint64_t er_period, std::uint64_t fast,
         std::uint64_t slow) noexcept
        : window_(std::move(window)),
          steps_(std::move(steps)),
          er_period_(er_period),
          fast_(fast),
          slow_(slow),
          fast_sc_(2.0 / (static_cast<double>(fast) + 1.0)),
          slow_sc_(2.0 / (static_cast<double>(slow) + 1.0)) {}

public:
    static Expected<KAMA, BuildError> create(std::uint64_t er_period, std::uint64_t fast, std::uint64_t slow) noexcept {
        if (er_period == 0) return BuildError{IndicatorError::period_zero()};
        if (fast == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("KAMA fast period must be strictly less than slow")};
        const auto slots = plus_one(er_period);
        if (!slots) return BuildError{slots.error()};
        auto window = RingBuffer<double>::with_capacity(slots.value());
        if (!window) return BuildError{window.error()};
        auto steps = MirroredWindow<double>::with_length(er_period);
        if (!steps) return BuildError{steps.error()};
        return KAMA(std::move(window).value(), std::move(steps).value(), er_period, fast, slow);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return current();
        if (!window_.empty()) steps_.push(std::fabs(value - window_.back()));
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }

        const double oldest = window_.front();
        const double change = std::fabs(value - oldest);
        // Summed afresh every step, in window order.
        const double* steps = steps_.data();
        double volatility = -0.0;
        for (std::size_t i = 0; i < steps_.size(); ++i) volatility += steps[i];
        const double er = volatility != 0.0 ? change / volatility : 0.0;

        const double d = fast_sc_ - slow_sc_;
        const double t = er * d;
        const double u = slow_sc_ + t;
        const double sc = u * u;

        const double prev = has_current_ ? current_ : oldest;
        current_ = prev + sc * (value - prev);
        has_current_ = true;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return er_period_ + 1; }

    void reset() noexcept {
        window_.clear();
        steps_.clear();
        has_current_ = false;
        current_ = 0.0;
    }

    // Saved state (state.hpp). One step per adjacent pair of the window.
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept { return {er_period_, fast_, slow_}; }
    template <class V>
    void fields(V& v) {
        v(has_current_);
        v(current_);
        v(window_);
        v(steps_);
    }
    const char* state_fault() const noexcept {
        if (steps_.size() != (window_.empty() ? 0 : window_.size() - 1)) return "KAMA: steps and window disagree";
        if (has_current_ && !window_.full()) return "KAMA: a value before the window was full";
        return nullptr;
    }

private:
    std::optional<double> current() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }
};

}  // namespace kestov
