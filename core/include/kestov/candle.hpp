#pragma once
// One price bar. The only way to make one is the validating constructor, so
// every Candle that exists is finite and internally consistent.

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
    // of the contract.
    static Expected<Candle, IndicatorError> create(double open, double high, double low, double close,
                                                   double volume, std::int64_t timestamp) noexcept {
        if (!(is_finite(open) && is_finite(high) && is_finite(low) && is_finite(close)))
            return IndicatorError::invalid_candle(candle_text::prices_not_finite);
        if (!is_finite(volume)) return IndicatorError::invalid_candle(candle_text::volume_not_finite);
        if (volume < 0.0) return IndicatorError::invalid_candle(candle_text::volume_negative);
        if (high < low) return IndicatorError::invalid_candle(candle_text::high_below_low);
        if (high < open || high < close) return IndicatorError::invalid_candle(candle_text::high_below_body);
        if (low > open || low > close) return IndicatorError::invalid_candle(candle_text::low_above_body);
        return Candle(open, high, low, close, volume, timestamp);
    }

    constexpr double open() const noexcept { return open_; }
    constexpr double high() const noexcept { return high_; }
    constexpr double low() const noexcept { return low_; }
    constexpr double close() const noexcept { return close_; }
    constexpr double volume() const noexcept { return volume_; }
    constexpr std::int64_t timestamp() const noexcept { return timestamp_; }

private:
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

}  // namespace kestov
