#pragma once
// Population variance of the last `period` finite values: the window's mean,
// then the mean of the squared deviations from it. Both sums are taken
// afresh from the window on every value, so a square too large for a double
// makes the variance infinite only while its value is in the window. Also
// the variance under StdDev.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class Variance {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "Variance";

private:
    double value_ = 0.0;  // the last output, once the window is full
    MirroredWindow<double> window_;
    std::uint64_t period_;

    Variance(MirroredWindow<double> window, std::uint64_t period) noexcept
        : window_(std::move(window)), period_(period) {}

public:
    static Expected<Variance, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return Variance(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        window_.push(value);
        if (!window_.full()) return std::nullopt;
        const double* x = window_.data();
        const double n = static_cast<double>(window_.size());
        // The mean first, then the deviations from it, so that no large
        // squares cancel. The mean is the oldest value plus the mean
        // difference from it: exactly that value for a window of one
        // repeated value, whose variance is then exactly 0.
        double shift = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) shift += x[i] - x[0];
        const double mean = x[0] + shift / n;
        double squares = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) {
            const double d = x[i] - mean;
            squares += d * d;
        }
        value_ = squares / n;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(value_);
        v(window_);
    }
};

}  // namespace kestov
