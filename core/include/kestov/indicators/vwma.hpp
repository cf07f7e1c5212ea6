#pragma once
// Volume-weighted moving average: the closes of the last `period` candles
// weighted by their volumes, sum(close * volume) / sum(volume). Both sums
// are taken afresh from the window on every candle, so a product too large
// for a double, or a huge volume, leaves no trace once its candle has left
// the window; a window without volume has no value.

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
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class VWMA {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "VWMA";

private:
    using Term = std::array<double, 2>;  // close * volume, volume
    bool has_value_ = false;
    double value_ = 0.0;
    MirroredWindow<Term> window_;
    std::uint64_t period_;

    VWMA(MirroredWindow<Term> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<VWMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<Term>::with_length(period);
        if (!window) return BuildError{window.error()};
        return VWMA(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        window_.push({candle.close() * candle.volume(), candle.volume()});
        has_value_ = false;
        if (!window_.full()) return std::nullopt;
        const auto [weighted, volume] = lanes::sum_pairs<double>(terms(), terms() + 1, 2, window_.size());
        if (volume == 0.0) return std::nullopt;
        value_ = average(weighted, volume);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candles, as n calls of update would give them
    // (NaN where update gives nothing), with the same state left behind.
    // Past the first `period - 1` rows each row's window is in the columns,
    // and the sums of a pack of rows are taken side by side.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        const std::size_t period = static_cast<std::size_t>(period_);
        const std::size_t head = period > stretches::most_lookback ? n : std::min(n, period - 1);
        for (std::size_t i = 0; i < head; ++i) {
            const auto r = update(c.at(i));
            out[i] = r ? *r : nan_value;
        }
        if (head == n) return;
        constexpr std::size_t w = lanes::width<Pack>;
        stretches::in_chunks(head, n, [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            // weighted[k] is the close * volume of row from + k, the oldest
            // of row c0's window; volume[k] is the summed volume of row c0 + k.
            double weighted[stretches::chunk + stretches::most_lookback];
            double volume[stretches::chunk];
            const std::size_t from = c0 + 1 - period, count = c1 - from, rows = c1 - c0;
            std::size_t k = 0;
            for (; k + w <= count; k += w)
                lanes::store(weighted + k, lanes::load<Pack>(c.close + from + k) * lanes::load<Pack>(c.volume + from + k));
            for (; k < count; ++k) weighted[k] = c.close[from + k] * c.volume[from + k];
            for (k = 0; k + 2 * w <= rows; k += 2 * w) {
                const auto s = lanes::sum_pairs_two<Pack>(weighted + k, c.volume + from + k, period);
                lanes::store(out + c0 + k, average(s[0], s[1]));
                lanes::store(volume + k, s[1]);
                lanes::store(out + c0 + k + w, average(s[2], s[3]));
                lanes::store(volume + k + w, s[3]);
            }
            for (; k + w <= rows; k += w) {
                const auto [sum, vol] = lanes::sum_pairs<Pack>(weighted + k, c.volume + from + k, 1, period);
                lanes::store(out + c0 + k, average(sum, vol));
                lanes::store(volume + k, vol);
            }
            for (; k < rows; ++k) {
                const auto [sum, vol] = lanes::sum_pairs<double>(weighted + k, c.volume + from + k, 1, period);
                out[c0 + k] = average(sum, vol);
                volume[k] = vol;
            }
            // The value is the last row's with volume, wherever that was.
            for (k = rows; k-- > 0;) {
                if (volume[k] != 0.0) {
                    value_ = out[c0 + k];
                    break;
                }
            }
            has_value_ = volume[rows - 1] != 0.0;
        });
        for (std::size_t i = n - period; i < n; ++i) window_.push({c.close[i] * c.volume[i], c.volume[i]});
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
        v(window_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !window_.full()) return "VWMA: a value before the window was full";
        return nullptr;
    }

private:
    static_assert(sizeof(Term) == 2 * sizeof(double));
    const double* terms() const noexcept { return window_.data()->data(); }

    // NaN, no value, for a window without volume.
    template <class T>
    [[gnu::always_inline]] static T average(T weighted, T volume) noexcept {
        return lanes::select(volume == 0.0, lanes::splat<T>(nan_value), weighted / volume);
    }
};

}  // namespace kestov
