#pragma once
// Williams %R: how far the close lies below the highest high of the last
// `period` candles, as a share of their range, from -100 to 0.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class WilliamsR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "WilliamsR";

private:
    using Range = WindowRange<Higher, Lower>;  // of equal prices the oldest
    Range range_;
    std::uint64_t period_;

    WilliamsR(Range range, std::uint64_t period) noexcept : range_(std::move(range)), period_(period) {}

public:
    static Expected<WilliamsR, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto range = Range::with_capacity(period);
        if (!range) return BuildError{range.error()};
        return WilliamsR(std::move(range).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        if (!range_.push(candle.high(), candle.low())) return std::nullopt;
        const double hh = range_.highest();
        const double range = hh - range_.lowest();
        if (range == 0.0) return -50.0;
        // The product is rounded before the division.
        return ((hh - candle.close()) * -100.0) / range;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64; a group's series must stand at one place in
    // their blocks.
    template <class Pack>
    struct Lanes : RangeLanes<Pack, &WilliamsR::range_> {
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            auto& range = this->range;
            range.push(x.high(), x.low());
            const auto [hh, ll] = range.extreme();
            const Pack r = hh - ll;
            return lanes::select(r == 0.0, lanes::splat<Pack>(-50.0), ((hh - x.close()) * -100.0) / r);
        }
    };

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: short windows scanned several rows at a time.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        range_.template scan_rows<Pack>(
            static_cast<std::size_t>(period_), c.high, c.low, n, out,
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, c.at(i), out, i); },
            [&](std::size_t i, auto highest, auto lowest) KESTOV_INLINE_LAMBDA {
                using T = decltype(highest);
                const T range = highest - lowest;
                const T r = ((highest - lanes::load<T>(c.close + i)) * -100.0) / range;
                lanes::store(out + i, lanes::select(range == 0.0, lanes::splat<T>(-50.0), r));
            });
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
