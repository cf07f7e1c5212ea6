#pragma once
// Chaikin money flow: the money flow volume of the last `period` candles
// over their volume, sum(money flow volume) / sum(volume), from -1 to 1.
// Both sums are taken afresh from the window on every candle, as VWMA's are,
// so a huge volume leaves no trace once its candle has left the window; a
// window without volume gives 0, as TA-Lib's CMF does.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class ChaikinMoneyFlow {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ChaikinMoneyFlow";

private:
    using Term = std::array<double, 2>;  // money flow volume, volume
    bool has_value_ = false;
    double value_ = 0.0;
    MirroredWindow<Term> window_;
    std::uint64_t period_;

    ChaikinMoneyFlow(MirroredWindow<Term> window, std::uint64_t period) noexcept
        : window_(std::move(window)), period_(period) {}

public:
    static Expected<ChaikinMoneyFlow, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<Term>::with_length(period);
        if (!window) return BuildError{window.error()};
        return ChaikinMoneyFlow(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        window_.push({money_flow_volume(candle), candle.volume()});
        if (!window_.full()) return std::nullopt;
        // Oldest first, one addition at a time.
        const Term* terms = window_.data();
        double flow = -0.0;
        double volume = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) {
            flow += terms[i][0];
            volume += terms[i][1];
        }
        value_ = volume == 0.0 ? 0.0 : flow / volume;
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
        if (has_value_ != window_.full()) return "ChaikinMoneyFlow: value flag and window disagree";
        return nullptr;
    }
};

}  // namespace kestov
