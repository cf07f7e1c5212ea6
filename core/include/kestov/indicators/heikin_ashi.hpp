#pragma once
// Heikin-ashi candles: each candle redrawn from averages. The close is the
// mean of the candle's four prices, ((open + high) + low) + close over 4;
// the open the midpoint of the previous heikin-ashi open and close, and on
// the first candle the midpoint of its own open and close; the high and low
// the candle's own, widened to take in that open and close. Where a sum
// would overflow, its terms are scaled first (x / 4 each, or x / 2), so every
// value stays finite: the open carries over from candle to candle, and an
// infinite one would never leave.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class HeikinAshi {
public:
    using Input = Candle;
    using Output = std::array<double, 4>;  // open, high, low, close
    static constexpr std::string_view name = "HeikinAshi";

private:
    bool has_current_ = false;
    Output current_{};

    // A sum too large for a double is taken in parts instead. Of a double,
    // or of a pack of series side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static V midpoint(V a, V b) noexcept {
        const V sum = a + b;
        if constexpr (std::is_same_v<V, double>) {
            if (is_finite(sum)) [[likely]]
                return sum / 2.0;
            return a / 2.0 + b / 2.0;
        } else {
            return lanes::select(sum - sum == 0.0, sum / 2.0, a / 2.0 + b / 2.0);
        }
    }
    template <class V>
    [[gnu::always_inline]] static V mean(V open, V high, V low, V close) noexcept {
        const V sum = ((open + high) + low) + close;
        if constexpr (std::is_same_v<V, double>) {
            if (is_finite(sum)) [[likely]]
                return sum / 4.0;
            return ((open / 4.0 + high / 4.0) + low / 4.0) + close / 4.0;
        } else {
            return lanes::select(sum - sum == 0.0, sum / 4.0, ((open / 4.0 + high / 4.0) + low / 4.0) + close / 4.0);
        }
    }
    // The candle from its open, as the rules above give it. Every value
    // here is finite, so the extremes need no NaN rule: plain comparisons,
    // which compilers turn into max and min instructions rather than
    // branches on whether the open is above the close, as unpredictable as
    // the prices. Of equal values the candle's own high and low are kept,
    // then the open.
    template <class V>
    [[gnu::always_inline]] static std::array<V, 4> from_open(V open, V o, V h, V l, V c) noexcept {
        const V close = mean(o, h, l, c);
        const V upper = lanes::select(open < close, close, open);
        const V lower = lanes::select(close < open, close, open);
        return {open, lanes::select(h < upper, upper, h), lanes::select(lower < l, lower, l), close};
    }

public:
    static Expected<HeikinAshi, BuildError> create() noexcept { return HeikinAshi(); }

    std::optional<Output> update(const Candle& candle) noexcept {
        // The open reads the previous heikin-ashi candle before this one
        // replaces it.
        const double open = has_current_ ? midpoint(current_[0], current_[3]) : midpoint(candle.open(), candle.close());
        current_ = from_open(open, candle.open(), candle.high(), candle.low(), candle.close());
        has_current_ = true;
        return current_;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        std::array<Pack, 4> current;

        static bool settled(const HeikinAshi& a) noexcept { return a.has_current_; }
        void load(const HeikinAshi& a, std::size_t lane) noexcept {
            for (std::size_t k = 0; k < 4; ++k) current[k][lane] = a.current_[k];
        }
        void store(HeikinAshi& a, std::size_t lane) const noexcept {
            for (std::size_t k = 0; k < 4; ++k) a.current_[k] = current[k][lane];
        }
        template <class Candles>
        [[gnu::always_inline]] std::array<Pack, 4> step(const Candles& x) noexcept {
            return current = from_open(midpoint(current[0], current[3]), x.open(), x.high(), x.low(), x.close());
        }
    };

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = HeikinAshi(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        for (const double x : current_)
            if (!is_finite(x)) return "HeikinAshi: a price that is not finite";
        return nullptr;
    }
};

}  // namespace kestov
