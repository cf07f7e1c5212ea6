#pragma once
// Relative strength index: average gain against average loss, seeded with
// the plain mean of the first `period` changes, then Wilder-smoothed.

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class RSI {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "RSI";

private:
    bool has_prev_ = false;
    bool seeded_ = false;  // the averages are set
    bool has_value_ = false;
    double prev_ = 0.0;
    double avg_gain_ = 0.0;
    double avg_loss_ = 0.0;
    double value_ = 0.0;
    RingBuffer<double> gains_;  // the first `period` changes, until the seed
    RingBuffer<double> losses_;
    std::uint64_t period_;

    RSI(RingBuffer<double> gains, RingBuffer<double> losses, std::uint64_t period) noexcept
        : gains_(std::move(gains)), losses_(std::move(losses)), period_(period) {}

public:
    static Expected<RSI, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto gains = RingBuffer<double>::with_capacity(period);
        if (!gains) return BuildError{gains.error()};
        auto losses = RingBuffer<double>::with_capacity(period);
        if (!losses) return BuildError{losses.error()};
        return RSI(std::move(gains).value(), std::move(losses).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (!has_prev_) {
            prev_ = value;
            has_prev_ = true;
            return std::nullopt;
        }
        const auto [gain, loss] = gain_and_loss(prev_, value);
        const double n = static_cast<double>(period_);
        if (seeded_) {
            avg_gain_ = wilder(avg_gain_, gain, n);
            avg_loss_ = wilder(avg_loss_, loss, n);
        } else {
            gains_.push_back(gain);
            losses_.push_back(loss);
            if (gains_.size() < period_) return std::nullopt;
            // Summed in arrival order, one addition at a time.
            double gain_sum = -0.0;
            double loss_sum = -0.0;
            for (std::size_t i = 0; i < gains_.size(); ++i) {
                gain_sum += gains_[i];
                loss_sum += losses_[i];
            }
            avg_gain_ = gain_sum / n;
            avg_loss_ = loss_sum / n;
            seeded_ = true;
        }

        value_ = index(avg_gain_, avg_loss_);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them. Once
    // seeded, a stretch of finite values keeps the averages in registers,
    // and the index's divisions, which nothing waits on, run several rows
    // at a time after the averages' chain.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const double p = static_cast<double>(period_);
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); };
        const auto run = [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            double prev = prev_, avg_gain = avg_gain_, avg_loss = avg_loss_;
            stretches::chain_then_lanes<Pack, 2>(
                first, last, stretches::nothing,
                [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                    const auto [gain, loss] = gain_and_loss(prev, values[r]);
                    avg_gain = wilder(avg_gain, gain, p);
                    avg_loss = wilder(avg_loss, loss, p);
                    return std::array<double, 2>{avg_gain, avg_loss};
                },
                [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, index(k[0], k[1])); });
            prev_ = prev;
            avg_gain_ = avg_gain;
            avg_loss_ = avg_loss;
            value_ = out[last - 1];
        };
        stretches::steady_stretches(values, n, [&]() KESTOV_INLINE_LAMBDA { return seeded_; }, by_row, run);
    }

    // The settled step's pieces, written once for a double and for a pack
    // of series side by side (Lanes below). Comparisons, so that a change
    // of -0.0 gives a gain of +0.0; each a larger-of-two form, which needs
    // no branch (0 - change is above 0 exactly when change is below).
    template <class V>
    [[gnu::always_inline]] static std::array<V, 2> gain_and_loss(V& prev, V value) noexcept {
        const V change = value - prev;
        prev = value;
        const V zero = lanes::splat<V>(0.0);
        const V fall = zero - change;
        return {lanes::select(zero < change, change, zero), lanes::select(zero < fall, fall, zero)};
    }
    // This indicator's own Wilder form: scale the old average, add the new
    // term, divide; not the fused form of ATR.
    template <class V>
    [[gnu::always_inline]] static V wilder(V average, V term, V n) noexcept {
        return (term + average * (n - 1.0)) / n;
    }
    template <class V>
    [[gnu::always_inline]] static V index(V avg_gain, V avg_loss) noexcept {
        const V zero = lanes::splat<V>(0.0);
        const V flat = lanes::select(avg_gain == zero, lanes::splat<V>(50.0), lanes::splat<V>(100.0));
        return lanes::select(avg_loss == zero, flat, 100.0 - 100.0 / (avg_gain / avg_loss + 1.0));
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev, avg_gain, avg_loss, value, n;

        static bool settled(const RSI& r) noexcept { return r.seeded_; }
        void load(const RSI& r, std::size_t lane) noexcept {
            prev[lane] = r.prev_;
            avg_gain[lane] = r.avg_gain_;
            avg_loss[lane] = r.avg_loss_;
            value[lane] = r.value_;
            n[lane] = static_cast<double>(r.period_);
        }
        void store(RSI& r, std::size_t lane) const noexcept {
            r.prev_ = prev[lane];
            r.avg_gain_ = avg_gain[lane];
            r.avg_loss_ = avg_loss[lane];
            r.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            const auto [gain, loss] = gain_and_loss(prev, x);
            avg_gain = wilder(avg_gain, gain, n);
            avg_loss = wilder(avg_loss, loss, n);
            return value = index(avg_gain, avg_loss);
        }
    };

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_ = false;
        seeded_ = false;
        has_value_ = false;
        prev_ = avg_gain_ = avg_loss_ = value_ = 0.0;
        gains_.clear();
        losses_.clear();
    }

    // Saved state (state.hpp). The seed buffers stay full once summed.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(seeded_);
        v(has_value_);
        v(prev_);
        v(avg_gain_);
        v(avg_loss_);
        v(value_);
        v(gains_);
        v(losses_);
    }
    const char* state_fault() const noexcept {
        if (gains_.size() != losses_.size()) return "RSI: gains and losses disagree";
        if (seeded_ != (gains_.size() == period_) || has_value_ != seeded_)
            return "RSI: seeded flag and seed count disagree";
        if (!has_prev_ && !gains_.empty()) return "RSI: changes without a previous value";
        return nullptr;
    }
};

}  // namespace kestov
