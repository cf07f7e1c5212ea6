#pragma once
// Directional movement index: how much of the smoothed true range the
// stronger of the two directional movements takes over the weaker, 100 *
// |+DI - -DI| / (+DI + -DI). Wilder's running sums are seeded with the sum
// of the first period - 1 movements and then take one smoothing step per
// candle, so the first value comes with the candle after the first
// `period`: TA-Lib's timing. ADX (of the first 25) seeds with `period`
// movements instead; the two converge.

#include <array>
#include <cmath>
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

class DX {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "DX";

private:
    using Movement = std::array<double, 3>;  // true range, +DM, -DM
    bool has_prev_ = false;
    bool smoothed_ = false;
    bool has_value_ = false;
    double prev_high_ = 0.0;
    double prev_low_ = 0.0;
    double prev_close_ = 0.0;
    Movement sums_{};  // the smoothed true range, +DM and -DM
    double value_ = 0.0;
    RingBuffer<Movement> seed_;  // the first period - 1 movements
    std::uint64_t period_;

    DX(RingBuffer<Movement> seed, std::uint64_t period) noexcept : seed_(std::move(seed)), period_(period) {}

public:
    static Expected<DX, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<Movement>::with_capacity(period - 1);
        if (!seed) return BuildError{seed.error()};
        return DX(std::move(seed).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double ph = prev_high_;
        const double pl = prev_low_;
        const double pc = prev_close_;
        const bool had = has_prev_;
        prev_high_ = h;
        prev_low_ = l;
        prev_close_ = candle.close();
        has_prev_ = true;
        if (!had) return std::nullopt;

        // In this order, as TrueRange's.
        const double tr = max_ignoring_nan(max_ignoring_nan(h - l, std::fabs(h - pc)), std::fabs(l - pc));
        const double up = h - ph;
        const double down = pl - l;
        const Movement move{tr, (up > down && up > 0.0) ? up : 0.0, (down > up && down > 0.0) ? down : 0.0};

        if (!smoothed_) {
            if (seed_.size() < period_ - 1) {
                seed_.push_back(move);
                return std::nullopt;
            }
            // Each sum in arrival order, one addition at a time.
            Movement sums{-0.0, -0.0, -0.0};
            for (std::size_t i = 0; i < seed_.size(); ++i)
                for (std::size_t k = 0; k < 3; ++k) sums[k] += seed_[i][k];
            sums_ = sums;
            smoothed_ = true;
        }
        const double n = static_cast<double>(period_);
        // The sum less its share first, then the new movement.
        for (std::size_t k = 0; k < 3; ++k) sums_[k] = (sums_[k] - sums_[k] / n) + move[k];

        value_ = 0.0;
        if (sums_[0] != 0.0) {
            // Each ratio before its scaling, as TA-Lib.
            const double plus_di = 100.0 * (sums_[1] / sums_[0]);
            const double minus_di = 100.0 * (sums_[2] / sums_[0]);
            const double total = plus_di + minus_di;
            if (total != 0.0) value_ = 100.0 * (std::fabs(plus_di - minus_di) / total);
        }
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_ = false;
        smoothed_ = false;
        has_value_ = false;
        prev_high_ = prev_low_ = prev_close_ = value_ = 0.0;
        sums_ = {};
        seed_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(smoothed_);
        v(has_value_);
        v(prev_high_);
        v(prev_low_);
        v(prev_close_);
        v(sums_);
        v(value_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (smoothed_ && seed_.size() != period_ - 1) return "DX: smoothed flag and seed count disagree";
        if (has_value_ != smoothed_) return "DX: value flag and smoothed flag disagree";
        if (!has_prev_ && (smoothed_ || !seed_.empty())) return "DX: movements without a previous candle";
        return nullptr;
    }
};

}  // namespace kestov
