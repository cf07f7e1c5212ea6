#pragma once
// Stochastic oscillator: %K places the close in the range of the last
// `k_period` candles, %D is the simple average of the last `d_period` %K.

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
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
    static constexpr std::string_view name = "Stochastic";

private:
    // Of equal highs (lows) the newest candle holds the extreme.
    WindowRange<HigherOrEqual, LowerOrEqual> range_;
    SMA d_average_;
    std::uint64_t k_period_;
    std::uint64_t d_period_;

    Stochastic(WindowRange<HigherOrEqual, LowerOrEqual> range, SMA d_average, std::uint64_t k_period,
               std::uint64_t d_period) noexcept
        : range_(std::move(range)), d_average_(std::move(d_average)), k_period_(k_period), d_period_(d_period) {}

public:
    static Expected<Stochastic, BuildError> create(std::uint64_t k_period, std::uint64_t d_period) noexcept {
        if (k_period == 0 || d_period == 0) return BuildError{IndicatorError::period_zero()};
        // k + d - 1 must fit, or warmup_period would wrap.
        if (d_period - 1 > std::numeric_limits<std::uint64_t>::max() - k_period)
            return BuildError{RoomError::CountOverflow};
        auto range = WindowRange<HigherOrEqual, LowerOrEqual>::with_capacity(k_period);
        if (!range) return BuildError{range.error()};
        auto d_average = SMA::create(d_period);
        if (!d_average) return d_average.error();
        return Stochastic(std::move(range).value(), std::move(d_average).value(), k_period, d_period);
    }

    std::optional<std::array<double, 2>> update(const Candle& candle) noexcept {
        if (!range_.push(candle.high(), candle.low())) return std::nullopt;
        const double hh = range_.highest();
        const double ll = range_.lowest();
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
        range_.clear();
        d_average_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return periods(); }
    template <class V>
    void fields(V& v) {
        v(range_);
        v(d_average_);
    }
    const char* state_fault() const noexcept {
        if (d_average_.has_input() && !range_.full()) return "Stochastic: %D fed before the range was full";
        return nullptr;
    }
};

}  // namespace kestov
