#pragma once
// Ultimate oscillator (Williams): buying pressure, the close above the lower
// of the low and the previous close, as a share of the true range, summed
// over three windows and weighted 4, 2 and 1 from the shortest, from 0 to
// 100.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class UltimateOscillator {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "UltimateOscillator";

private:
    using Term = std::array<double, 2>;  // buying pressure, true range
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
    std::array<Term, 3> sums_{};  // running sums of each window, never recomputed from it
    RingBuffer<Term> terms_;      // the last `slow` terms
    std::array<std::uint64_t, 3> periods_;

    UltimateOscillator(RingBuffer<Term> terms, std::array<std::uint64_t, 3> periods) noexcept
        : terms_(std::move(terms)), periods_(periods) {}

public:
    static Expected<UltimateOscillator, BuildError> create(std::uint64_t fast, std::uint64_t medium,
                                                           std::uint64_t slow) noexcept {
        if (fast == 0 || medium == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast > medium || medium > slow)
            return BuildError{IndicatorError::invalid_period("periods must be fast <= medium <= slow")};
        auto terms = RingBuffer<Term>::with_capacity(slow);
        if (!terms) return BuildError{terms.error()};
        return UltimateOscillator(std::move(terms).value(), {fast, medium, slow});
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double pc = prev_close_;
        const bool had = has_prev_close_;
        prev_close_ = candle.close();
        has_prev_close_ = true;
        if (!had) return std::nullopt;

        const Term term = term_of(h, l, candle.close(), pc);
        const std::size_t held = terms_.size();
        for (std::size_t w = 0; w < 3; ++w) {
            // The term leaving this window is subtracted before the new one
            // is added, as SMA's.
            if (held >= periods_[w]) {
                const Term& old = terms_[held - periods_[w]];
                sums_[w][0] = sums_[w][0] - old[0];
                sums_[w][1] = sums_[w][1] - old[1];
            }
            sums_[w][0] = term[0] + sums_[w][0];
            sums_[w][1] = term[1] + sums_[w][1];
        }
        if (terms_.full()) {
            terms_.replace_oldest(term);
        } else {
            terms_.push_back(term);
            if (!terms_.full()) return std::nullopt;
        }
        value_ = oscillator(std::array<double, 6>{sums_[0][0], sums_[0][1], sums_[1][0], sums_[1][1], sums_[2][0],
                                                  sums_[2][1]});
        has_value_ = true;
        return value_;
    }

    // Buying pressure and true range (in this order, as TrueRange's), of a
    // double or of a pack of rows.
    template <class V>
    [[gnu::always_inline]] static std::array<V, 2> term_of(V h, V l, V c, V pc) noexcept {
        const V tr = lanes::max_ignoring_nan(lanes::max_ignoring_nan(h - l, lanes::abs(h - pc)), lanes::abs(l - pc));
        return {c - lanes::min_ignoring_nan(l, pc), tr};
    }
    // From the three windows' sums of pressure and of range, in turn.
    template <class V>
    [[gnu::always_inline]] static V oscillator(const std::array<V, 6>& sums) noexcept {
        const V zero = lanes::splat<V>(0.0);
        std::array<V, 3> average;
        for (std::size_t w = 0; w < 3; ++w)
            average[w] = lanes::select(sums[2 * w + 1] == zero, zero, sums[2 * w] / sums[2 * w + 1]);
        return 100.0 * (((4.0 * average[0] + 2.0 * average[1]) + average[2]) / 7.0);
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. Once the slowest window is full, a chunk at a time: the terms
    // several rows at a time, after the window's last terms in one line of
    // scratch; the six running sums' chains; the averages several rows at a
    // time.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        const std::size_t slow = static_cast<std::size_t>(periods_[2]);
        std::size_t i = 0;
        for (; i < n && (!has_value_ || slow > stretches::most_lookback); ++i)
            stretches::through_update(*this, c.at(i), out, i);
        if (i == n) return;
        // Row r's term at slow + (r - base); the window's older terms before it.
        double bp[stretches::most_lookback + stretches::chunk], tr[stretches::most_lookback + stretches::chunk];
        for (std::size_t j = 0; j < slow; ++j) {
            bp[j] = terms_[j][0];
            tr[j] = terms_[j][1];
        }
        const std::size_t p[3] = {static_cast<std::size_t>(periods_[0]), static_cast<std::size_t>(periods_[1]), slow};
        std::array<double, 6> sums{sums_[0][0], sums_[0][1], sums_[1][0], sums_[1][1], sums_[2][0], sums_[2][1]};
        std::size_t base = i, len = 0;
        const auto put = [&](std::size_t r, const auto& t) KESTOV_INLINE_LAMBDA {
            lanes::store(bp + slow + (r - base), t[0]);
            lanes::store(tr + slow + (r - base), t[1]);
        };
        stretches::chain_then_lanes<Pack, 6>(
            i, n,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                std::memmove(bp, bp + len, slow * sizeof(double));
                std::memmove(tr, tr + len, slow * sizeof(double));
                base = c0;
                len = c1 - c0;
                std::size_t r = c0;
                if (r == 0) put(r++, term_of(c.high[0], c.low[0], c.close[0], prev_close_));
                for (; r + w <= c1; r += w)
                    put(r, term_of(lanes::load<Pack>(c.high + r), lanes::load<Pack>(c.low + r),
                                   lanes::load<Pack>(c.close + r), lanes::load<Pack>(c.close + r - 1)));
                for (; r < c1; ++r) put(r, term_of(c.high[r], c.low[r], c.close[r], c.close[r - 1]));
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                const std::size_t q = slow + (r - base);
                for (std::size_t k = 0; k < 3; ++k) {
                    // The leaving term first, as in update.
                    sums[2 * k] = bp[q] + (sums[2 * k] - bp[q - p[k]]);
                    sums[2 * k + 1] = tr[q] + (sums[2 * k + 1] - tr[q - p[k]]);
                }
                return sums;
            },
            [&](const auto& k, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, oscillator(k)); });
        for (std::size_t k = 0; k < 3; ++k) sums_[k] = {sums[2 * k], sums[2 * k + 1]};
        terms_.clear();
        for (std::size_t j = len; j < len + slow; ++j) terms_.push_back({bp[j], tr[j]});
        prev_close_ = c.close[n - 1];
        value_ = out[n - 1];
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return periods_[2] + 1; }
    std::uint64_t fast() const noexcept { return periods_[0]; }
    std::uint64_t medium() const noexcept { return periods_[1]; }
    std::uint64_t slow() const noexcept { return periods_[2]; }

    void reset() noexcept {
        has_prev_close_ = false;
        has_value_ = false;
        prev_close_ = value_ = 0.0;
        sums_ = {};
        terms_.clear();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {periods_[0], periods_[1], periods_[2]};
    }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
        for (Term& sum : sums_) v(sum);
        v(terms_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != terms_.full()) return "UltimateOscillator: value flag and window disagree";
        if (!has_prev_close_ && !terms_.empty()) return "UltimateOscillator: terms without a previous close";
        return nullptr;
    }
};

}  // namespace kestov
