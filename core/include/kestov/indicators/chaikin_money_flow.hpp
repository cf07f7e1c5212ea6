#pragma once
// Chaikin money flow: the money flow volume of the last `period` candles
// over their volume, sum(money flow volume) / sum(volume), from -1 to 1.
// Both sums are taken afresh from the window on every candle, as VWMA's are,
// so a huge volume leaves no trace once its candle has left the window; a
// window without volume gives 0, as TA-Lib's CMF does.

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
#include "kestov/indicators/accumulation_distribution.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ChaikinMoneyFlow {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ChaikinMoneyFlow";

private:
    using Term = std::array<double, 2>;  // money flow volume, volume
    bool has_value_ = false;
    double value_ = 0.0;
    MirroredWindow<Term> window_;
    std::uint64_t period_;

    ChaikinMoneyFlow(MirroredWindow<Term> window, std::uint64_t period) noexcept
        : window_(std::move(window)), period_(period) {}

public:
    static Expected<ChaikinMoneyFlow, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = MirroredWindow<Term>::with_length(period);
        if (!window) return BuildError{window.error()};
        return ChaikinMoneyFlow(std::move(window).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        window_.push({money_flow_volume(candle), candle.volume()});
        if (!window_.full()) return std::nullopt;
        const auto [flow, volume] = lanes::sum_pairs<double>(terms(), terms() + 1, 2, window_.size());
        value_ = ratio(flow, volume);
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
            // flow[k] is the money flow volume of row from + k, the oldest of row c0's window.
            double flow[stretches::chunk + stretches::most_lookback];
            const std::size_t from = c0 + 1 - period, count = c1 - from;
            std::size_t k = 0;
            for (; k + w <= count; k += w) {
                const std::size_t r = from + k;
                lanes::store(flow + k, money_flow_volume(lanes::load<Pack>(c.high + r), lanes::load<Pack>(c.low + r),
                                                         lanes::load<Pack>(c.close + r), lanes::load<Pack>(c.volume + r)));
            }
            for (; k < count; ++k)
                flow[k] = money_flow_volume(c.high[from + k], c.low[from + k], c.close[from + k], c.volume[from + k]);
            for (k = 0; k + 2 * w <= c1 - c0; k += 2 * w) {
                const auto s = lanes::sum_pairs_two<Pack>(flow + k, c.volume + from + k, period);
                lanes::store(out + c0 + k, ratio(s[0], s[1]));
                lanes::store(out + c0 + k + w, ratio(s[2], s[3]));
            }
            for (; k + w <= c1 - c0; k += w) {
                const auto [f, v] = lanes::sum_pairs<Pack>(flow + k, c.volume + from + k, 1, period);
                lanes::store(out + c0 + k, ratio(f, v));
            }
            for (; k < c1 - c0; ++k) {
                const auto [f, v] = lanes::sum_pairs<double>(flow + k, c.volume + from + k, 1, period);
                out[c0 + k] = ratio(f, v);
            }
        });
        value_ = out[n - 1];
        has_value_ = true;
        for (std::size_t i = n - period; i < n; ++i)
            window_.push({money_flow_volume(c.high[i], c.low[i], c.close[i], c.volume[i]), c.volume[i]});
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
        if (has_value_ != window_.full()) return "ChaikinMoneyFlow: value flag and window disagree";
        return nullptr;
    }

private:
    static_assert(sizeof(Term) == 2 * sizeof(double));
    const double* terms() const noexcept { return window_.data()->data(); }

    template <class T>
    [[gnu::always_inline]] static T ratio(T flow, T volume) noexcept {
        return lanes::select(volume == 0.0, lanes::splat<T>(0.0), flow / volume);
    }
};

}  // namespace kestov
