#pragma once
// One price bar. The only way to make one is the validating constructor, so
// every Candle that exists is finite and internally consistent.

#include <cstddef>
#include <cstdint>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

namespace candle_text {
inline constexpr const char* prices_not_finite = "open, high, low, close must all be finite";
inline constexpr const char* volume_not_finite = "volume must be finite";
inline constexpr const char* volume_negative = "volume must be non-negative";
inline constexpr const char* high_below_low = "high must be >= low";
inline constexpr const char* high_below_body = "high must be >= open and >= close";
inline constexpr const char* low_above_body = "low must be <= open and <= close";
}  // namespace candle_text

class Candle {
public:
    // The first failing rule decides the error; the order of the rules is part
    // of the contract. A valid candle passes one combined test instead of six
    // branches; the rules are taken in order only to name a failure.
    static Expected<Candle, IndicatorError> create(double open, double high, double low, double close,
                                                   double volume, std::int64_t timestamp) noexcept {
        if (valid(open, high, low, close, volume)) [[likely]]
            return Candle(open, high, low, close, volume, timestamp);
        return IndicatorError::invalid_candle(failed_rule(open, high, low, close, volume));
    }

    // Every rule at once; on finite values each negated comparison is the
    // plain one (!(volume < 0) is volume >= 0, -0.0 included).
    static constexpr bool valid(double open, double high, double low, double close, double volume) noexcept {
        // Each test into a flag of its own, then the flags joined without
        // a branch between them.
        const bool o = is_finite(open), h = is_finite(high), l = is_finite(low), c = is_finite(close),
                   v = is_finite(volume);
        const bool finite = o & h & l & c & v;
        const bool ordered = (volume >= 0.0) & (high >= low) & (high >= open) & (high >= close) & (low <= open) &
                             (low <= close);
        return finite & ordered;
    }

    constexpr double open() const noexcept { return open_; }
    constexpr double high() const noexcept { return high_; }
    constexpr double low() const noexcept { return low_; }
    constexpr double close() const noexcept { return close_; }
    constexpr double volume() const noexcept { return volume_; }
    constexpr std::int64_t timestamp() const noexcept { return timestamp_; }

private:

    static constexpr const char* failed_rule(double open, double high, double low, double close,
                                             double volume) noexcept {
        if (!(is_finite(open) && is_finite(high) && is_finite(low) && is_finite(close)))
            return candle_text::prices_not_finite;
        if (!is_finite(volume)) return candle_text::volume_not_finite;
        if (volume < 0.0) return candle_text::volume_negative;
        if (high < low) return candle_text::high_below_low;
        if (high < open || high < close) return candle_text::high_below_body;
        return candle_text::low_above_body;
    }

    constexpr Candle(double open, double high, double low, double close, double volume,
                     std::int64_t timestamp) noexcept
        : open_(open), high_(high), low_(low), close_(close), volume_(volume), timestamp_(timestamp) {}

    double open_;
    double high_;
    double low_;
    double close_;
    double volume_;
    std::int64_t timestamp_;
};

// Columns of candles already known to be valid, for the classes that take
// whole columns at once. A field the columns lack points at the column it is
// filled from, or is null where nothing fills it (volume, say): a class reads
// only the fields its rows use.
struct CandleColumns {
    const double* open = nullptr;
    const double* high = nullptr;
    const double* low = nullptr;
    const double* close = nullptr;
    const double* volume = nullptr;

    Candle at(std::size_t i) const noexcept {
        return Candle::create(open[i], high[i], low[i], close[i], volume ? volume[i] : 0.0, 0).value();
    }
    // Rows [i, ...) of the same columns.
    CandleColumns from(std::size_t i) const noexcept {
        const auto at = [i](const double* column) { return column ? column + i : nullptr; };
        return {at(open), at(high), at(low), at(close), at(volume)};
    }
};

}  // namespace kestov
