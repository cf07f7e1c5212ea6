#pragma once
// Beta of b against a over the last `period` returns, as TA-Lib's BETA: the
// slope of b's returns regressed on a's (a is the benchmark), from running
// sums of the returns:
//   (n * Sab - Sa * Sb) / (n * Saa - Sa * Sa),
// where each return is (value - previous) / previous. A pair with a NaN or
// an infinity in either value is skipped whole. A return that cannot be
// formed (a previous value of zero, or a quotient beyond the largest double)
// is left out, and the next is taken from this pair. A window in which a
// does not move has no beta: no value, where TA-Lib writes 0.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/pair.hpp"
#include "kestov/pair_sums.hpp"

namespace kestov {

class Beta {
public:
    using Input = Pair;
    using Output = double;
    static constexpr std::string_view name = "Beta";

private:
    bool has_previous_ = false;
    double previous_a_ = 0.0;
    double previous_b_ = 0.0;
    bool has_value_ = false;
    double value_ = 0.0;
    PairSums returns_;
    std::uint64_t period_;

    Beta(PairSums returns, std::uint64_t period) noexcept : returns_(std::move(returns)), period_(period) {}

public:
    static Expected<Beta, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto returns = PairSums::with_length(period);
        if (!returns) return BuildError{returns.error()};
        return Beta(std::move(returns).value(), period);
    }

    std::optional<double> update(const Pair& pair) noexcept {
        if (!is_finite(pair.a) || !is_finite(pair.b)) return value();
        if (!has_previous_) {
            previous_a_ = pair.a;
            previous_b_ = pair.b;
            has_previous_ = true;
            return std::nullopt;
        }
        const double ra = (pair.a - previous_a_) / previous_a_;
        const double rb = (pair.b - previous_b_) / previous_b_;
        previous_a_ = pair.a;
        previous_b_ = pair.b;
        if (!is_finite(ra) || !is_finite(rb)) return value();
        returns_.push(ra, rb);
        has_value_ = false;
        if (!returns_.full()) return std::nullopt;
        const double n = static_cast<double>(period_);
        const PairSums::Sums& s = returns_.sums();
        const double spread = n * s.xx - s.x * s.x;
        if (!(spread > 0.0) || !is_finite(spread)) return std::nullopt;
        value_ = (n * s.xy - s.x * s.y) / spread;
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return returns_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        returns_.clear();
        has_previous_ = has_value_ = false;
        previous_a_ = previous_b_ = value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_previous_);
        v(previous_a_);
        v(previous_b_);
        v(has_value_);
        v(value_);
        v(returns_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !returns_.full()) return "Beta: a value before the window was full";
        if (returns_.size() != 0 && !has_previous_) return "Beta: returns without a previous pair";
        return nullptr;
    }
};

}  // namespace kestov
