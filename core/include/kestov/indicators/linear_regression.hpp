#pragma once
// Least-squares line through the last `period` finite values, placed at
// positions 0 (the oldest) to period - 1 (the newest): the line's value at
// the newest position, its slope per value, its value at the oldest
// position (the intercept), the slope's angle in degrees and the line one
// position ahead (the time series forecast). The window is summed afresh on
// every value, so a value too large for its sums leaves no trace once it
// has left the window.

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

// x, its sign bit turned wherever `sign`'s is set: -x there, exactly as
// negation turns it (a NaN's included).
template <class T>
[[gnu::always_inline]] inline T turn_sign(T x, T sign) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return std::signbit(sign) ? -x : x;
    } else {
        const auto turn = lanes::bits_of(sign) & lanes::bits_of(lanes::splat<T>(-0.0));
        const auto bits = lanes::bits_of(x);
        return std::bit_cast<T>((bits | turn) & ~(bits & turn));
    }
}

// The arctangent in radians from +, -, * and / alone, so that it gives the
// same bits everywhere, as libm's atan does not promise: Cephes' reduction
// to |t| <= 0.66 and its degree 4/5 rational approximation there, within a
// unit in the last place of the true value. Keeps the sign of a zero; NaN
// gives NaN. Of a double, or of each lane of a pack.
template <class T>
[[gnu::always_inline]] inline T arctangent(T x) noexcept {
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

    const T a = lanes::abs(x);
    const auto beyond = lanes::splat<T>(tan_3pi_8) < a;
    const auto above = lanes::splat<T>(0.66) < a;  // beyond included
    // -(1 / a) beyond tan(3 pi / 8), else (a - 1) / (a + 1) above 0.66: one
    // division serves both.
    const T quotient = lanes::select(beyond, lanes::splat<T>(1.0), a - 1.0) / lanes::select(beyond, a, a + 1.0);
    const T t = lanes::select(beyond, turn_sign(quotient, lanes::splat<T>(-0.0)), lanes::select(above, quotient, a));
    const T z = t * t;
    const T p = (((p0 * z + p1) * z + p2) * z + p3) * z + p4;
    const T q = ((((z + q0) * z + q1) * z + q2) * z + q3) * z + q4;
    const T r = t * ((z * p) / q) + t;
    const T base = lanes::select(beyond, lanes::splat<T>(half_pi), lanes::splat<T>(quarter_pi));
    const T tail = lanes::select(beyond, lanes::splat<T>(pi_2_tail), lanes::splat<T>(0.5 * pi_2_tail));
    // The small correction joins the reduced angle before the large base, or
    // it would be lost in the base's rounding.
    return turn_sign(lanes::select(above, base + (r + tail), r), x);
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
        const auto [mean, slope] = fit<double>(window_.data(), window_.size(), [&](std::size_t i) { return distance(i); });
        current_ = line(mean, slope);
        return current_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), five outputs a row, with the same state
    // left behind. Within a stretch each row's window is in the column, and
    // the lines of a pack of rows are fitted side by side: a chunk's fits
    // first, then their outputs, so that the long chains of the two overlap
    // more rows than one after the other would.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        constexpr std::size_t k = std::tuple_size_v<Output>;
        constexpr std::size_t w = lanes::width<Pack>;
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA {
            const auto r = update(values[i]);
            for (std::size_t j = 0; j < k; ++j) out[i * k + j] = r ? (*r)[j] : nan_value;
        };
        const std::size_t length = static_cast<std::size_t>(period_);
        const auto body = [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            double distances[stretches::most_lookback + 1];
            for (std::size_t i = 0; i < length; ++i) distances[i] = distance(i);
            const auto at = [&](std::size_t i) KESTOV_INLINE_LAMBDA { return distances[i]; };
            // Row i's window: the `length` values up to and including values[i].
            const auto window = [&](std::size_t i) KESTOV_INLINE_LAMBDA { return values + (i + 1 - length); };
            stretches::in_chunks(first, last, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                double mean[stretches::chunk];
                double slope[stretches::chunk];
                std::size_t i = c0;
                for (; i + ways * w <= c1; i += ways * w) {
                    const auto fits = fit<Pack, ways>(window(i), length, at);
                    for (std::size_t u = 0; u < ways; ++u) {
                        lanes::store(mean + (i - c0) + u * w, fits[u][0]);
                        lanes::store(slope + (i - c0) + u * w, fits[u][1]);
                    }
                }
                for (; i + w <= c1; i += w) {
                    const auto [m, s] = fit<Pack>(window(i), length, at);
                    lanes::store(mean + (i - c0), m);
                    lanes::store(slope + (i - c0), s);
                }
                for (; i < c1; ++i) {
                    const auto [m, s] = fit<double>(window(i), length, at);
                    mean[i - c0] = m;
                    slope[i - c0] = s;
                }
                for (i = c0; i + w <= c1; i += w) {
                    const auto lines = line(lanes::load<Pack>(mean + (i - c0)), lanes::load<Pack>(slope + (i - c0)));
                    double lane[k][w];
                    for (std::size_t j = 0; j < k; ++j) lanes::store(lane[j], lines[j]);
                    for (std::size_t r = 0; r < w; ++r)
                        for (std::size_t j = 0; j < k; ++j) out[(i + r) * k + j] = lane[j][r];
                }
                for (; i < c1; ++i) {
                    const Output o = line(mean[i - c0], slope[i - c0]);
                    for (std::size_t j = 0; j < k; ++j) out[i * k + j] = o[j];
                }
            });
            for (std::size_t j = 0; j < k; ++j) current_[j] = out[(last - 1) * k + j];
            window_.clear();
            for (std::size_t j = last - length; j < last; ++j) window_.push(values[j]);
        };
        stretches::feed<Pack>(values, n, length - 1, by_row, body);
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

private:
    // Position i's distance from the centre position.
    double distance(std::size_t i) const noexcept { return static_cast<double>(i) - centre_; }

    // The mean and the slope of `count` values from y (of count rows side by
    // side, a pack's lanes one value apart); `at(i)` is distance(i). One
    // pass over the differences from the oldest value: their mean gives the
    // window's, exactly for a flat window (as Variance's), and their moment
    // about the centre position is the values' own, since the positions'
    // distances from it sum to 0. The differences are small where the values
    // are close, so no large products cancel.
    template <class T, class At>
    [[gnu::always_inline]] std::array<T, 2> fit(const double* y, std::size_t count, At&& at) const noexcept {
        return fit<T, 1>(y, count, at)[0];
    }
    // `ways` packs of rows, one after another, fitted in one loop: each sum
    // is a chain of additions, and several chains keep the processor busy.
    template <class T, std::size_t ways, class At>
    [[gnu::always_inline]] std::array<std::array<T, 2>, ways> fit(const double* y, std::size_t count,
                                                                  At&& at) const noexcept {
        constexpr std::size_t w = lanes::width<T>;
        T oldest[ways], shift[ways], moment[ways];
        for (std::size_t u = 0; u < ways; ++u) {
            oldest[u] = lanes::load<T>(y + u * w);
            shift[u] = moment[u] = lanes::splat<T>(-0.0);
        }
        for (std::size_t i = 0; i < count; ++i) {
            const double position = at(i);
            for (std::size_t u = 0; u < ways; ++u) {
                const T d = lanes::load<T>(y + i + u * w) - oldest[u];
                shift[u] += d;
                moment[u] += position * d;
            }
        }
        std::array<std::array<T, 2>, ways> fits;
        for (std::size_t u = 0; u < ways; ++u)
            fits[u] = {oldest[u] + shift[u] / static_cast<double>(count), moment[u] / spread_};
        return fits;
    }
    static constexpr std::size_t ways = 4;

    // The five outputs of a line.
    template <class T>
    [[gnu::always_inline]] std::array<T, 5> line(T mean, T slope) const noexcept {
        return {mean + slope * centre_, slope, mean - slope * centre_, arctangent(slope) * degrees_per_radian,
                mean + slope * (centre_ + 1.0)};
    }
};

}  // namespace kestov
