#pragma once
// Donchian channel: highest high and lowest low of the last `period` candles
// and their midpoint.

#include <array>
#include <cstdint>
#include <optional>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class Donchian {
public:
    using Input = Candle;
    using Output = std::array<double, 3>;  // upper, middle, lower

private:
    // The extremes a scan of the window from the oldest candle finds, one
    // that moves only on a strict improvement: of equal prices (only +0.0
    // and -0.0 can be equal yet differ) the oldest stays. Prices of candles
    // are finite, so the scan's infinite start never survives.
    BlockExtreme<Higher, Price> highs_;
    BlockExtreme<Lower, Price> lows_;
    std::uint64_t count_ = 0;  // candles since construction or reset, saturating at the period
    std::uint64_t period_;

    Donchian(BlockExtreme<Higher, Price> highs, BlockExtreme<Lower, Price> lows, std::uint64_t period) noexcept
        : highs_(std::move(highs)), lows_(std::move(lows)), period_(period) {}

public:
    static Expected<Donchian, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto highs = BlockExtreme<Higher, Price>::with_capacity(period);
        if (!highs) return BuildError{highs.error()};
        auto lows = BlockExtreme<Lower, Price>::with_capacity(period);
        if (!lows) return BuildError{lows.error()};
        return Donchian(std::move(highs).value(), std::move(lows).value(), period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        highs_.push({candle.high()});
        lows_.push({candle.low()});
        if (count_ < period_ && ++count_ < period_) return std::nullopt;
        const double upper = highs_.extreme().price;
        const double lower = lows_.extreme().price;
        return Output{upper, (upper + lower) * 0.5, lower};
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
