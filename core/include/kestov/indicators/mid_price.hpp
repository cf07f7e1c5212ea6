#pragma once
// Midprice: halfway between the highest high and the lowest low of the last
// `period` candles, (highest high + lowest low) / 2; Ichimoku's lines are
// midprices.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class MidPrice {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "MidPrice";

private:
    using Range = WindowRange<Higher, Lower>;  // of equal prices the oldest, as Donchian's
    Range range_;
    std::uint64_t period_;

    MidPrice(Range range, std::uint64_t period) noexcept : range_(std::move(range)), period_(period) {}

public:
    static Expected<MidPrice, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto range = Range::with_capacity(period);
        if (!range) return BuildError{range.error()};
        return MidPrice(std::move(range).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        if (!range_.push(candle.high(), candle.low())) return std::nullopt;
        return (range_.highest() + range_.lowest()) / 2.0;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64; a group's series must stand at one place in
    // their blocks.
    template <class Pack>
    struct Lanes : RangeLanes<Pack, &MidPrice::range_> {
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            auto& range = this->range;
            range.push(x.high(), x.low());
            const auto [hh, ll] = range.extreme();
            return (hh + ll) / 2.0;
        }
    };

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: short windows scanned several rows at a time.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        range_.template scan_rows<Pack>(
            static_cast<std::size_t>(period_), c.high, c.low, n, out,
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, c.at(i), out, i); },
            [&](std::size_t i, auto highest, auto lowest)
                KESTOV_INLINE_LAMBDA { lanes::store(out + i, (highest + lowest) / 2.0); });
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
