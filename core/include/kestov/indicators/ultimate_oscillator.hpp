#pragma once
// Ultimate oscillator (Williams): buying pressure, the close above the lower
// of the low and the previous close, as a share of the true range, summed
// over three windows and weighted 4, 2 and 1 from the shortest, from 0 to
// 100.

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

class UltimateOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "UltimateOscillator";

private:
    using Term = std::array<double, 2>;  // buying pressure, true range
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
    std::array<Term, 3> sums_{};  // running sums of each window, never recomputed from it
    RingBuffer<Term> terms_;      // the last `slow` terms
    std::array<std::uint64_t, 3> periods_;

    UltimateOscillator(RingBuffer<Term> terms, std::array<std::uint64_t, 3> periods) noexcept
        : terms_(std::move(terms)), periods_(periods) {}

public:
    static Expected<UltimateOscillator, BuildError> create(std::uint64_t fast, std::uint64_t medium,
                                                           std::uint64_t slow) noexcept {
        if (fast == 0 || medium == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast > medium || medium > slow)
            return BuildError{IndicatorError::invalid_period("periods must be fast <= medium <= slow")};
        auto terms = RingBuffer<Term>::with_capacity(slow);
        if (!terms) return BuildError{terms.error()};
        return UltimateOscillator(std::move(terms).value(), {fast, medium, slow});
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double pc = prev_close_;
        const bool had = has_prev_close_;
        prev_close_ = candle.close();
        has_prev_close_ = true;
        if (!had) return std::nullopt;

        // In this order, as TrueRange's.
        const double tr = max_ignoring_nan(max_ignoring_nan(h - l, std::fabs(h - pc)), std::fabs(l - pc));
        const Term term{candle.close() - min_ignoring_nan(l, pc), tr};
        const std::size_t held = terms_.size();
        for (std::size_t w = 0; w < 3; ++w) {
            // The term leaving this window is subtracted before the new one
            // is added, as SMA's.
            if (held >= periods_[w]) {
                const Term& old = terms_[held - periods_[w]];
                sums_[w][0] = sums_[w][0] - old[0];
                sums_[w][1] = sums_[w][1] - old[1];
            }
            sums_[w][0] = term[0] + sums_[w][0];
            sums_[w][1] = term[1] + sums_[w][1];
        }
        if (terms_.full()) {
            terms_.replace_oldest(term);
        } else {
            terms_.push_back(term);
            if (!terms_.full()) return std::nullopt;
        }
        std::array<double, 3> average{};
        for (std::size_t w = 0; w < 3; ++w)
            average[w] = sums_[w][1] == 0.0 ? 0.0 : sums_[w][0] / sums_[w][1];
        value_ = 100.0 * (((4.0 * average[0] + 2.0 * average[1]) + average[2]) / 7.0);
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return periods_[2] + 1; }
    std::uint64_t fast() const noexcept { return periods_[0]; }
    std::uint64_t medium() const noexcept { return periods_[1]; }
    std::uint64_t slow() const noexcept { return periods_[2]; }

    void reset() noexcept {
        has_prev_close_ = false;
        has_value_ = false;
        prev_close_ = value_ = 0.0;
        sums_ = {};
        terms_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {periods_[0], periods_[1], periods_[2]};
    }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
        for (Term& sum : sums_) v(sum);
        v(terms_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != terms_.full()) return "UltimateOscillator: value flag and window disagree";
        if (!has_prev_close_ && !terms_.empty()) return "UltimateOscillator: terms without a previous close";
        return nullptr;
    }
};

}  // namespace kestov
