#pragma once
// Simple moving average over the last `period` finite values, carried as a
// running sum that is never recomputed from its window.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class SMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "SMA";

private:
    RingBuffer<double> window_;
    std::uint64_t period_;
    double sum_ = 0.0;

    SMA(RingBuffer<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<SMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<double>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return SMA(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        // The leaving value is subtracted before the new one is added.
        if (window_.full()) {
            sum_ = sum_ - window_.replace_oldest(value);
        } else {
            window_.push_back(value);
        }
        sum_ = value + sum_;
        if (window_.full()) return sum_ / static_cast<double>(period_);
        return std::nullopt;
    }

    std::optional<double> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return sum_ / static_cast<double>(window_.size());
    }

    // Whether any input has been taken since construction or reset.
    bool has_input() const noexcept { return !window_.empty(); }
    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
    }

    // Saved state (state.hpp): the sum, then the window.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(window_);
    }
};

}  // namespace kestov
