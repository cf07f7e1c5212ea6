#pragma once
// Vortex indicator (Botes and Siepman): how far each candle's high reached
// from the previous low, VM+ = |high - previous low|, and its low from the
// previous high, VM- = |low - previous high|, each summed over the last
// `period` candles and divided by the sum of their true ranges: VI+ and VI-.
// The three sums are taken afresh from the window on every candle, so a
// term too large for a double, or a huge candle among small ones, leaves no
// trace once its candle has left the window; windows whose true ranges sum
// to zero give 0 for both.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

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
        const auto [plus, minus] = movements(h, l, ph, pl);
        window_.push({plus, minus, *tr});
        if (!window_.full()) return std::nullopt;
        return current();
    }

    // Rows [0, n) of valid candles, as n calls of update would give them
    // (NaN where update gives nothing), two outputs a row, with the same
    // state left behind. Past the first `period` rows each row's window, and
    // the candle before each of its candles, is in the columns: the terms
    // are formed once per row, and the sums of a pack of rows are taken side
    // by side.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t k = std::tuple_size_v<Output>;
        constexpr std::size_t w = lanes::width<Pack>;
        const std::size_t period = static_cast<std::size_t>(period_);
        const std::size_t head = period > stretches::most_lookback ? n : std::min(n, period);
        for (std::size_t i = 0; i < head; ++i) {
            const auto r = update(c.at(i));
            for (std::size_t j = 0; j < k; ++j) out[i * k + j] = r ? (*r)[j] : nan_value;
        }
        if (head == n) return;
        stretches::in_chunks(head, n, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            // The terms of row from + i, the oldest of row c0's window, at [i].
            double plus[stretches::chunk + stretches::most_lookback];
            double minus[stretches::chunk + stretches::most_lookback];
            double range[stretches::chunk + stretches::most_lookback];
            const std::size_t from = c0 + 1 - period, count = c1 - from;
            std::size_t i = 0;
            for (; i + w <= count; i += w) {
                const std::size_t r = from + i;
                const auto high = lanes::load<Pack>(c.high + r), low = lanes::load<Pack>(c.low + r);
                const auto [p, m] = movements(high, low, lanes::load<Pack>(c.high + r - 1), lanes::load<Pack>(c.low + r - 1));
                lanes::store(plus + i, p);
                lanes::store(minus + i, m);
                lanes::store(range + i, TrueRange::of(high, low, lanes::load<Pack>(c.close + r - 1)));
            }
            for (; i < count; ++i) {
                const std::size_t r = from + i;
                const auto [p, m] = movements(c.high[r], c.low[r], c.high[r - 1], c.low[r - 1]);
                plus[i] = p;
                minus[i] = m;
                range[i] = TrueRange::of(c.high[r], c.low[r], c.close[r - 1]);
            }
            for (i = 0; i + w <= c1 - c0; i += w) {
                const auto values = ratios<Pack>(plus + i, minus + i, range + i, 1, period);
                double lane[k][w];
                for (std::size_t j = 0; j < k; ++j) lanes::store(lane[j], values[j]);
                for (std::size_t r = 0; r < w; ++r)
                    for (std::size_t j = 0; j < k; ++j) out[(c0 + i + r) * k + j] = lane[j][r];
            }
            for (; i < c1 - c0; ++i) {
                const auto values = ratios<double>(plus + i, minus + i, range + i, 1, period);
                for (std::size_t j = 0; j < k; ++j) out[(c0 + i) * k + j] = values[j];
            }
        });
        prev_high_ = c.high[n - 1];
        prev_low_ = c.low[n - 1];
        // A true range's state is its last candle's close and value, the
        // last candle taken with the one before it.
        true_range_.reset();
        true_range_.update(c.at(n - 2));
        true_range_.update(c.at(n - 1));
        for (std::size_t i = n - period; i < n; ++i) {
            const auto [p, m] = movements(c.high[i], c.low[i], c.high[i - 1], c.low[i - 1]);
            window_.push({p, m, TrueRange::of(c.high[i], c.low[i], c.close[i - 1])});
        }
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
    static_assert(sizeof(Term) == 3 * sizeof(double));
    Output current() const noexcept {
        const double* terms = window_.data()->data();
        return ratios<double>(terms, terms + 1, terms + 2, 3, window_.size());
    }

    template <class T>
    [[gnu::always_inline]] static std::array<T, 2> movements(T high, T low, T prev_high, T prev_low) noexcept {
        return {lanes::abs(high - prev_low), lanes::abs(low - prev_high)};
    }

    // VI+ and VI- of `count` rows' terms, `stride` doubles apart (of count
    // rows side by side, a pack's lanes one row apart). Oldest first, one
    // addition at a time, each sum on its own.
    template <class T>
    [[gnu::always_inline]] static std::array<T, 2> ratios(const double* plus, const double* minus, const double* range,
                                                          std::size_t stride, std::size_t count) noexcept {
        T p = lanes::splat<T>(-0.0);
        T m = lanes::splat<T>(-0.0);
        T r = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < count; ++i) {
            p += lanes::load<T>(plus + i * stride);
            m += lanes::load<T>(minus + i * stride);
            r += lanes::load<T>(range + i * stride);
        }
        const auto flat = r == 0.0;
        return {lanes::select(flat, lanes::splat<T>(0.0), p / r), lanes::select(flat, lanes::splat<T>(0.0), m / r)};
    }
};

}  // namespace kestov
