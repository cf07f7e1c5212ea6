#pragma once
// Chande momentum oscillator: the Wilder averages of gains and of losses
// between consecutive finite inputs, as 100 * (gains - losses) / (gains +
// losses), from -100 to 100.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/rma.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class CMO {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "CMO";

private:
    bool has_prev_ = false;
    bool has_value_ = false;
    double prev_ = 0.0;
    double value_ = 0.0;
    RMA gains_;
    RMA losses_;
    std::uint64_t period_;

    CMO(RMA gains, RMA losses, std::uint64_t period) noexcept
        : gains_(std::move(gains)), losses_(std::move(losses)), period_(period) {}

public:
    static Expected<CMO, BuildError> create(std::uint64_t period) noexcept {
        auto gains = RMA::create(period);
        if (!gains) return gains.error();
        auto losses = RMA::create(period);
        if (!losses) return losses.error();
        return CMO(std::move(gains).value(), std::move(losses).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (!has_prev_) {
            prev_ = value;
            has_prev_ = true;
            return std::nullopt;
        }
        const double change = value - prev_;
        // A change too large for a double would reach one average and not
        // the other: the input is skipped as a non-finite one is.
        if (!is_finite(change)) return this->value();
        prev_ = value;
        // Comparisons, so that a change of -0.0 is a gain of +0.0.
        const auto gain = gains_.update(change > 0.0 ? change : 0.0);
        const auto loss = losses_.update(change < 0.0 ? -change : 0.0);
        if (!gain || !loss) return std::nullopt;
        value_ = oscillator(*gain, *loss);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them. Once
    // both averages are set, a stretch of finite values keeps them in
    // registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        struct Steady {
            double prev, gain, loss, value;
        };
        const double p = static_cast<double>(period_);
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return has_value_; },
            [&]() KESTOV_INLINE_LAMBDA { return Steady{prev_, gains_.settled(), losses_.settled(), value_}; },
            [&](Steady& s, double x) KESTOV_INLINE_LAMBDA {
                const double change = x - s.prev;
                if (!is_finite(change)) return s.value;
                s.prev = x;
                s.gain = RMA::step(s.gain, change > 0.0 ? change : 0.0, p);
                s.loss = RMA::step(s.loss, change < 0.0 ? -change : 0.0, p);
                return s.value = oscillator(s.gain, s.loss);
            },
            [&](const Steady& s) KESTOV_INLINE_LAMBDA {
                prev_ = s.prev;
                gains_.settle(s.gain);
                losses_.settle(s.loss);
                value_ = s.value;
            },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); });
    }

    template <class V>
    [[gnu::always_inline]] static V oscillator(V gain, V loss) noexcept {
        const V total = gain + loss;
        return lanes::select(total == 0.0, lanes::splat<V>(0.0), ((gain - loss) / total) * 100.0);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp). A
    // change too large for a double leaves its lane as it was, as update
    // skips it.
    template <class Pack>
    struct Lanes {
        Pack prev, gain, loss, value;
        double n = 0.0;

        static bool settled(const CMO& c) noexcept { return c.has_value_; }
        void load(const CMO& c, std::size_t lane) noexcept {
            prev[lane] = c.prev_;
            gain[lane] = c.gains_.settled();
            loss[lane] = c.losses_.settled();
            value[lane] = c.value_;
            n = static_cast<double>(c.period_);
        }
        void store(CMO& c, std::size_t lane) const noexcept {
            c.prev_ = prev[lane];
            c.gains_.settle(gain[lane]);
            c.losses_.settle(loss[lane]);
            c.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            const Pack change = x - prev;
            const auto finite = change - change == 0.0;
            const Pack zero = lanes::splat<Pack>(0.0);
            const Pack g = RMA::step(gain, lanes::select(change > 0.0, change, zero), n);
            const Pack l = RMA::step(loss, lanes::select(change < 0.0, -change, zero), n);
            prev = lanes::select(finite, x, prev);
            gain = lanes::select(finite, g, gain);
            loss = lanes::select(finite, l, loss);
            return value = lanes::select(finite, oscillator(g, l), value);
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
        has_value_ = false;
        prev_ = value_ = 0.0;
        gains_.reset();
        losses_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(has_value_);
        v(prev_);
        v(value_);
        v(gains_);
        v(losses_);
    }
    const char* state_fault() const noexcept {
        if (gains_.is_ready() != losses_.is_ready() || has_value_ != gains_.is_ready())
            return "CMO: value flag and averages disagree";
        if (!has_prev_ && gains_.has_input()) return "CMO: changes without a previous value";
        return nullptr;
    }
};

}  // namespace kestov
