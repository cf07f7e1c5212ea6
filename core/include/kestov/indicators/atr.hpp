#pragma once
// Average true range: the mean of the first `period` true ranges, then
// Wilder smoothing in its fused multiply-add form.

#include <cmath>
#include <cstdint>
#include <optional>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class ATR {
public:
    using Input = Candle;
    using Output = double;

private:
    std::optional<double> prev_close_;
    std::optional<double> value_;
    RingBuffer<double> seed_;  // true ranges until the seed is complete
    std::uint64_t period_;

    ATR(RingBuffer<double> seed, std::uint64_t period) noexcept : seed_(std::move(seed)), period_(period) {}

public:
    static Expected<ATR, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<double>::with_capacity(period);
        if (!seed) return BuildError{seed.error()};
        return ATR(std::move(seed).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        double tr = h - l;
        if (prev_close_) {
            const double pc = *prev_close_;
            tr = max_ignoring_nan(max_ignoring_nan(h - l, std::fabs(h - pc)), std::fabs(l - pc));
        }
        prev_close_ = candle.close();

        if (value_) {
            const double n = static_cast<double>(period_);
            value_ = fused_multiply_add(*value_, n - 1.0, tr) / n;
            return value_;
        }
        seed_.push_back(tr);
        if (seed_.size() < period_) return std::nullopt;
        // Summed in arrival order, one addition at a time.
        double sum = -0.0;
        for (std::size_t i = 0; i < seed_.size(); ++i) sum += seed_[i];
        value_ = sum / static_cast<double>(seed_.size());
        return value_;
    }

    bool is_ready() const noexcept { return value_.has_value(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        prev_close_.reset();
        value_.reset();
        seed_.clear();
    }
};

}  // namespace kestov
