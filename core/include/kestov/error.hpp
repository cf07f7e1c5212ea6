#pragma once
// The core's error values. Texts are static: an error never allocates when it
// is made, only when its message is rendered.

#include <cstdint>
#include <string>
#include <variant>

namespace kestov {

enum class ErrorKind : std::uint8_t {
    PeriodZero,
    InvalidPeriod,
    NonFinite,
    InvalidCandle,
    InvalidMultiplier,
    InvalidParameter,
};

class IndicatorError {
public:
    static constexpr IndicatorError period_zero() noexcept { return {ErrorKind::PeriodZero, nullptr}; }
    static constexpr IndicatorError invalid_period(const char* why) noexcept { return {ErrorKind::InvalidPeriod, why}; }
    static constexpr IndicatorError non_finite() noexcept { return {ErrorKind::NonFinite, nullptr}; }
    static constexpr IndicatorError invalid_candle(const char* why) noexcept { return {ErrorKind::InvalidCandle, why}; }
    static constexpr IndicatorError invalid_multiplier() noexcept { return {ErrorKind::InvalidMultiplier, nullptr}; }
    static constexpr IndicatorError invalid_parameter(const char* why) noexcept {
        return {ErrorKind::InvalidParameter, why};
    }

    constexpr ErrorKind kind() const noexcept { return kind_; }
    // The static text carried by InvalidPeriod, InvalidCandle and
    // InvalidParameter; null otherwise.
    constexpr const char* detail() const noexcept { return detail_; }

    // Leading part of the display text; the detail, if any, follows it.
    constexpr const char* prefix() const noexcept {
        switch (kind_) {
            case ErrorKind::PeriodZero: return "period must be greater than zero";
            case ErrorKind::InvalidPeriod: return "invalid period: ";
            case ErrorKind::NonFinite: return "input value must be finite (got NaN or infinity)";
            case ErrorKind::InvalidCandle: return "invalid candle: ";
            case ErrorKind::InvalidMultiplier: return "multiplier must be greater than zero";
            case ErrorKind::InvalidParameter: return "invalid parameter: ";
        }
        return "";
    }

    std::string message() const {
        std::string text = prefix();
        if (detail_ != nullptr) text += detail_;
        return text;
    }

    friend constexpr bool operator==(const IndicatorError&, const IndicatorError&) = default;

private:
    constexpr IndicatorError(ErrorKind kind, const char* detail) noexcept : kind_(kind), detail_(detail) {}

    ErrorKind kind_;
    const char* detail_;
};

// Room for an indicator's buffers could not be reserved.
enum class RoomError : std::uint8_t {
    OutOfMemory,    // the allocation itself failed
    CountOverflow,  // the number of slots (such as period + 1) does not fit in 64 bits
};

// Why an indicator could not be built: a bad configuration, or no room for it.
using BuildError = std::variant<IndicatorError, RoomError>;

}  // namespace kestov
