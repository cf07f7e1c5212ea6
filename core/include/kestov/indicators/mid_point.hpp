#pragma once
// Midpoint: halfway between the highest and the lowest of the last `period`
// finite values, (highest + lowest) / 2.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
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

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64; a group's series must stand at one place in
    // their blocks.
    template <class Pack>
    struct Lanes : RangeLanes<Pack, &MidPoint::range_> {
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            auto& range = this->range;
            range.push(x, x);
            const auto [hh, ll] = range.extreme();
            return (hh + ll) / 2.0;
        }
    };

    // Rows [0, n) of a column, as n calls of update would give them: within
    // each run of finite values, short windows scanned several rows at a
    // time; a value that is not finite goes through update, which skips it.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        for (std::size_t i = 0; i < n;) {
            const std::size_t end = stretches::finite_until<Pack>(values, i, std::min(n, i + stretches::chunk * 16));
            range_.template scan_rows<Pack>(
                static_cast<std::size_t>(period_), values + i, values + i, end - i, out + i,
                [&](std::size_t j) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i + j], out, i + j); },
                [&](std::size_t j, auto highest, auto lowest)
                    KESTOV_INLINE_LAMBDA { lanes::store(out + i + j, (highest + lowest) / 2.0); });
            i = end;
            if (i < n && !is_finite(values[i])) {
                stretches::through_update(*this, values[i], out, i);
                ++i;
            }
        }
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
