#pragma once
// Williams %R: how far the close lies below the highest high of the last
// `period` candles, as a share of their range, from -100 to 0.

#include <cstdint>
#include <optional>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class WilliamsR {
public:
    using Input = Candle;
    using Output = double;

private:
    // The extremes a scan from the oldest candle finds: on equal prices
    // (only +0.0 and -0.0 can be equal yet differ) the oldest one stays.
    BlockExtreme<Higher, Price> highs_;
    BlockExtreme<Lower, Price> lows_;
    std::uint64_t count_ = 0;  // candles since construction or reset, saturating at the period
    std::uint64_t period_;

    WilliamsR(BlockExtreme<Higher, Price> highs, BlockExtreme<Lower, Price> lows, std::uint64_t period) noexcept
        : highs_(std::move(highs)), lows_(std::move(lows)), period_(period) {}

public:
    static Expected<WilliamsR, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto highs = BlockExtreme<Higher, Price>::with_capacity(period);
        if (!highs) return BuildError{highs.error()};
        auto lows = BlockExtreme<Lower, Price>::with_capacity(period);
        if (!lows) return BuildError{lows.error()};
        return WilliamsR(std::move(highs).value(), std::move(lows).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        highs_.push({candle.high()});
        lows_.push({candle.low()});
        if (count_ < period_ && ++count_ < period_) return std::nullopt;

        const double hh = highs_.extreme().price;
        const double range = hh - lows_.extreme().price;
        if (range == 0.0) return -50.0;
        // The product is rounded before the division.
        return ((hh - candle.close()) * -100.0) / range;
    }

    bool is_ready() const noexcept { return count_ == period_; }
    std::uint64_t warmup_period() const noexcept { return period_; }

    void reset() noexcept {
        highs_.clear();
        lows_.clear();
        count_ = 0;
    }
};

}  // namespace kestov
