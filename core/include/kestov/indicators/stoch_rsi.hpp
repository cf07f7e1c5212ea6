#pragma once
// Stochastic RSI (Chande and Kroll): %K places the RSI in the range of its
// last `k_period` values, %D is the simple average of the last `d_period`
// %K; Stochastic's arithmetic over RSI values instead of candles.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/rsi.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/numeric.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class StochRSI {
public:
    using Input = double;
    using Output = std::array<double, 2>;  // k, d
    static constexpr std::string_view name = "StochRSI";

private:
    using Range = WindowRange<HigherOrEqual, LowerOrEqual>;  // as Stochastic's
    RSI rsi_;
    Range range_;
    SMA d_average_;
    bool has_current_ = false;
    Output current_{};
    std::uint64_t period_;
    std::uint64_t k_period_;
    std::uint64_t d_period_;

    StochRSI(RSI rsi, Range range, SMA d_average, std::uint64_t period, std::uint64_t k_period,
             std::uint64_t d_period) noexcept
        : rsi_(std::move(rsi)), range_(std::move(range)), d_average_(std::move(d_average)), period_(period),
          k_period_(k_period), d_period_(d_period) {}

public:
    static Expected<StochRSI, BuildError> create(std::uint64_t period, std::uint64_t k_period,
                                                 std::uint64_t d_period) noexcept {
        if (period == 0 || k_period == 0 || d_period == 0) return BuildError{IndicatorError::period_zero()};
        auto rsi = RSI::create(period);
        if (!rsi) return rsi.error();
        auto range = Range::with_capacity(k_period);
        if (!range) return BuildError{range.error()};
        auto d_average = SMA::create(d_period);
        if (!d_average) return d_average.error();
        return StochRSI(std::move(rsi).value(), std::move(range).value(), std::move(d_average).value(), period,
                        k_period, d_period);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        const auto rsi = rsi_.update(value);
        if (!rsi) return std::nullopt;
        // Only changes too large for a double make an RSI that is not a
        // number; the window keeps finite values, and the input is skipped.
        if (!is_finite(*rsi)) return this->value();
        if (!range_.push(*rsi, *rsi)) return std::nullopt;
        const double hh = range_.highest();
        const double ll = range_.lowest();
        const double range = hh - ll;
        // As Stochastic: the product rounded before the division, 50 for a
        // flat window.
        const double k = range == 0.0 ? 50.0 : ((*rsi - ll) * 100.0) / range;
        const auto d = d_average_.update(k);
        if (!d) return std::nullopt;
        current_ = {k, *d};
        has_current_ = true;
        return current_;
    }

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return period_ + k_period_ + d_period_ - 1; }
    std::uint64_t period() const noexcept { return period_; }
    std::uint64_t k_period() const noexcept { return k_period_; }
    std::uint64_t d_period() const noexcept { return d_period_; }

    void reset() noexcept {
        rsi_.reset();
        range_.clear();
        d_average_.reset();
        has_current_ = false;
        current_ = {};
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {period_, k_period_, d_period_};
    }
    template <class V>
    void fields(V& v) {
        v(rsi_);
        v(range_);
        v(d_average_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        if (d_average_.has_input() && !range_.full()) return "StochRSI: %D fed before the range was full";
        if (has_current_ != d_average_.is_ready()) return "StochRSI: current value and %D disagree";
        return nullptr;
    }
};

}  // namespace kestov
