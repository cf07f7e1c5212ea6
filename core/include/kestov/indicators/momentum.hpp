#pragma once
// Momentum: how far the value has moved over the last `period` finite
// inputs, value - value `period` inputs back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class Momentum {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "Momentum";

private:
    bool has_value_ = false;
    double value_ = 0.0;
    RingBuffer<double> window_;  // the last period + 1 finite inputs
    std::uint64_t period_;

    Momentum(RingBuffer<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<Momentum, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const auto slots = plus_one(period);
        if (!slots) return BuildError{slots.error()};
        auto window = RingBuffer<double>::with_capacity(slots.value());
        if (!window) return BuildError{window.error()};
        return Momentum(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }
        value_ = value - window_.front();
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. In a
    // finite stretch each row's difference needs only the column, so several
    // rows are taken at once, in the same pass that checks them.
    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneWindow<Pack, 65> window;
        Pack value;

        static bool fits(const Momentum& m) noexcept { return decltype(window)::fits(m.window_.size()); }
        static bool settled(const Momentum& m) noexcept { return m.has_value_ && fits(m); }
        void load(const Momentum& m, std::size_t lane) noexcept {
            window.load(m.window_, lane);
            value[lane] = m.value_;
        }
        void store(Momentum& m, std::size_t lane) const noexcept {
            window.store(m.window_, lane);
            m.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            window.replace_oldest(x);
            return value = x - window.front();
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const std::size_t back = static_cast<std::size_t>(period_);
        stretches::feed_checked<Pack>(
            values, n, back,
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); },
            [&](std::size_t i, const Pack& x)
                KESTOV_INLINE_LAMBDA { lanes::store(out + i, x - lanes::load<Pack>(values + i - back)); },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { out[i] = values[i] - values[i - back]; },
            [&](std::size_t last) KESTOV_INLINE_LAMBDA {
                window_.clear();
                for (std::size_t j = last - back - 1; j < last; ++j) window_.push_back(values[j]);
                value_ = out[last - 1];
                has_value_ = true;
            });
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
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
        if (has_value_ != window_.full()) return "Momentum: value flag and window disagree";
        return nullptr;
    }
};

}  // namespace kestov
