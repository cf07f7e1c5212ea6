#pragma once
// Least-squares line through the last `period` finite values, placed at
// positions 0 (the oldest) to period - 1 (the newest): the line's value at
// the newest position, its slope per value, its value at the oldest
// position (the intercept), the slope's angle in degrees and the line one
// position ahead (the time series forecast). The window is summed afresh on
// every value, so a value too large for its sums leaves no trace once it
// has left the window.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

// The arctangent in radians from +, -, * and / alone, so that it gives the
// same bits everywhere, as libm's atan does not promise: Cephes' reduction
// to |t| <= 0.66 and its degree 4/5 rational approximation there, within a
// unit in the last place of the true value. Keeps the sign of a zero; NaN
// gives NaN.
inline double arctangent(double x) noexcept {
    constexpr double p0 = -8.750608600031904122785e-1, p1 = -1.615753718733365076637e1,
                     p2 = -7.500855792314704667340e1, p3 = -1.228866684490136173410e2,
                     p4 = -6.485021904942025371773e1;
    constexpr double q0 = 2.485846490142306297962e1, q1 = 1.650270098316988542046e2,
                     q2 = 4.328810604912902668951e2, q3 = 4.853903996359136964868e2,
                     q4 = 1.945506571482613964425e2;
    constexpr double tan_3pi_8 = 2.41421356237309504880;
    constexpr double half_pi = 1.57079632679489661923;
    constexpr double quarter_pi = 7.85398163397448309616e-1;
    constexpr double pi_2_tail = 6.123233995736765886130e-17;  // pi / 2 less half_pi

    const bool negative = std::signbit(x);
    const double a = negative ? -x : x;
    double base = 0.0;
    double tail = 0.0;
    double t = a;
    if (a > tan_3pi_8) {
        base = half_pi;
        tail = pi_2_tail;
        t = -(1.0 / a);
    } else if (a > 0.66) {
        base = quarter_pi;
        tail = 0.5 * pi_2_tail;
        t = (a - 1.0) / (a + 1.0);
    }
    const double z = t * t;
    const double p = (((p0 * z + p1) * z + p2) * z + p3) * z + p4;
    const double q = ((((z + q0) * z + q1) * z + q2) * z + q3) * z + q4;
    double r = t * ((z * p) / q) + t;
    // The small correction joins the reduced angle before the large base, or
    // it would be lost in the base's rounding.
    if (base != 0.0) r = base + (r + tail);
    return negative ? -r : r;
}

class LinearRegression {
public:
    using Input = double;
    using Output = std::array<double, 5>;  // value, slope, intercept, angle, forecast
    static constexpr std::string_view name = "LinearRegression";

private:
    static constexpr double degrees_per_radian = 180.0 / 3.141592653589793;

    Output current_{};  // the last output, once the window is full
    MirroredWindow<double> window_;
    std::uint64_t period_;
    double centre_;  // the mean position, (period - 1) / 2
    double spread_;  // the sum of the positions' squared distances from it

    LinearRegression(MirroredWindow<double> window, std::uint64_t period) noexcept
        : window_(std::move(window)), period_(period), centre_((static_cast<double>(period) - 1.0) / 2.0),
          spread_(static_cast<double>(period) * (static_cast<double>(period) * static_cast<double>(period) - 1.0) /
                  12.0) {}

public:
    static Expected<LinearRegression, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (period == 1) return BuildError{IndicatorError::invalid_period("a line needs a period of at least 2")};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return LinearRegression(std::move(window).value(), period);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        window_.push(value);
        if (!window_.full()) return std::nullopt;
        const double* y = window_.data();
        // One pass over the differences from the oldest value: their mean
        // gives the window's, exactly for a flat window (as Variance's), and
        // their moment about the centre position is the values' own, since
        // the positions' distances from it sum to 0. The differences are
        // small where the values are close, so no large products cancel.
        double shift = -0.0;
        double moment = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) {
            const double d = y[i] - y[0];
            shift += d;
            moment += (static_cast<double>(i) - centre_) * d;
        }
        const double mean = y[0] + shift / static_cast<double>(window_.size());
        const double slope = moment / spread_;
        current_ = {mean + slope * centre_, slope, mean - slope * centre_, arctangent(slope) * degrees_per_radian,
                    mean + slope * (centre_ + 1.0)};
        return current_;
    }

    std::optional<Output> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        current_ = {};
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(current_);
        v(window_);
    }
};

}  // namespace kestov
