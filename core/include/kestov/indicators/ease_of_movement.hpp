#pragma once
// Ease of movement (Arms): how far the candle's midpoint moved for the
// volume it took, averaged over the last `period` candles. Each candle after
// the first gives a one-period value, the distance its midpoint moved,
// (high + low) / 2 - (previous high + previous low) / 2, over its box ratio,
// (volume / volume_divisor) / (high - low); the output is the mean of the
// last `period` of them (talipp's EMV). The window is summed afresh on every
// candle, so a value too large for a double is forgotten once it leaves.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class EaseOfMovement {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "EaseOfMovement";

private:
    bool has_prev_mid_ = false;
    bool has_value_ = false;
    double prev_mid_ = 0.0;
    double value_ = 0.0;
    MirroredWindow<double> window_;  // one-period values
    std::uint64_t period_;
    double volume_divisor_;

    EaseOfMovement(MirroredWindow<double> window, std::uint64_t period, double volume_divisor) noexcept
        : window_(std::move(window)), period_(period), volume_divisor_(volume_divisor) {}

public:
    static Expected<EaseOfMovement, BuildError> create(std::uint64_t period, double volume_divisor) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(volume_divisor) && volume_divisor > 0.0))
            return BuildError{IndicatorError::invalid_parameter("volume_divisor must be finite and greater than zero")};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return EaseOfMovement(std::move(window).value(), period, volume_divisor);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double range = candle.high() - candle.low();
        const double mid = (candle.high() + candle.low()) / 2.0;
        const double distance = mid - prev_mid_;
        const bool had = has_prev_mid_;
        prev_mid_ = mid;
        has_prev_mid_ = true;
        if (!had) return std::nullopt;
        // A candle without range, or without volume enough to register
        // against its range, has a box ratio of 0 here, and a one-period
        // value of 0 rather than a division by zero.
        const double box = range == 0.0 ? 0.0 : (candle.volume() / volume_divisor_) / range;
        window_.push(box == 0.0 ? 0.0 : distance / box);
        if (!window_.full()) return std::nullopt;
        // Oldest first, one addition at a time.
        const double* values = window_.data();
        double sum = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) sum += values[i];
        value_ = sum / static_cast<double>(period_);
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }
    double volume_divisor() const noexcept { return volume_divisor_; }

    void reset() noexcept {
        has_prev_mid_ = false;
        has_value_ = false;
        prev_mid_ = 0.0;
        value_ = 0.0;
        window_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, volume_divisor_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_mid_);
        v(has_value_);
        v(prev_mid_);
        v(value_);
        v(window_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != window_.full()) return "EaseOfMovement: value flag and window disagree";
        if (window_.size() != 0 && !has_prev_mid_) return "EaseOfMovement: values without a previous midpoint";
        return nullptr;
    }
};

}  // namespace kestov
