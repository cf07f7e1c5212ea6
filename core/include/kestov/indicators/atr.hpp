#pragma once
// Average true range: the mean of the first `period` true ranges, then
// Wilder smoothing in its fused multiply-add form.

#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

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
    static constexpr std::string_view name = "ATR";

private:
    // Presence flags beside plain doubles (rather than std::optional) keep
    // the state trivially laid out and the warm-up branch cheap.
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
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
        if (has_prev_close_) {
            const double pc = prev_close_;
            tr = max_ignoring_nan(max_ignoring_nan(h - l, std::fabs(h - pc)), std::fabs(l - pc));
        }
        prev_close_ = candle.close();
        has_prev_close_ = true;

        if (has_value_) {
            const double n = static_cast<double>(period_);
            value_ = fused_multiply_add(value_, n - 1.0, tr) / n;
            return value_;
        }
        seed_.push_back(tr);
        if (seed_.size() < period_) return std::nullopt;
        // Summed in arrival order, one addition at a time.
        double sum = -0.0;
        for (std::size_t i = 0; i < seed_.size(); ++i) sum += seed_[i];
        value_ = sum / static_cast<double>(seed_.size());
        has_value_ = true;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_close_ = false;
        has_value_ = false;
        prev_close_ = value_ = 0.0;
        seed_.clear();
    }

    // Saved state (state.hpp). The seed stays full once summed.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != (seed_.size() == period_)) return "ATR: value flag and seed count disagree";
        if (has_prev_close_ != !seed_.empty()) return "ATR: previous close and seed disagree";
        return nullptr;
    }
};

}  // namespace kestov
