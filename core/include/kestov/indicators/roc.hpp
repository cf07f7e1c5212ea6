#pragma once
// Rate of change in percent against the value `period` finite inputs back.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class ROC {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "ROC";

private:
    RingBuffer<double> window_;  // the last period + 1 finite inputs
    std::uint64_t period_;

    ROC(RingBuffer<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<ROC, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const auto slots = plus_one(period);
        if (!slots) return BuildError{slots.error()};
        auto window = RingBuffer<double>::with_capacity(slots.value());
        if (!window) return BuildError{window.error()};
        return ROC(std::move(window).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        // Unlike the averages, a skipped input has no value at all, even when ready.
        if (!is_finite(value)) return std::nullopt;
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }
        return rate(value, window_.front());
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. In a
    // finite stretch each row's rate needs only the column.
    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneWindow<Pack, 65> window;

        static bool fits(const ROC& r) noexcept { return decltype(window)::fits(r.window_.size()); }
        static bool settled(const ROC& r) noexcept { return r.window_.full() && fits(r); }
        void load(const ROC& r, std::size_t lane) noexcept { window.load(r.window_, lane); }
        void store(ROC& r, std::size_t lane) const noexcept { window.store(r.window_, lane); }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            window.replace_oldest(x);
            return rate(x, window.front());
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const std::size_t back = static_cast<std::size_t>(period_);
        stretches::feed_checked<Pack>(
            values, n, back,
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { stretches::through_update(*this, values[i], out, i); },
            [&](std::size_t i, const Pack& x)
                KESTOV_INLINE_LAMBDA { lanes::store(out + i, rate(x, lanes::load<Pack>(values + i - back))); },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA { out[i] = rate(values[i], values[i - back]); },
            [&](std::size_t last) KESTOV_INLINE_LAMBDA { settle(values + last); });
    }

    // The state update leaves after the finite inputs that end just before
    // `end`, the last period + 1 of them.
    void settle(const double* end) noexcept {
        window_.clear();
        for (const double* v = end - period_ - 1; v < end; ++v) window_.push_back(*v);
    }

    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_ + 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept { window_.clear(); }

    template <class T>
    [[gnu::always_inline]] static T rate(T value, T old) noexcept {
        return lanes::select(old == 0.0, lanes::splat<T>(0.0), ((value - old) / old) * 100.0);
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(window_);
    }
};

}  // namespace kestov
