#pragma once
// Pearson's correlation of two series over the last `period` pairs, from
// running sums as TA-Lib's CORREL keeps them:
//   (Sxy - Sx * Sy / n) / sqrt((Sxx - Sx * Sx / n) * (Syy - Sy * Sy / n)).
// A pair with a NaN or an infinity in either value is skipped whole. A
// window in which either series is constant has no correlation: no value,
// where TA-Lib writes 0, which would read as "unrelated".

#include <cmath>
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

class Correlation {
public:
    using Input = Pair;
    using Output = double;
    static constexpr std::string_view name = "Correlation";

private:
    bool has_value_ = false;
    double value_ = 0.0;
    PairSums sums_;
    std::uint64_t period_;

    Correlation(PairSums sums, std::uint64_t period) noexcept : sums_(std::move(sums)), period_(period) {}

public:
    static Expected<Correlation, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto sums = PairSums::with_length(period);
        if (!sums) return BuildError{sums.error()};
        return Correlation(std::move(sums).value(), period);
    }

    std::optional<double> update(const Pair& pair) noexcept {
        if (!is_finite(pair.a) || !is_finite(pair.b)) return value();
        sums_.push(pair.a, pair.b);
        has_value_ = false;
        if (!sums_.full()) return std::nullopt;
        const double n = static_cast<double>(period_);
        const PairSums::Sums& s = sums_.sums();
        const double spread = (s.xx - s.x * s.x / n) * (s.yy - s.y * s.y / n);
        // Rounding can leave a constant series a spread just below zero.
        if (!(spread > 0.0) || !is_finite(spread)) return std::nullopt;
        value_ = (s.xy - s.x * s.y / n) / std::sqrt(spread);
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return sums_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        sums_.clear();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
        v(sums_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !sums_.full()) return "Correlation: a value before the window was full";
        return nullptr;
    }
};

}  // namespace kestov
