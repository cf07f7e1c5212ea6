#pragma once
// Stochastic oscillator: %K places the close in the range of the last
// `k_period` candles, %D is the simple average of the last `d_period` %K.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
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
    using Range = WindowRange<HigherOrEqual, LowerOrEqual>;
    Range range_;
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

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: a chunk's %K from its windows' extremes, several rows at a time,
    // then its %D from that column.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& all, std::size_t n, double* all_out) noexcept {
        // Until %D has a value a row has no outputs at all, so those rows go
        // through update; from then on every row has both.
        std::size_t first = 0;
        for (; first < n && !d_average_.is_ready(); ++first)
            stretches::through_update(*this, all.at(first), all_out, first);
        const auto from = [&](const double* column) { return column == nullptr ? nullptr : column + first; };
        const CandleColumns c{from(all.open), from(all.high), from(all.low), from(all.close), from(all.volume)};
        double* const out = all_out + 2 * first;
        n -= first;
        range_.template scan_chunks<Pack>(
            static_cast<std::size_t>(k_period_), c.high, c.low, n,
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, c.at(i), out, i); },
            [&](std::size_t c0, std::size_t c1, const double* hh, const double* ll) KESTOV_INLINE_LAMBDA {
                stretches::claim_rows(out, c1, std::min(n, c1 + (c1 - c0)), 2);
                double k[Range::chunk], d[Range::chunk];
                stretches::fill_rows<Pack>(k, c0, c1, [&]<class T>(T, std::size_t i) KESTOV_INLINE_LAMBDA {
                    const T high = lanes::load<T>(hh + (i - c0)), low = lanes::load<T>(ll + (i - c0));
                    const T range = high - low;
                    const T raw = ((lanes::load<T>(c.close + i) - low) * 100.0) / range;
                    return lanes::select(range == 0.0, lanes::splat<T>(50.0), raw);
                });
                d_average_.template update_block<Pack>(k, c1 - c0, d);
                std::size_t i = c0;
                constexpr std::size_t w = lanes::width<Pack>;
                for (; i + w <= c1; i += w)
                    stretches::put(out, i, std::array{lanes::load<Pack>(k + (i - c0)), lanes::load<Pack>(d + (i - c0))});
                for (; i < c1; ++i) stretches::put(out, i, std::array{k[i - c0], d[i - c0]});
            });
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
