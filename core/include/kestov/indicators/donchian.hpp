#pragma once
// Donchian channel: highest high and lowest low of the last `period` candles
// and their midpoint, rescanned from the window on every update.

#include <array>
#include <cstdint>
#include <limits>
#include <optional>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class Donchian {
public:
    using Input = Candle;
    using Output = std::array<double, 3>;  // upper, middle, lower

private:
    // Only high and low of a candle ever take part, so only they are kept.
    struct Range {
        double high;
        double low;
    };

    RingBuffer<Range> window_;
    std::uint64_t period_;

    Donchian(RingBuffer<Range> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<Donchian, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<Range>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return Donchian(std::move(window).value(), period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        if (window_.full()) window_.pop_front();
        window_.push_back({candle.high(), candle.low()});
        if (!window_.full()) return std::nullopt;
        double upper = -std::numeric_limits<double>::infinity();
        double lower = std::numeric_limits<double>::infinity();
        for (std::size_t i = 0; i < window_.size(); ++i) upper = max_ignoring_nan(upper, window_[i].high);
        for (std::size_t i = 0; i < window_.size(); ++i) lower = min_ignoring_nan(lower, window_[i].low);
        return Output{upper, (upper + lower) * 0.5, lower};
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }

    void reset() noexcept { window_.clear(); }
};

}  // namespace kestov
