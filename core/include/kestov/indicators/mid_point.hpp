#pragma once
// Midpoint: halfway between the highest and the lowest of the last `period`
// finite values, (highest + lowest) / 2.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class MidPoint {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "MidPoint";

private:
    using Range = WindowRange<Higher, Lower>;  // of equal values the oldest, as Donchian's
    Range range_;
    std::uint64_t period_;

    MidPoint(Range range, std::uint64_t period) noexcept : range_(std::move(range)), period_(period) {}

public:
    static Expected<MidPoint, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto range = Range::with_capacity(period);
        if (!range) return BuildError{range.error()};
        return MidPoint(std::move(range).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        // The window holds finite values only: its extremes need them.
        if (!is_finite(value)) return this->value();
        if (!range_.push(value, value)) return std::nullopt;
        return (range_.highest() + range_.lowest()) / 2.0;
    }

    std::optional<double> value() const noexcept {
        if (!range_.full()) return std::nullopt;
        return (range_.highest() + range_.lowest()) / 2.0;
    }

    bool is_ready() const noexcept { return range_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept { range_.clear(); }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(range_);
    }
};

}  // namespace kestov
