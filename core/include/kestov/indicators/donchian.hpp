#pragma once
// Donchian channel: highest high and lowest low of the last `period` candles
// and their midpoint.

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class Donchian {
public:
    using Input = Candle;
    using Output = std::array<double, 3>;  // upper, middle, lower
    static constexpr std::string_view name = "Donchian";

private:
    using Range = WindowRange<Higher, Lower>;  // of equal prices the oldest
    Range range_;
    std::uint64_t period_;

    Donchian(Range range, std::uint64_t period) noexcept : range_(std::move(range)), period_(period) {}

public:
    static Expected<Donchian, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto range = Range::with_capacity(period);
        if (!range) return BuildError{range.error()};
        return Donchian(std::move(range).value(), period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        if (!range_.push(candle.high(), candle.low())) return std::nullopt;
        const double upper = range_.highest();
        const double lower = range_.lowest();
        return Output{upper, (upper + lower) * 0.5, lower};
    }

    bool is_ready() const noexcept { return range_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }

    void reset() noexcept { range_.clear(); }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(range_);
    }
};

}  // namespace kestov
