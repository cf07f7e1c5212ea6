#pragma once
// Average true range: the mean of the first `period` true ranges, then
// Wilder smoothing in its fused multiply-add form.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/indicators/true_range.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ATR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ATR";

private:
    // Presence flags beside plain doubles (rather than std::optional) keep
    // the state trivially laid out and the warm-up branch cheap.
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
    RingBuffer<double> seed_;  // true ranges until the seed is complete
    std::uint64_t period_;

    ATR(RingBuffer<double> seed, std::uint64_t period) noexcept : seed_(std::move(seed)), period_(period) {}

public:
    static Expected<ATR, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<double>::with_capacity(period);
        if (!seed) return BuildError{seed.error()};
        return ATR(std::move(seed).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double tr = has_prev_close_ ? true_range(h, l, prev_close_) : h - l;
        prev_close_ = candle.close();
        has_prev_close_ = true;

        if (has_value_) {
            value_ = smoothed(value_, static_cast<double>(period_), tr);
            return value_;
        }
        seed_.push_back(tr);
        if (seed_.size() < period_) return std::nullopt;
        // Summed in arrival order, one addition at a time.
        double sum = -0.0;
        for (std::size_t i = 0; i < seed_.size(); ++i) sum += seed_[i];
        value_ = sum / static_cast<double>(seed_.size());
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once settled, a chunk at a time: the true ranges several rows at
    // a time, then the average's chain alone.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !has_value_; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        const double p = static_cast<double>(period_);
        double value = value_;
        TrueRange::chain_over<Pack, 1>(
            c, i, n, prev_close_,
            [&](double tr, std::size_t) KESTOV_INLINE_LAMBDA {
                value = smoothed(value, p, tr);
                return std::array<double, 1>{value};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, k[0]); });
        prev_close_ = c.close[n - 1];
        value_ = value;
    }

    // The settled step, written once for a double and for a pack of series
    // side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static V true_range(V h, V l, V pc) noexcept {
        return TrueRange::of(h, l, pc);
    }
    template <class V>
    [[gnu::always_inline]] static V smoothed(V value, V n, V tr) noexcept {
        return lanes::fma(value, n - 1.0, tr) / n;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev_close, value, n;

        static bool settled(const ATR& a) noexcept { return a.has_value_; }
        void load(const ATR& a, std::size_t lane) noexcept {
            prev_close[lane] = a.prev_close_;
            value[lane] = a.value_;
            n[lane] = static_cast<double>(a.period_);
        }
        void store(ATR& a, std::size_t lane) const noexcept {
            a.prev_close_ = prev_close[lane];
            a.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack tr = true_range(x.high(), x.low(), prev_close);
            prev_close = x.close();
            return value = smoothed(value, n, tr);
        }
    };

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        has_prev_close_ = false;
        has_value_ = false;
        prev_close_ = value_ = 0.0;
        seed_.clear();
    }

    // Saved state (state.hpp). The seed stays full once summed.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != (seed_.size() == period_)) return "ATR: value flag and seed count disagree";
        if (has_prev_close_ != !seed_.empty()) return "ATR: previous close and seed disagree";
        return nullptr;
    }
};

}  // namespace kestov
