#pragma once
// Rate of change in percent against the value `period` finite inputs back.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class ROC {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "ROC";

private:
    RingBuffer<double> window_;  // the last period + 1 finite inputs
    std::uint64_t period_;

    ROC(RingBuffer<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<ROC, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const auto slots = plus_one(period);
        if (!slots) return BuildError{slots.error()};
        auto window = RingBuffer<double>::with_capacity(slots.value());
        if (!window) return BuildError{window.error()};
        return ROC(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        // Unlike the averages, a skipped input has no value at all, even when ready.
        if (!is_finite(value)) return std::nullopt;
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }
        const double old = window_.front();
        if (old == 0.0) return 0.0;
        return ((value - old) / old) * 100.0;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept { window_.clear(); }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(window_);
    }
};

}  // namespace kestov
