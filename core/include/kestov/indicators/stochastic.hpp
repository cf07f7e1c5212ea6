#pragma once
// Stochastic oscillator: %K places the close in the range of the last
// `k_period` candles, %D is the simple average of the last `d_period` %K.

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/window_extreme.hpp"
#include "kestov/indicators/sma.hpp"

namespace kestov {

class Stochastic {
public:
    using Input = Candle;
    using Output = std::array<double, 2>;  // k, d

private:
    // Of equal highs (lows) the newest candle holds the extreme.
    ExtremeQueue<HigherOrEqual> highs_;
    ExtremeQueue<LowerOrEqual> lows_;
    SMA d_average_;
    std::uint64_t count_ = 0;  // candles since construction or reset; the next one's sequence number
    std::uint64_t k_period_;
    std::uint64_t d_period_;

    Stochastic(ExtremeQueue<HigherOrEqual> highs, ExtremeQueue<LowerOrEqual> lows, SMA d_average,
               std::uint64_t k_period, std::uint64_t d_period) noexcept
        : highs_(std::move(highs)),
          lows_(std::move(lows)),
          d_average_(std::move(d_average)),
          k_period_(k_period),
          d_period_(d_period) {}

public:
    static Expected<Stochastic, BuildError> create(std::uint64_t k_period, std::uint64_t d_period) noexcept {
        if (k_period == 0 || d_period == 0) return BuildError{IndicatorError::period_zero()};
        // k + d - 1 must fit, or warmup_period would wrap.
        if (d_period - 1 > std::numeric_limits<std::uint64_t>::max() - k_period)
            return BuildError{RoomError::CountOverflow};
        auto highs = ExtremeQueue<HigherOrEqual>::with_capacity(k_period);
        if (!highs) return BuildError{highs.error()};
        auto lows = ExtremeQueue<LowerOrEqual>::with_capacity(k_period);
        if (!lows) return BuildError{lows.error()};
        auto d_average = SMA::create(d_period);
        if (!d_average) return d_average.error();
        return Stochastic(std::move(highs).value(), std::move(lows).value(), std::move(d_average).value(),
                          k_period, d_period);
    }

    std::optional<std::array<double, 2>> update(const Candle& candle) noexcept {
        const std::uint64_t i = count_++;
        const std::uint64_t oldest = i < k_period_ - 1 ? 0 : i - (k_period_ - 1);
        highs_.push(i, candle.high(), oldest);
        lows_.push(i, candle.low(), oldest);
        if (count_ < k_period_) return std::nullopt;

        const double hh = highs_.extreme().price;
        const double ll = lows_.extreme().price;
        const double range = hh - ll;
        // The product is rounded before the division: a close at the highest
        // high need not give exactly 100.
        const double k = range == 0.0 ? 50.0 : ((candle.close() - ll) * 100.0) / range;
        const std::optional<double> d = d_average_.update(k);
        if (!d) return std::nullopt;
        return std::array<double, 2>{k, *d};
    }

    bool is_ready() const noexcept { return d_average_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return k_period_ + d_period_ - 1; }
    std::tuple<std::uint64_t, std::uint64_t> periods() const noexcept { return {k_period_, d_period_}; }

    void reset() noexcept {
        highs_.clear();
        lows_.clear();
        d_average_.reset();
        count_ = 0;
    }
};

}  // namespace kestov
