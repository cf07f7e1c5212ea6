#pragma once
// Vortex indicator (Botes and Siepman): how far each candle's high reached
// from the previous low, VM+ = |high - previous low|, and its low from the
// previous high, VM- = |low - previous high|, each summed over the last
// `period` candles and divided by the sum of their true ranges: VI+ and VI-.
// The three sums are taken afresh from the window on every candle, so a
// term too large for a double, or a huge candle among small ones, leaves no
// trace once its candle has left the window; windows whose true ranges sum
// to zero give 0 for both.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class Vortex {
public:
    using Input = Candle;
    using Output = std::array<double, 2>;  // plus, minus
    static constexpr std::string_view name = "Vortex";

private:
    using Term = std::array<double, 3>;  // VM+, VM-, true range
    TrueRange true_range_;
    double prev_high_ = 0.0;
    double prev_low_ = 0.0;
    MirroredWindow<Term> window_;
    std::uint64_t period_;

    Vortex(TrueRange true_range, MirroredWindow<Term> window, std::uint64_t period) noexcept
        : true_range_(std::move(true_range)), window_(std::move(window)), period_(period) {}

public:
    static Expected<Vortex, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto true_range = TrueRange::create();
        if (!true_range) return true_range.error();
        auto window = MirroredWindow<Term>::with_length(period);
        if (!window) return BuildError{window.error()};
        return Vortex(std::move(true_range).value(), std::move(window).value(), period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double ph = prev_high_;
        const double pl = prev_low_;
        prev_high_ = h;
        prev_low_ = l;
        const auto tr = true_range_.update(candle);
        if (!tr) return std::nullopt;
        window_.push({std::fabs(h - pl), std::fabs(l - ph), *tr});
        if (!window_.full()) return std::nullopt;
        return current();
    }

    std::optional<Output> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return current();
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        true_range_.reset();
        prev_high_ = prev_low_ = 0.0;
        window_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(true_range_);
        v(prev_high_);
        v(prev_low_);
        v(window_);
    }
    const char* state_fault() const noexcept {
        if ((window_.size() != 0) != true_range_.is_ready()) return "Vortex: movements and true range disagree";
        return nullptr;
    }

private:
    Output current() const noexcept {
        // Oldest first, one addition at a time, each sum on its own.
        const Term* terms = window_.data();
        double plus = -0.0;
        double minus = -0.0;
        double range = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) {
            plus += terms[i][0];
            minus += terms[i][1];
            range += terms[i][2];
        }
        if (range == 0.0) return {0.0, 0.0};
        return {plus / range, minus / range};
    }
};

}  // namespace kestov
