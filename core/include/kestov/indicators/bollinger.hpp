#pragma once
// Bollinger Bands: the window's mean with bands at a multiple of its
// population standard deviation, both from running sums of the values and of
// their squares that are never recomputed from the window.

#include <array>
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

class BollingerBands {
public:
    using Input = double;
    using Output = std::array<double, 4>;  // upper, middle, lower, stddev
    static constexpr std::string_view name = "BollingerBands";

private:
    RingBuffer<double> window_;
    std::uint64_t period_;
    double multiplier_;
    double sum_ = 0.0;
    double sum_sq_ = 0.0;

    BollingerBands(RingBuffer<double> window, std::uint64_t period, double multiplier) noexcept
        : window_(std::move(window)), period_(period), multiplier_(multiplier) {}

public:
    // A positive subnormal multiplier is a valid, if useless, band width.
    static Expected<BollingerBands, BuildError> create(std::uint64_t period, double multiplier) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(multiplier) && multiplier > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        auto window = RingBuffer<double>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return BollingerBands(std::move(window).value(), period, multiplier);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) {
            if (!window_.full()) return std::nullopt;
            return bands();
        }
        // The leaving value comes out of both sums before the new one goes
        // in; each square is rounded on its own.
        if (window_.full()) {
            const double old = window_.replace_oldest(value);
            sum_ = sum_ - old;
            sum_sq_ = sum_sq_ - old * old;
        } else {
            window_.push_back(value);
        }
        sum_ = value + sum_;
        sum_sq_ = value * value + sum_sq_;
        if (!window_.full()) return std::nullopt;
        return bands();
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }
    double multiplier() const noexcept { return multiplier_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
        sum_sq_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, multiplier_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(sum_sq_);
        v(window_);
    }

private:
    Output bands() const noexcept {
        const double n = static_cast<double>(window_.size());
        const double mean = sum_ / n;
        double variance = sum_sq_ / n - mean * mean;
        // Rounding can leave the variance slightly negative (or NaN once the
        // squares overflow); both mean no spread. Also turns -0 into +0.
        if (!(variance > 0.0)) variance = 0.0;
        const double stddev = std::sqrt(variance);
        const double width = stddev * multiplier_;
        return {mean + width, mean, mean - width, stddev};
    }
};

}  // namespace kestov
