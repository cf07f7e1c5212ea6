#pragma once
// Zero-lag EMA: an EMA of each input pushed further by its change over
// (period - 1) / 2 inputs, x + (x - x[lag back]), which offsets most of the
// average's lag.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class ZLEMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "ZLEMA";

private:
    RingBuffer<double> window_;  // the last lag + 1 finite inputs
    EMA ema_;
    std::uint64_t period_;

    ZLEMA(RingBuffer<double> window, EMA ema, std::uint64_t period) noexcept
        : window_(std::move(window)), ema_(std::move(ema)), period_(period) {}

public:
    static std::uint64_t lag_of(std::uint64_t period) noexcept { return (period - 1) / 2; }

    static Expected<ZLEMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<double>::with_capacity(lag_of(period) + 1);
        if (!window) return BuildError{window.error()};
        auto ema = EMA::create(period);
        if (!ema) return ema.error();
        return ZLEMA(std::move(window).value(), std::move(ema).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return ema_.value();
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }
        // The change first, then added: x + (x - old), not 2x - old. An
        // overflowing sum is skipped by the average, as a non-finite input.
        return ema_.update(value + (value - window_.front()));
    }

    std::optional<double> value() const noexcept { return ema_.value(); }

    bool is_ready() const noexcept { return ema_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return lag_of(period_) + period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        ema_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(window_);
        v(ema_);
    }
    const char* state_fault() const noexcept {
        if (ema_.has_input() && !window_.full()) return "ZLEMA: average fed before the lag window was full";
        return nullptr;
    }
};

}  // namespace kestov
