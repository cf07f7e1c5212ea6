#pragma once
// Linearly weighted moving average: weight 1 for the oldest value up to
// `period` for the newest. The weighted sum is computed from the window once,
// when it first fills, then carried forward incrementally.

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

class WMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "WMA";

private:
    std::uint64_t period_;
    RingBuffer<double> window_;
    double weighted_sum_ = 0.0;
    double sum_ = 0.0;
    double denominator_;

    WMA(RingBuffer<double> window, std::uint64_t period) noexcept
        : period_(period),
          window_(std::move(window)),
          denominator_(((static_cast<double>(period) + 1.0) * static_cast<double>(period)) * 0.5) {}

public:
    static Expected<WMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto window = RingBuffer<double>::with_capacity(period);
        if (!window) return BuildError{window.error()};
        return WMA(std::move(window).value(), period);
    }

    // Inlined into the indicators built on it: a call per row costs more than the row.
    [[gnu::always_inline]] std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (window_.full()) {
            const double old = window_.replace_oldest(value);
            slide(weighted_sum_, sum_, value, old, static_cast<double>(period_));
            return weighted_sum_ / denominator_;
        }
        window_.push_back(value);
        sum_ = value + sum_;
        if (!window_.full()) return std::nullopt;
        double weighted = -0.0;
        for (std::size_t i = 0; i < window_.size(); ++i) weighted += (static_cast<double>(i) + 1.0) * window_[i];
        weighted_sum_ = weighted;
        return weighted_sum_ / denominator_;
    }

    std::optional<double> value() const noexcept {
        if (!window_.full()) return std::nullopt;
        return weighted_sum_ / denominator_;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64.
    template <class Pack>
    struct Lanes {
        LaneWindow<Pack, 64> window;
        Pack weighted, sum;
        double weight = 0.0, denominator = 0.0;

        static bool fits(const WMA& a) noexcept { return decltype(window)::fits(a.period_); }
        static bool settled(const WMA& a) noexcept { return a.window_.full() && fits(a); }
        void load(const WMA& a, std::size_t lane) noexcept {
            window.load(a.window_, lane);
            weighted[lane] = a.weighted_sum_;
            sum[lane] = a.sum_;
            weight = static_cast<double>(a.period_);
            denominator = a.denominator_;
        }
        void store(WMA& a, std::size_t lane) const noexcept {
            window.store(a.window_, lane);
            a.weighted_sum_ = weighted[lane];
            a.sum_ = sum[lane];
        }
        // A step as its sums and value, then taken: a caller may look at
        // the value before it decides to take the step.
        struct Next {
            Pack weighted, sum;
        };
        [[gnu::always_inline]] Next next(Pack x) const noexcept {
            Next n{weighted, sum};
            slide(n.weighted, n.sum, x, window.front(), weight);
            return n;
        }
        [[gnu::always_inline]] Pack value(const Next& n) const noexcept { return n.weighted / denominator; }
        [[gnu::always_inline]] void take(Pack x, const Next& n) noexcept {
            window.replace_oldest(x);
            weighted = n.weighted;
            sum = n.sum;
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            const Next n = next(x);
            take(x, n);
            return value(n);
        }
    };

    // A full window's step: `value` comes in, `old` leaves. The weighted
    // sum uses the sum before this step: every weight drops by one.
    template <class V>
    [[gnu::always_inline]] static void slide(V& weighted, V& sum, V value, V old, double weight) noexcept {
        weighted = value * weight + (weighted - sum);
        sum = value + (sum - old);
    }

    // A full window's state, for a batch loop that keeps the sums in
    // registers and the window in a line of its own: the window copied into
    // `window`, oldest first; then set from them again.
    struct Sums {
        double weighted, sum;
    };
    Sums settled(double* window) const noexcept {
        for (std::size_t j = 0; j < window_.size(); ++j) window[j] = window_[j];
        return {weighted_sum_, sum_};
    }
    void settle(Sums s, const double* window) noexcept {
        weighted_sum_ = s.weighted;
        sum_ = s.sum;
        window_.clear();
        for (std::size_t j = 0; j < period_; ++j) window_.push_back(window[j]);
    }

    // Rows [first, last) of a line whose `period` values before `first` are
    // the window, the sums' chains alone, then `finish(average, r)` several
    // rows at a time from r (a pack), or for row r (a double). `before` as
    // stretches::chain_then_lanes; `end` is set to where the rows ended.
    template <class Pack, class Finish, class Before = stretches::Nothing>
    [[gnu::always_inline]] Sums line_rows(Sums s, const double* line, std::size_t first, std::size_t last,
                                          Finish&& finish, Before&& before = Before{},
                                          std::size_t* end = nullptr) const noexcept {
        const std::size_t p = static_cast<std::size_t>(period_);
        const double weight = static_cast<double>(period_);
        const std::size_t reached = stretches::chain_then_lanes<Pack, 1>(
            first, last, before,
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                slide(s.weighted, s.sum, line[r], line[r - p], weight);
                return std::array<double, 1>{s.weighted};
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { finish(k[0] / denominator_, r); });
        if (end != nullptr) *end = reached;
        return s;
    }

    // Rows [0, n) of a column, as n calls of update would give them. Where
    // the window lies in the column, the column is the line, its values
    // checked as the chains go.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const std::size_t p = static_cast<std::size_t>(period_);
        stretches::feed_object<Pack>(
            *this, values, n, out, p, [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                std::size_t end = first;
                const Sums s = line_rows<Pack>(
                    Sums{weighted_sum_, sum_}, values, first, last,
                    [&](auto average, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, average); },
                    [&](std::size_t c0, std::size_t c1)
                        KESTOV_INLINE_LAMBDA { return stretches::finite_until<Pack>(values, c0, c1); },
                    &end);
                if (end > first) settle(s, values + (end - p));
                return end;
            });
    }

    // Whether any input has been taken since construction or reset.
    bool has_input() const noexcept { return !window_.empty(); }
    bool is_ready() const noexcept { return window_.full(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        window_.clear();
        weighted_sum_ = 0.0;
        sum_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(weighted_sum_);
        v(sum_);
        v(window_);
    }
};

}  // namespace kestov
