#pragma once
// Average directional movement rating: the mean of today's ADX and the ADX
// period - 1 values back. The ADX here is DX's Wilder average (RMA), TA-Lib's
// ADX: it starts with the candle after DX's first `period` values.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/dx.hpp"
#include "kestov/indicators/rma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ADXR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "ADXR";

private:
    DX dx_;
    RMA adx_;
    RingBuffer<double> history_;  // the last `period` ADX values
    bool has_value_ = false;
    double value_ = 0.0;
    std::uint64_t period_;

    ADXR(DX dx, RMA adx, RingBuffer<double> history, std::uint64_t period) noexcept
        : dx_(std::move(dx)), adx_(std::move(adx)), history_(std::move(history)), period_(period) {}

public:
    static Expected<ADXR, BuildError> create(std::uint64_t period) noexcept {
        auto dx = DX::create(period);
        if (!dx) return dx.error();
        auto adx = RMA::create(period);
        if (!adx) return adx.error();
        auto history = RingBuffer<double>::with_capacity(period);
        if (!history) return BuildError{history.error()};
        return ADXR(std::move(dx).value(), std::move(adx).value(), std::move(history).value(), period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const auto dx = dx_.update(candle);
        if (!dx) return std::nullopt;
        const auto adx = adx_.update(*dx);
        if (!adx) return std::nullopt;
        if (history_.full()) {
            history_.replace_oldest(*adx);
        } else {
            history_.push_back(*adx);
            if (!history_.full()) return std::nullopt;
        }
        value_ = (*adx + history_.front()) / 2.0;
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once the first value is out, DX's rows a chunk at a time, and
    // the average's chain over their DX values a chunk behind.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t i = 0;
        for (; i < n && !has_value_; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        double adx = adx_.settled();
        const double p = static_cast<double>(period_);
        dx_.smoothed_rows<Pack>(c, i, n, out, [&](std::size_t r) KESTOV_INLINE_LAMBDA {
            // The average skips a DX that is not a number, as its update does.
            if (is_finite(out[r])) [[likely]]
                adx = RMA::step(adx, out[r], p);
            history_.replace_oldest(adx);
            out[r] = (adx + history_.front()) / 2.0;
        });
        adx_.settle(adx);
        value_ = out[n - 1];
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64. The average skips a DX that is not finite, as
    // its update does.
    template <class Pack>
    struct Lanes {
        DX::Lanes<Pack> dx;
        LaneWindow<Pack, 64> history;
        Pack adx, value;
        double n = 0.0;

        static bool fits(const ADXR& a) noexcept { return decltype(history)::fits(a.period_); }
        static bool settled(const ADXR& a) noexcept { return a.has_value_ && fits(a); }
        void load(const ADXR& a, std::size_t lane) noexcept {
            dx.load(a.dx_, lane);
            history.load(a.history_, lane);
            adx[lane] = a.adx_.settled();
            value[lane] = a.value_;
            n = static_cast<double>(a.period_);
        }
        void store(ADXR& a, std::size_t lane) const noexcept {
            dx.store(a.dx_, lane);
            history.store(a.history_, lane);
            a.adx_.settle(adx[lane]);
            a.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack d = dx.step(x);
            adx = lanes::select(d - d == 0.0, RMA::step(adx, d, n), adx);
            history.replace_oldest(adx);
            return value = (adx + history.front()) / 2.0;
        }
    };

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 3 * period_ - 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        dx_.reset();
        adx_.reset();
        history_.clear();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(dx_);
        v(adx_);
        v(history_);
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (adx_.has_input() && !dx_.is_ready()) return "ADXR: average fed before DX was ready";
        if (!history_.empty() && !adx_.is_ready()) return "ADXR: history before the average was ready";
        if (has_value_ != history_.full()) return "ADXR: value flag and history disagree";
        return nullptr;
    }
};

}  // namespace kestov
