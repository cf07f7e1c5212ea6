#pragma once
// Simple moving average over the last `period` finite values, carried as a
// running sum that is never recomputed from its window.

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

class SMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "SMA";

private:
    RingBuffer<double> window_;
    std::uint64_t period_;
    double sum_ = 0.0;

    SMA(RingBuffer<double> window, std::uint64_t period) noexcept : window_(std::move(window)), period_(period) {}

public:
    static Expected<SMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<double>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return SMA(std::move(window).value(), period);
    }

    // Inlined into the indicators built on it: a call per row costs more than the row.
    [[gnu::always_inline]] std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        // The leaving value is subtracted before the new one is added.
        if (window_.full()) {
            sum_ = sum_ - window_.replace_oldest(value);
        } else {
            window_.push_back(value);
        }
        sum_ = value + sum_;
        if (window_.full()) return sum_ / static_cast<double>(period_);
        return std::nullopt;
    }

    // A full window's state, for a batch loop that keeps the sum in a
    // register and the window in a line of its own: the sum, and the window
    // copied into `window`, oldest first; then set from them again.
    double settled(double* window) const noexcept {
        for (std::size_t j = 0; j < window_.size(); ++j) window[j] = window_[j];
        return sum_;
    }
    double running_sum() const noexcept { return sum_; }
    void settle(double sum, const double* window) noexcept {
        sum_ = sum;
        window_.clear();
        for (std::size_t j = 0; j < period_; ++j) window_.push_back(window[j]);
    }

    // Rows [first, last) of a column whose window lies in it: the `period`
    // rows before `first` are finite and went through update, as do the
    // rows from `first` up to the first that is not finite. The running
    // sum's chain alone, then `finish(mean, r)` with the averages of Pack's
    // width of rows from r (a pack), or of row r (a double); `after(r)` as
    // stretches::chain_then_lanes. Returns where the rows ended.
    template <class Pack, class Finish, class After = stretches::Nothing>
    [[gnu::always_inline]] std::size_t window_rows(const double* values, std::size_t first, std::size_t last,
                                                   Finish&& finish, After&& after = After{}) noexcept {
        const std::size_t p = static_cast<std::size_t>(period_);
        const double n = static_cast<double>(period_);
        double sum = sum_;
        const std::size_t end = stretches::chain_then_lanes<Pack, 1>(
            first, last,
            [&](std::size_t c0, std::size_t c1)
                KESTOV_INLINE_LAMBDA { return stretches::finite_until<Pack>(values, c0, c1); },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                sum = values[r] + (sum - values[r - p]);
                return std::array<double, 1>{sum};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { finish(k[0] / n, r); }, after);
        if (end > first) settle(sum, values + (end - p));
        return end;
    }

    // Rows [0, n) of a column, as n calls of update would give them.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        stretches::feed_object<Pack>(
            *this, values, n, out, static_cast<std::size_t>(period_),
            [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                return window_rows<Pack>(
                    values, first, last,
                    [&](auto mean, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, mean); });
            });
    }

    std::optional<double> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return sum_ / static_cast<double>(window_.size());
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneWindow<Pack, 64> window;
        Pack sum;
        double n = 0.0;

        static bool fits(const SMA& a) noexcept { return decltype(window)::fits(a.period_); }
        static bool settled(const SMA& a) noexcept { return a.window_.full() && fits(a); }
        void load(const SMA& a, std::size_t lane) noexcept {
            window.load(a.window_, lane);
            sum[lane] = a.sum_;
            n = static_cast<double>(a.period_);
        }
        void store(SMA& a, std::size_t lane) const noexcept {
            window.store(a.window_, lane);
            a.sum_ = sum[lane];
        }
        // A step as its sum, then taken: a caller may look at the mean
        // before it decides to take the step.
        [[gnu::always_inline]] Pack next(Pack x) const noexcept { return x + (sum - window.front()); }
        [[gnu::always_inline]] Pack mean(Pack next_sum) const noexcept { return next_sum / n; }
        [[gnu::always_inline]] void take(Pack x, Pack next_sum) noexcept {
            window.replace_oldest(x);
            sum = next_sum;
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            const Pack s = next(x);
            take(x, s);
            return mean(s);
        }
    };

    // Whether any input has been taken since construction or reset.
    bool has_input() const noexcept { return !window_.empty(); }
    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        sum_ = 0.0;
    }

    // Saved state (state.hpp): the sum, then the window.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(sum_);
        v(window_);
    }
};

}  // namespace kestov
