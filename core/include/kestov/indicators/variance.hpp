#pragma once
// Population variance of the last `period` finite values: the window's mean,
// then the mean of the squared deviations from it. Both sums are taken
// afresh from the window on every value, so a square too large for a double
// makes the variance infinite only while its value is in the window. Also
// the variance under StdDev.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class Variance {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "Variance";

private:
    double value_ = 0.0;  // the last output, once the window is full
    MirroredWindow<double> window_;
    std::uint64_t period_;

    Variance(MirroredWindow<double> window, std::uint64_t period) noexcept
        : window_(std::move(window)), period_(period) {}

public:
    static Expected<Variance, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return Variance(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        window_.push(value);
        if (!window_.full()) return std::nullopt;
        value_ = of<double>(window_.data(), window_.size());
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        update_block<Pack>(values, n, out, [](auto variance) KESTOV_INLINE_LAMBDA { return variance; });
    }

    // The same, each output through `finish` (a template over double and
    // Pack), as StdDev takes its root. Within a stretch each row's window is
    // in the column, and the variances of a pack of rows are taken side by side.
    template <class Pack, class Finish>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out, Finish&& finish) noexcept {
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA {
            const auto r = update(values[i]);
            out[i] = r ? finish(*r) : nan_value;
        };
        const std::size_t length = static_cast<std::size_t>(period_);
        const auto body = [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            // Row i's window: the `length` values up to and including values[i].
            const auto window = [&](std::size_t i) KESTOV_INLINE_LAMBDA { return values + (i + 1 - length); };
            std::size_t i = first;
            for (; i + lanes::width<Pack> <= last; i += lanes::width<Pack>)
                lanes::store(out + i, finish(of<Pack>(window(i), length)));
            for (; i < last; ++i) out[i] = finish(of<double>(window(i), length));
            value_ = of<double>(window(last - 1), length);
            window_.clear();
            for (std::size_t j = last - length; j < last; ++j) window_.push(values[j]);
        };
        stretches::feed<Pack>(values, n, length - 1, by_row, body);
    }

    std::optional<double> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(value_);
        v(window_);
    }

private:
    // The variance of `count` values from x (of count rows side by side, a
    // pack's lanes starting one value apart). The mean first, then the
    // deviations from it, so that no large squares cancel. The mean is the
    // oldest value plus the mean difference from it: exactly that value for
    // a window of one repeated value, whose variance is then exactly 0.
    template <class T>
    [[gnu::always_inline]] static T of(const double* x, std::size_t count) noexcept {
        return of<T>([&](std::size_t i) KESTOV_INLINE_LAMBDA { return lanes::load<T>(x + i); }, count);
    }
    // The same, of the values at(0), ..., at(count - 1), oldest first.
    template <class T, class At>
    [[gnu::always_inline]] static T of(At at, std::size_t count) noexcept {
        const T oldest = at(0);
        const double n = static_cast<double>(count);
        T shift = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < count; ++i) shift += at(i) - oldest;
        const T mean = oldest + shift / n;
        T squares = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < count; ++i) {
            const T d = at(i) - mean;
            squares += d * d;
        }
        return squares / n;
    }

public:
    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneMirror<Pack, 64> window;
        Pack value;

        static bool fits(const Variance& v) noexcept { return decltype(window)::fits(v.period_); }
        static bool settled(const Variance& v) noexcept { return v.window_.full() && fits(v); }
        void load(const Variance& v, std::size_t lane) noexcept {
            window.load(v.window_, lane);
            value[lane] = v.value_;
        }
        void store(Variance& v, std::size_t lane) const noexcept {
            window.store(v.window_, lane);
            v.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            window.push(x);
            const Pack* w = window.data();
            return value = of<Pack>([&](std::size_t i) KESTOV_INLINE_LAMBDA { return w[i]; }, window.length);
        }
    };
};

}  // namespace kestov
