#pragma once
// Money flow index: a volume-weighted relative strength over the last
// `period` candles, from running sums of positive and negative money flow.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class MFI {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "MFI";

private:
    struct Flow {
        double positive;
        double negative;

        template <class V>
        void fields(V& v) {
            v(positive);
            v(negative);
        }
    };

    bool has_prev_tp_ = false;
    double prev_tp_ = 0.0;
    double pos_sum_ = 0.0;  // running sums, never recomputed from the window
    double neg_sum_ = 0.0;
    RingBuffer<Flow> flows_;  // one pair per candle, oldest first
    std::uint64_t period_;

    MFI(RingBuffer<Flow> flows, std::uint64_t period) noexcept : flows_(std::move(flows)), period_(period) {}

public:
    static Expected<MFI, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto flows = RingBuffer<Flow>::with_capacity(period);
        if (!flows) return BuildError{flows.error()};
        return MFI(std::move(flows).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double tp = typical(candle.high(), candle.low(), candle.close());
        // The first candle is compared with itself, so both its flows are 0.
        const double prev_tp = has_prev_tp_ ? prev_tp_ : tp;
        const auto [positive, negative] = flows(tp, prev_tp, candle.volume());
        const Flow flow{positive, negative};
        // The leaving flows are subtracted before the new ones are added.
        if (flows_.full()) {
            const Flow old = flows_.replace_oldest(flow);
            pos_sum_ = pos_sum_ - old.positive;
            neg_sum_ = neg_sum_ - old.negative;
        } else {
            flows_.push_back(flow);
        }
        pos_sum_ = flow.positive + pos_sum_;
        neg_sum_ = flow.negative + neg_sum_;
        prev_tp_ = tp;
        has_prev_tp_ = true;
        if (!flows_.full()) return std::nullopt;
        return index(pos_sum_, neg_sum_);
    }

    // Rows [0, n) of valid candles, as n calls of update would give them
    // (NaN where update gives nothing), with the same state left behind.
    // Past the first period + 1 rows each row's flows and the leaving ones
    // are in the columns: those are formed several rows at a time, the two
    // sums' chains run alone, and the indices again several rows at a time.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        const std::size_t period = static_cast<std::size_t>(period_);
        const std::size_t head = period > stretches::most_lookback ? n : std::min(n, period + 1);
        for (std::size_t i = 0; i < head; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (head == n) return;
        // Row r's flows, of its candle and the one before.
        const auto flows_at = [&](auto lane, std::size_t r) KESTOV_INLINE_LAMBDA {
            using T = decltype(lane);
            const auto tp_at = [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                return typical(lanes::load<T>(c.high + i), lanes::load<T>(c.low + i), lanes::load<T>(c.close + i));
            };
            return flows(tp_at(r), tp_at(r - 1), lanes::load<T>(c.volume + r));
        };
        // The flows of row from + i at [i]: the chunk's and the `period` before.
        double positive[stretches::chain_chunk + stretches::most_lookback];
        double negative[stretches::chain_chunk + stretches::most_lookback];
        std::size_t from = 0;
        double pos = pos_sum_, neg = neg_sum_;
        stretches::chain_then_lanes<Pack, 2>(
            head, n,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                from = c0 - period;
                stretches::fill_rows<Pack>(positive, from, c1, [&](auto lane, std::size_t r) KESTOV_INLINE_LAMBDA {
                    const auto f = flows_at(lane, r);
                    lanes::store(negative + (r - from), f[1]);
                    return f[0];
                });
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                const std::size_t i = r - from;
                pos = positive[i] + (pos - positive[i - period]);
                neg = negative[i] + (neg - negative[i - period]);
                return std::array<double, 2>{pos, neg};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, index(k[0], k[1])); });
        pos_sum_ = pos;
        neg_sum_ = neg;
        flows_.clear();
        for (std::size_t r = n - period; r < n; ++r) {
            const auto f = flows_at(0.0, r);
            flows_.push_back({f[0], f[1]});
        }
        prev_tp_ = typical(c.high[n - 1], c.low[n - 1], c.close[n - 1]);
        has_prev_tp_ = true;
    }

    bool is_ready() const noexcept { return flows_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_tp_ = false;
        prev_tp_ = 0.0;
        pos_sum_ = 0.0;
        neg_sum_ = 0.0;
        flows_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_tp_);
        v(prev_tp_);
        v(pos_sum_);
        v(neg_sum_);
        v(flows_);
    }
    const char* state_fault() const noexcept {
        if (has_prev_tp_ == flows_.empty()) return "MFI: previous price and flows disagree";
        return nullptr;
    }

private:
    template <class T>
    [[gnu::always_inline]] static T typical(T high, T low, T close) noexcept {
        return ((high + low) + close) / 3.0;
    }

    // A candle's positive and negative money flow: its raw flow on the side
    // its typical price moved to. Selects rather than branches: the
    // direction is as random as the prices.
    template <class T>
    [[gnu::always_inline]] static std::array<T, 2> flows(T tp, T prev_tp, T volume) noexcept {
        const T raw = volume * tp;
        const T zero = lanes::splat<T>(0.0);
        return {lanes::select(prev_tp < tp, raw, zero), lanes::select(tp < prev_tp, raw, zero)};
    }

    template <class T>
    [[gnu::always_inline]] static T index(T pos, T neg) noexcept {
        if constexpr (std::is_same_v<T, double>) {
            if (neg == 0.0) return pos == 0.0 ? 50.0 : 100.0;
            return 100.0 - 100.0 / (pos / neg + 1.0);
        } else {
            const T none = lanes::select(pos == 0.0, lanes::splat<T>(50.0), lanes::splat<T>(100.0));
            return lanes::select(neg == 0.0, none, 100.0 - 100.0 / (pos / neg + 1.0));
        }
    }
};

}  // namespace kestov
