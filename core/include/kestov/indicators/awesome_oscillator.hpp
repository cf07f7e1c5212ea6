#pragma once
// Awesome oscillator: a fast minus a slow simple average of the median price.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/lanes_of.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class AwesomeOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "AwesomeOscillator";

private:
    SMA fast_sma_;
    SMA slow_sma_;
    std::uint64_t fast_;
    std::uint64_t slow_;

    AwesomeOscillator(SMA fast_sma, SMA slow_sma, std::uint64_t fast, std::uint64_t slow) noexcept
        : fast_sma_(std::move(fast_sma)), slow_sma_(std::move(slow_sma)), fast_(fast), slow_(slow) {}

public:
    static Expected<AwesomeOscillator, BuildError> create(std::uint64_t fast, std::uint64_t slow) noexcept {
        if (fast == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("AO fast period must be strictly less than slow")};
        auto fast_sma = SMA::create(fast);
        if (!fast_sma) return fast_sma.error();
        auto slow_sma = SMA::create(slow);
        if (!slow_sma) return slow_sma.error();
        return AwesomeOscillator(std::move(fast_sma).value(), std::move(slow_sma).value(), fast, slow);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double median = median_of(candle.high(), candle.low());
        // Both averages see every median, whether or not the other has a value.
        const std::optional<double> fast = fast_sma_.update(median);
        const std::optional<double> slow = slow_sma_.update(median);
        if (!fast || !slow) return std::nullopt;
        return *fast - *slow;
    }


    template <class V>
    [[gnu::always_inline]] static V median_of(V high, V low) noexcept { return (high + low) * 0.5; }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64: the two averages' lanes. The averages skip a
    // median too large for a double, which their shared rings cannot do
    // lane by lane: such a row goes to the series' own updates.
    template <class Pack>
    struct Lanes : LanesOf<Pack, &AwesomeOscillator::fast_sma_, &AwesomeOscillator::slow_sma_> {
        template <class Candles>
        [[gnu::always_inline]] std::optional<Pack> step(const Candles& x) noexcept {
            auto& [fast, slow] = this->parts;
            const Pack median = median_of(x.high(), x.low());
            if (lanes::any(median - median != 0.0)) return std::nullopt;
            const Pack f = fast.step(median);
            return f - slow.step(median);
        }
    };

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. A block's medians are formed several rows at a time; where the
    // averages' windows lie among them, both running sums are one chain and
    // the averages' difference is taken several rows at a time. A median
    // that is not finite (a range too wide for a double) goes through
    // update, which skips it, as do the rows that follow it until both
    // windows lie among the block's medians again.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t block = 16 * stretches::chunk;
        const std::size_t fp = static_cast<std::size_t>(fast_), sp = static_cast<std::size_t>(slow_);
        const double fn = static_cast<double>(fast_), sn = static_cast<double>(slow_);
        double medians[block];
        for (std::size_t b0 = 0; b0 < n; b0 += block) {
            const std::size_t m = std::min(block, n - b0);
            stretches::fill_rows<Pack>(medians, b0, b0 + m, [&](auto kind, std::size_t r) KESTOV_INLINE_LAMBDA {
                using T = decltype(kind);
                return median_of(lanes::load<T>(c.high + r), lanes::load<T>(c.low + r));
            });
            stretches::feed<Pack>(
                medians, m, sp,
                [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, c.at(b0 + i), out, b0 + i); },
                [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                    double fs = fast_sma_.running_sum(), ss = slow_sma_.running_sum();
                    const double* x = medians;
                    const std::size_t end = stretches::chain_then_lanes<Pack, 2>(
                        first, last,
                        [&](std::size_t c0, std::size_t c1)
                            KESTOV_INLINE_LAMBDA { return stretches::finite_until<Pack>(x, c0, c1); },
                        [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                            // The leaving value is subtracted before the new one is added.
                            fs = x[i] + (fs - x[i - fp]);
                            ss = x[i] + (ss - x[i - sp]);
                            return std::array<double, 2>{fs, ss};
                        },
                        [&](const auto& k, std::size_t i)
                            KESTOV_INLINE_LAMBDA { lanes::store(out + b0 + i, k[0] / fn - k[1] / sn); });
                    if (end > first) {
                        fast_sma_.settle(fs, x + (end - fp));
                        slow_sma_.settle(ss, x + (end - sp));
                    }
                    return end;
                });
        }
    }

    bool is_ready() const noexcept { return slow_sma_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return slow_; }

    void reset() noexcept {
        fast_sma_.reset();
        slow_sma_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {fast_, slow_}; }
    template <class V>
    void fields(V& v) {
        v(fast_sma_);
        v(slow_sma_);
    }
};

}  // namespace kestov
