#pragma once
// Bollinger Bands: the window's mean with bands at a multiple of its
// population standard deviation, both from running sums of the values and of
// their squares that are never recomputed from the window.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <type_traits>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class BollingerBands {
public:
    using Input = double;
    using Output = std::array<double, 4>;  // upper, middle, lower, stddev
    static constexpr std::string_view name = "BollingerBands";

private:
    RingBuffer<double> window_;
    std::uint64_t period_;
    double multiplier_;
    double sum_ = 0.0;
    double sum_sq_ = 0.0;

    BollingerBands(RingBuffer<double> window, std::uint64_t period, double multiplier) noexcept
        : window_(std::move(window)), period_(period), multiplier_(multiplier) {}

public:
    // A positive subnormal multiplier is a valid, if useless, band width.
    static Expected<BollingerBands, BuildError> create(std::uint64_t period, double multiplier) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(multiplier) && multiplier > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        auto window = RingBuffer<double>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return BollingerBands(std::move(window).value(), period, multiplier);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) {
            if (!window_.full()) return std::nullopt;
            return bands();
        }
        // The leaving value comes out of both sums before the new one goes
        // in; each square is rounded on its own.
        if (window_.full()) {
            const double old = window_.replace_oldest(value);
            sum_ = sum_ - old;
            sum_sq_ = sum_sq_ - old * old;
        } else {
            window_.push_back(value);
        }
        sum_ = value + sum_;
        sum_sq_ = value * value + sum_sq_;
        if (!window_.full()) return std::nullopt;
        return bands();
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. The two
    // sums stay a chain, row by row; the bands of four rows are computed side
    // by side from them.
    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneWindow<Pack, 64> window;
        Pack sum, sum_sq;
        double n = 0.0, multiplier = 0.0;

        static bool fits(const BollingerBands& a) noexcept { return decltype(window)::fits(a.period_); }
        static bool settled(const BollingerBands& a) noexcept { return a.window_.full() && fits(a); }
        void load(const BollingerBands& a, std::size_t lane) noexcept {
            window.load(a.window_, lane);
            sum[lane] = a.sum_;
            sum_sq[lane] = a.sum_sq_;
            n = static_cast<double>(a.period_);
            multiplier = a.multiplier_;
        }
        void store(BollingerBands& a, std::size_t lane) const noexcept {
            window.store(a.window_, lane);
            a.sum_ = sum[lane];
            a.sum_sq_ = sum_sq[lane];
        }
        [[gnu::always_inline]] std::array<Pack, 4> step(Pack x) noexcept {
            const Pack old = window.replace_oldest(x);
            sum = sum - old;
            sum_sq = sum_sq - old * old;
            sum = x + sum;
            sum_sq = x * x + sum_sq;
            return bands_of(sum, sum_sq, n, multiplier);
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA {
            const auto r = update(values[i]);
            for (std::size_t j = 0; j < 4; ++j) out[i * 4 + j] = r ? (*r)[j] : nan_value;
        };
        const std::size_t period = static_cast<std::size_t>(period_);
        const auto body = [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            double sum = sum_, sum_sq = sum_sq_;
            stretches::in_chunks(first, last, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                double sums[stretches::chunk], squares[stretches::chunk];
                for (std::size_t r = c0; r < c1; ++r) {
                    const double old = values[r - period], value = values[r];
                    sum = sum - old;
                    sum_sq = sum_sq - old * old;
                    sum = value + sum;
                    sum_sq = value * value + sum_sq;
                    sums[r - c0] = sum;
                    squares[r - c0] = sum_sq;
                }
                // Two divisions and a root a row keep the divider busy whatever
                // the width; two lanes make the four outputs cheapest to store.
                using Lanes = std::conditional_t<(lanes::width<Pack> > 2), lanes::Narrow, Pack>;
                constexpr std::size_t w = lanes::width<Lanes>;
                std::size_t r = c0;
                for (; r + w <= c1; r += w) {
                    const auto b = bands_of(lanes::load<Lanes>(sums + (r - c0)), lanes::load<Lanes>(squares + (r - c0)));
                    for (std::size_t l = 0; l < w; ++l)
                        for (std::size_t j = 0; j < 4; ++j) out[(r + l) * 4 + j] = b[j][l];
                }
                for (; r < c1; ++r) {
                    const auto b = bands_of(sums[r - c0], squares[r - c0]);
                    for (std::size_t j = 0; j < 4; ++j) out[r * 4 + j] = b[j];
                }
            });
            sum_ = sum;
            sum_sq_ = sum_sq;
            window_.clear();
            for (std::size_t j = last - period; j < last; ++j) window_.push_back(values[j]);
        };
        stretches::feed<Pack>(values, n, period, by_row, body);
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }
    double multiplier() const noexcept { return multiplier_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
        sum_sq_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, multiplier_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(sum_sq_);
        v(window_);
    }

private:
    Output bands() const noexcept { return bands_of(sum_, sum_sq_); }

    // The window is full: its length is the period.
    template <class T>
    [[gnu::always_inline]] std::array<T, 4> bands_of(T sum, T sum_sq) const noexcept {
        return bands_of(sum, sum_sq, static_cast<double>(period_), multiplier_);
    }
    template <class T>
    [[gnu::always_inline]] static std::array<T, 4> bands_of(T sum, T sum_sq, double n, double multiplier) noexcept {
        const T mean = sum / n;
        const T spread = sum_sq / n - mean * mean;
        // Rounding can leave the variance slightly negative (or NaN once the
        // squares overflow); both mean no spread. Also turns -0 into +0.
        const T variance = lanes::select(lanes::splat<T>(0.0) < spread, spread, lanes::splat<T>(0.0));
        const T stddev = lanes::sqrt(variance);
        const T width = stddev * multiplier;
        return {mean + width, mean, mean - width, stddev};
    }
};

}  // namespace kestov
