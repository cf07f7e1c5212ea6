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
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
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

    static double midpoint(double a, double b) noexcept {
        const double sum = a + b;
        if (is_finite(sum)) [[likely]]
            return sum / 2.0;
        return a / 2.0 + b / 2.0;
    }

    static double mean(const Candle& c) noexcept {
        const double sum = ((c.open() + c.high()) + c.low()) + c.close();
        if (is_finite(sum)) [[likely]]
            return sum / 4.0;
        return ((c.open() / 4.0 + c.high() / 4.0) + c.low() / 4.0) + c.close() / 4.0;
    }

public:
    static Expected<HeikinAshi, BuildError> create() noexcept { return HeikinAshi(); }

    std::optional<Output> update(const Candle& candle) noexcept {
        // The open reads the previous heikin-ashi candle before this one
        // replaces it.
        const double open = has_current_ ? midpoint(current_[0], current_[3]) : midpoint(candle.open(), candle.close());
        const double close = mean(candle);
        // Every value here is finite, so the extremes need no NaN rule: plain
        // comparisons, which compilers turn into max and min instructions
        // rather than branches on whether the open is above the close, as
        // unpredictable as the prices. Of equal values the candle's own high
        // and low are kept, then the open.
        const double upper = open < close ? close : open;
        const double lower = close < open ? close : open;
        const double high = candle.high() < upper ? upper : candle.high();
        const double low = lower < candle.low() ? lower : candle.low();
        current_ = {open, high, low, close};
        has_current_ = true;
        return current_;
    }

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
