#pragma once
// Ease of movement (Arms): how far the candle's midpoint moved for the
// volume it took, averaged over the last `period` candles. Each candle after
// the first gives a one-period value, the distance its midpoint moved,
// (high + low) / 2 - (previous high + previous low) / 2, over its box ratio,
// (volume / volume_divisor) / (high - low); the output is the mean of the
// last `period` of them (talipp's EMV). The window is summed afresh on every
// candle, so a value too large for a double is forgotten once it leaves.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class EaseOfMovement {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "EaseOfMovement";

private:
    bool has_prev_mid_ = false;
    bool has_value_ = false;
    double prev_mid_ = 0.0;
    double value_ = 0.0;
    MirroredWindow<double> window_;  // one-period values
    std::uint64_t period_;
    double volume_divisor_;

    EaseOfMovement(MirroredWindow<double> window, std::uint64_t period, double volume_divisor) noexcept
        : window_(std::move(window)), period_(period), volume_divisor_(volume_divisor) {}

public:
    static Expected<EaseOfMovement, BuildError> create(std::uint64_t period, double volume_divisor) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(volume_divisor) && volume_divisor > 0.0))
            return BuildError{IndicatorError::invalid_parameter("volume_divisor must be finite and greater than zero")};
        auto window = MirroredWindow<double>::with_length(period);
        if (!window) return BuildError{window.error()};
        return EaseOfMovement(std::move(window).value(), period, volume_divisor);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double mid = midpoint(candle.high(), candle.low());
        const bool had = has_prev_mid_;
        const double before = prev_mid_;
        prev_mid_ = mid;
        has_prev_mid_ = true;
        if (!had) return std::nullopt;
        window_.push(one_period(candle.high(), candle.low(), candle.volume(), before));
        if (!window_.full()) return std::nullopt;
        value_ = mean<double>(window_.data());
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candles, as n calls of update would give them
    // (NaN where update gives nothing), with the same state left behind.
    // Past the first `period` rows each row's window, and the candle before
    // each of its candles, is in the columns: the one-period values are
    // formed once per row, and the means of a pack of rows are taken side
    // by side.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        const std::size_t period = static_cast<std::size_t>(period_);
        const std::size_t head = period > stretches::most_lookback ? n : std::min(n, period);
        for (std::size_t i = 0; i < head; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (head == n) return;
        // Row r's one-period value, of its candle and the one before.
        const auto at = [&](auto lane, std::size_t r) KESTOV_INLINE_LAMBDA {
            using T = decltype(lane);
            const T high = lanes::load<T>(c.high + r), low = lanes::load<T>(c.low + r);
            const T before = midpoint(lanes::load<T>(c.high + r - 1), lanes::load<T>(c.low + r - 1));
            return one_period(high, low, lanes::load<T>(c.volume + r), before);
        };
        stretches::in_chunks(head, n, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            // The values of row from + i, the oldest of row c0's window, at [i].
            double line[stretches::chunk + stretches::most_lookback];
            const std::size_t from = c0 + 1 - period, count = c1 - from;
            std::size_t i = 0;
            for (; i + w <= count; i += w) lanes::store(line + i, at(Pack{}, from + i));
            for (; i < count; ++i) line[i] = at(0.0, from + i);
            for (i = 0; i + w <= c1 - c0; i += w) lanes::store(out + c0 + i, mean<Pack>(line + i));
            for (; i < c1 - c0; ++i) out[c0 + i] = mean<double>(line + i);
        });
        window_.clear();
        for (std::size_t r = n - period; r < n; ++r) window_.push(at(0.0, r));
        prev_mid_ = midpoint(c.high[n - 1], c.low[n - 1]);
        has_prev_mid_ = true;
        value_ = out[n - 1];
        has_value_ = true;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }
    double volume_divisor() const noexcept { return volume_divisor_; }

    void reset() noexcept {
        has_prev_mid_ = false;
        has_value_ = false;
        prev_mid_ = 0.0;
        value_ = 0.0;
        window_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, volume_divisor_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_mid_);
        v(has_value_);
        v(prev_mid_);
        v(value_);
        v(window_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != window_.full()) return "EaseOfMovement: value flag and window disagree";
        if (window_.size() != 0 && !has_prev_mid_) return "EaseOfMovement: values without a previous midpoint";
        return nullptr;
    }

private:
    template <class T>
    [[gnu::always_inline]] static T midpoint(T high, T low) noexcept {
        return (high + low) / 2.0;
    }

    // The distance the midpoint moved over the box ratio. A candle without
    // range, or without volume enough to register against its range, has a
    // box ratio of 0 here, and a one-period value of 0 rather than a
    // division by zero.
    template <class T>
    [[gnu::always_inline]] T one_period(T high, T low, T volume, T before) const noexcept {
        const T range = high - low;
        const T distance = midpoint(high, low) - before;
        const T zero = lanes::splat<T>(0.0);
        const T box = lanes::select(range == 0.0, zero, (volume / volume_divisor_) / range);
        return lanes::select(box == 0.0, zero, distance / box);
    }

    // The mean of the window of `period` values from x (of a pack's width
    // of windows, starting one value apart): oldest first, one addition at
    // a time.
    template <class T>
    [[gnu::always_inline]] T mean(const double* x) const noexcept {
        T sum = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < static_cast<std::size_t>(period_); ++i) sum = sum + lanes::load<T>(x + i);
        return sum / static_cast<double>(period_);
    }
};

}  // namespace kestov
