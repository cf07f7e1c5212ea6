#pragma once
// Commodity channel index: the distance of the typical price from the mean of
// the last `period` typical prices, in units of 0.015 mean absolute deviations.

#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class CCI {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "CCI";

private:
    MirroredWindow<double> window_;  // typical prices, oldest first
    std::uint64_t period_;
    double sum_ = 0.0;  // running, never recomputed from the window
    static constexpr double scale_ = 0.015;

    CCI(MirroredWindow<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<CCI, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return CCI(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        // The leaving value is subtracted before the new one is added.
        const double tp = ((candle.high() + candle.low()) + candle.close()) / 3.0;
        if (window_.full()) sum_ = sum_ - window_.oldest();
        window_.push(tp);
        sum_ = tp + sum_;
        if (!window_.full()) return std::nullopt;

        const double n = static_cast<double>(period_);
        const double mean = sum_ / n;
        // The deviations are summed in window order, oldest first, so the
        // rescan stays: no running form would round the same way.
        const double* window = window_.data();
        double deviation = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) deviation += std::fabs(window[i] - mean);
        const double mad = deviation / n;
        if (mad == 0.0) return 0.0;
        return (tp - mean) / (mad * scale_);
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(window_);
    }
};

}  // namespace kestov
