#pragma once
// Wilder's moving average (RMA, also called SMMA): the mean of the first
// `period` finite inputs, then each input weighted 1 / period against the
// previous average's (period - 1) / period. Also the smoothing inside CMO,
// ADXR and SuperTrend.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class RMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "RMA";

private:
    bool seeded_ = false;
    double current_ = 0.0;
    RingBuffer<double> seed_;  // the first `period` finite inputs
    std::uint64_t period_;

    RMA(RingBuffer<double> seed, std::uint64_t period) noexcept : seed_(std::move(seed)), period_(period) {}

public:
    static Expected<RMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<double>::with_capacity(period);
        if (!seed) return BuildError{seed.error()};
        return RMA(std::move(seed).value(), period);
    }

    // Inlined into the indicators built on it: a call per row costs more than the row.
    [[gnu::always_inline]] std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        const double n = static_cast<double>(period_);
        if (seeded_) {
            current_ = step(current_, value, n);
            return current_;
        }
        seed_.push_back(value);
        if (seed_.size() < period_) return std::nullopt;
        // Summed in arrival order, one addition at a time.
        double sum = -0.0;
        for (std::size_t i = 0; i < seed_.size(); ++i) sum += seed_[i];
        current_ = sum / n;
        seeded_ = true;
        return current_;
    }

    // RSI's form: scale the old average, add the input, divide; no fused step.
    template <class V>
    [[gnu::always_inline]] static V step(V current, V value, double n) noexcept {
        return (value + current * (n - 1.0)) / n;
    }

    // The settled average, for a batch loop that keeps it in a register and
    // steps it with `step`.
    double settled() const noexcept { return current_; }
    void settle(double current) noexcept { current_ = current; }

    std::optional<double> value() const noexcept {
        if (!seeded_) return std::nullopt;
        return current_;
    }

    // Whether any input has been taken since construction or reset.
    bool has_input() const noexcept { return seeded_ || !seed_.empty(); }
    bool is_ready() const noexcept { return seeded_; }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        seeded_ = false;
        current_ = 0.0;
        seed_.clear();
    }

    // Saved state (state.hpp). The seed stays full once it has been summed.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(seeded_);
        v(current_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (seeded_ != (seed_.size() == period_)) return "RMA: seeded flag and seed count disagree";
        return nullptr;
    }
};

}  // namespace kestov
