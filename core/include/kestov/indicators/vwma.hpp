#pragma once
// Volume-weighted moving average: the closes of the last `period` candles
// weighted by their volumes, sum(close * volume) / sum(volume). Both sums
// are taken afresh from the window on every candle, so a product too large
// for a double, or a huge volume, leaves no trace once its candle has left
// the window; a window without volume has no value.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class VWMA {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "VWMA";

private:
    using Term = std::array<double, 2>;  // close * volume, volume
    bool has_value_ = false;
    double value_ = 0.0;
    MirroredWindow<Term> window_;
    std::uint64_t period_;

    VWMA(MirroredWindow<Term> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<VWMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<Term>::with_length(period);
        if (!window) return BuildError{window.error()};
        return VWMA(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        window_.push({candle.close() * candle.volume(), candle.volume()});
        has_value_ = false;
        if (!window_.full()) return std::nullopt;
        // Oldest first, one addition at a time.
        const Term* terms = window_.data();
        double weighted = -0.0;
        double volume = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) {
            weighted += terms[i][0];
            volume += terms[i][1];
        }
        if (volume == 0.0) return std::nullopt;
        value_ = weighted / volume;
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
        v(window_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !window_.full()) return "VWMA: a value before the window was full";
        return nullptr;
    }
};

}  // namespace kestov
