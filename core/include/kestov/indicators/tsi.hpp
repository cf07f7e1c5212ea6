#pragma once
// True strength index (Blau): the change between consecutive finite inputs
// smoothed by an EMA of `long` then one of `short`, as a percentage of the
// absolute change smoothed the same way, from -100 to 100.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class TSI {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TSI";

private:
    bool has_prev_ = false;
    bool has_value_ = false;
    double prev_ = 0.0;
    double value_ = 0.0;
    EMA change_long_;
    EMA change_short_;
    EMA size_long_;
    EMA size_short_;
    std::uint64_t long_;
    std::uint64_t short_;

    TSI(EMA change_long, EMA change_short, EMA size_long, EMA size_short, std::uint64_t long_period,
        std::uint64_t short_period) noexcept
        : change_long_(std::move(change_long)), change_short_(std::move(change_short)),
          size_long_(std::move(size_long)), size_short_(std::move(size_short)), long_(long_period),
          short_(short_period) {}

public:
    static Expected<TSI, BuildError> create(std::uint64_t long_period, std::uint64_t short_period) noexcept {
        if (long_period == 0 || short_period == 0) return BuildError{IndicatorError::period_zero()};
        auto change_long = EMA::create(long_period);
        if (!change_long) return change_long.error();
        auto change_short = EMA::create(short_period);
        if (!change_short) return change_short.error();
        auto size_long = EMA::create(long_period);
        if (!size_long) return size_long.error();
        auto size_short = EMA::create(short_period);
        if (!size_short) return size_short.error();
        return TSI(std::move(change_long).value(), std::move(change_short).value(), std::move(size_long).value(),
                   std::move(size_short).value(), long_period, short_period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (!has_prev_) {
            prev_ = value;
            has_prev_ = true;
            return std::nullopt;
        }
        const double change = value - prev_;
        // A change too large for a double is skipped as a non-finite input.
        if (!is_finite(change)) return this->value();
        prev_ = value;
        const auto change_long = change_long_.update(change);
        const auto size_long = size_long_.update(std::fabs(change));
        if (!change_long) return std::nullopt;
        const auto change_short = change_short_.update(*change_long);
        const auto size_short = size_short_.update(*size_long);
        // Either short average may still be filling: the other's overflow
        // was an input it skipped.
        if (!change_short || !size_short) return std::nullopt;
        value_ = ratio(*change_short, *size_short);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once the
    // averages are seeded, a finite row is their smoothing steps, kept in
    // registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        struct Steady {
            SteadyEmas<2> change, size;
            double prev, value;
        };
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return steady(); },
            [&]() KESTOV_INLINE_LAMBDA {
                return Steady{SteadyEmas<2>::of(change_long_, change_short_), SteadyEmas<2>::of(size_long_, size_short_),
                              prev_, value_};
            },
            [&](Steady& s, double value) KESTOV_INLINE_LAMBDA {
                const double change = value - s.prev;
                if (!is_finite(change)) return s.value;
                s.prev = value;
                s.change.step(change);
                s.size.step(std::fabs(change));
                return s.value = ratio(s.change.current[1], s.size.current[1]);
            },
            [&](const Steady& s) KESTOV_INLINE_LAMBDA {
                s.change.store(change_long_, change_short_);
                s.size.store(size_long_, size_short_);
                prev_ = s.prev;
                value_ = s.value;
            },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                out[i] = r ? *r : nan_value;
            });
    }

    // Every average seeded, at a finite value, so that each step of theirs
    // stays finite and none would skip the one before it (ema.hpp). Out of
    // line: inlined, GCC laid out the steady loop it guards worse (1M rows,
    // 2.4 -> 4.3 ns a row).
    [[gnu::noinline]] bool steady() const noexcept {
        if (!has_value_ || !size_short_.is_ready()) return false;
        return is_finite(*change_long_.value()) && is_finite(*change_short_.value()) &&
               is_finite(*size_long_.value()) && is_finite(*size_short_.value());
    }

    // The ratio before its scaling; no movement at all gives 0.
    [[gnu::always_inline]] static double ratio(double change, double size) noexcept {
        return size == 0.0 ? 0.0 : 100.0 * (change / size);
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return long_ + short_; }
    std::uint64_t long_period() const noexcept { return long_; }
    std::uint64_t short_period() const noexcept { return short_; }

    void reset() noexcept {
        has_prev_ = false;
        has_value_ = false;
        prev_ = value_ = 0.0;
        change_long_.reset();
        change_short_.reset();
        size_long_.reset();
        size_short_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {long_, short_}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_);
        v(has_value_);
        v(prev_);
        v(value_);
        v(change_long_);
        v(change_short_);
        v(size_long_);
        v(size_short_);
    }
    const char* state_fault() const noexcept {
        // The long averages take the same count of finite inputs; the short
        // ones need not: an average that overflows feeds its successor an
        // infinity, which that one skips while the other chain goes on.
        if (change_long_.is_ready() != size_long_.is_ready()) return "TSI: the two long averages disagree";
        if (change_short_.has_input() && !change_long_.is_ready())
            return "TSI: second average fed before the first was ready";
        if ((change_short_.has_input() && !change_long_.can_feed()) ||
            (size_short_.has_input() && !size_long_.can_feed()))
            return "TSI: a short average fed by a long one that is not finite";
        if (has_value_ != (change_short_.is_ready() && size_short_.is_ready()))
            return "TSI: value flag and averages disagree";
        if (!has_prev_ && change_long_.has_input()) return "TSI: changes without a previous value";
        return nullptr;
    }
};

}  // namespace kestov
