#pragma once
// Money flow index: a volume-weighted relative strength over the last
// `period` candles, from running sums of positive and negative money flow.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/ring_buffer.hpp"

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
        const double tp = ((candle.high() + candle.low()) + candle.close()) / 3.0;
        // The first candle is compared with itself, so both its flows are 0.
        // Selects rather than branches: the direction is as random as the prices.
        const double prev_tp = has_prev_tp_ ? prev_tp_ : tp;
        const double raw = candle.volume() * tp;
        const Flow flow{tp > prev_tp ? raw : 0.0, tp < prev_tp ? raw : 0.0};
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
        if (neg_sum_ == 0.0) return pos_sum_ == 0.0 ? 50.0 : 100.0;
        return 100.0 - 100.0 / (pos_sum_ / neg_sum_ + 1.0);
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
};

}  // namespace kestov
