#pragma once
// Commodity channel index: the distance of the typical price from the mean of
// the last `period` typical prices, in units of 0.015 mean absolute deviations.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class CCI {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "CCI";

private:
    MirroredWindow<double> window_;  // typical prices, oldest first
    std::uint64_t period_;
    double sum_ = 0.0;  // running, never recomputed from the window
    static constexpr double scale_ = 0.015;

    CCI(MirroredWindow<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<CCI, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return CCI(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        // The leaving value is subtracted before the new one is added.
        const double tp = typical(candle.high(), candle.low(), candle.close());
        if (window_.full()) sum_ = sum_ - window_.oldest();
        window_.push(tp);
        sum_ = tp + sum_;
        if (!window_.full()) return std::nullopt;

        const double n = static_cast<double>(period_);
        const double mean = sum_ / n;
        return value(tp, mean, mean_deviation(window_.data(), window_.size(), mean) / n);
    }

    // Rows [0, n) of valid candles, as n calls of update would give them
    // (NaN where update gives nothing), with the same state left behind.
    // Past the first `period` rows each row's window is in the columns: the
    // running sum stays a chain, row by row, and the deviations of four rows
    // are summed side by side.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        const std::size_t period = static_cast<std::size_t>(period_);
        const std::size_t head = period > stretches::most_lookback ? n : std::min(n, period);
        for (std::size_t i = 0; i < head; ++i) {
            const auto r = update(c.at(i));
            out[i] = r ? *r : nan_value;
        }
        if (head == n) return;
        const double nd = static_cast<double>(period_);
        double sum = sum_;
        stretches::in_chunks(head, n, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            // tp[k] is the typical price of row c0 - period + k; mean[k] is row c0 + k's.
            double tp[stretches::chunk + stretches::most_lookback];
            double mean[stretches::chunk];
            const std::size_t from = c0 - period, count = c1 - from;
            std::size_t k = 0;
            for (; k + lanes::width<Pack> <= count; k += lanes::width<Pack>)
                lanes::store(tp + k, typical(lanes::load<Pack>(c.high + from + k), lanes::load<Pack>(c.low + from + k),
                                             lanes::load<Pack>(c.close + from + k)));
            for (; k < count; ++k) tp[k] = typical(c.high[from + k], c.low[from + k], c.close[from + k]);
            for (k = 0; k < c1 - c0; ++k) {
                sum = sum - tp[k];
                sum = tp[k + period] + sum;
                mean[k] = sum / nd;
            }
            for (k = 0; k + lanes::width<Pack> <= c1 - c0; k += lanes::width<Pack>) {
                const Pack m = lanes::load<Pack>(mean + k);
                const Pack mad = mean_deviation(tp + k + 1, period, m) / nd;
                lanes::store(out + c0 + k, value(lanes::load<Pack>(tp + k + period), m, mad));
            }
            for (; k < c1 - c0; ++k) out[c0 + k] = value(tp[k + period], mean[k], mean_deviation(tp + k + 1, period, mean[k]) / nd);
        });
        sum_ = sum;
        for (std::size_t i = n - period; i < n; ++i) window_.push(typical(c.high[i], c.low[i], c.close[i]));
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
    }

    template <class T>
    [[gnu::always_inline]] static T typical(T high, T low, T close) noexcept {
        return ((high + low) + close) / 3.0;
    }

    // The deviations are summed in window order, oldest first, so the
    // rescan stays: no running form would round the same way.
    template <class T>
    [[gnu::always_inline]] static T mean_deviation(const double* window, std::size_t count, T mean) noexcept {
        T deviation = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < count; ++i) deviation += lanes::abs(lanes::load<T>(window + i) - mean);
        return deviation;
    }

    template <class T>
    [[gnu::always_inline]] static T value(T tp, T mean, T mad) noexcept {
        return lanes::select(mad == 0.0, lanes::splat<T>(0.0), (tp - mean) / (mad * scale_));
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(window_);
    }
};

}  // namespace kestov
