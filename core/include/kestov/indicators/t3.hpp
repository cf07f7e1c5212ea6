#pragma once
// Tillson's T3: a chain of six EMAs of the same period, combined as the
// generalised DEMA applied three times with volume factor v:
// c1 * e6 + c2 * e5 + c3 * e4 + c4 * e3, where c1 = -v^3,
// c2 = 3v^2 + 3v^3, c3 = -6v^2 - 3v - 3v^3 and c4 = 1 + 3v + 3v^2 + v^3
// (they add up to 1).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class T3 {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "T3";

private:
    std::array<EMA, 6> emas_;
    bool has_value_ = false;
    double value_ = 0.0;
    std::uint64_t period_;
    double vfactor_;
    std::array<double, 4> c_;  // c1 .. c4

    T3(std::array<EMA, 6> emas, std::uint64_t period, double vfactor) noexcept
        : emas_(std::move(emas)), period_(period), vfactor_(vfactor) {
        // Each coefficient from the ones before it, in this order.
        const double v = vfactor;
        const double v2 = v * v;
        const double c1 = -(v2 * v);
        c_ = {c1, 3.0 * (v2 - c1), -6.0 * v2 - 3.0 * (v - c1), ((1.0 + 3.0 * v) - c1) + 3.0 * v2};
    }

public:
    static Expected<T3, BuildError> create(std::uint64_t period, double vfactor) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        if (!(is_finite(vfactor) && vfactor > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        auto e1 = EMA::create(period);
        if (!e1) return e1.error();
        auto e2 = EMA::create(period);
        if (!e2) return e2.error();
        auto e3 = EMA::create(period);
        if (!e3) return e3.error();
        auto e4 = EMA::create(period);
        if (!e4) return e4.error();
        auto e5 = EMA::create(period);
        if (!e5) return e5.error();
        auto e6 = EMA::create(period);
        if (!e6) return e6.error();
        return T3({std::move(e1).value(), std::move(e2).value(), std::move(e3).value(), std::move(e4).value(),
                   std::move(e5).value(), std::move(e6).value()},
                  period, vfactor);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        std::array<double, 6> e{};
        double x = value;
        for (std::size_t i = 0; i < 6; ++i) {
            const auto next = emas_[i].update(x);
            if (!next) return std::nullopt;
            e[i] = x = *next;
        }
        value_ = combine(e);
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once the
    // six averages are seeded, a row is six smoothing steps, kept in
    // registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return has_value_; },
            [&]() KESTOV_INLINE_LAMBDA {
                return SteadyEmas<6>::of(emas_[0], emas_[1], emas_[2], emas_[3], emas_[4], emas_[5]);
            },
            [&](SteadyEmas<6>& e, double value) KESTOV_INLINE_LAMBDA {
                e.step(value);
                return value_ = combine(e.current);
            },
            [&](const SteadyEmas<6>& e) KESTOV_INLINE_LAMBDA {
                e.store(emas_[0], emas_[1], emas_[2], emas_[3], emas_[4], emas_[5]);
            },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                out[i] = r ? *r : nan_value;
            });
    }

    // Left to right from the deepest average.
    [[gnu::always_inline]] double combine(const std::array<double, 6>& e) const noexcept { return combine(e, c_); }
    template <class V>
    [[gnu::always_inline]] static V combine(const std::array<V, 6>& e, const std::array<double, 4>& c) noexcept {
        return ((c[0] * e[5] + c[1] * e[4]) + c[2] * e[3]) + c[3] * e[2];
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp): the
    // chain of six averages, as DEMA's and TEMA's.
    template <class Pack>
    struct Lanes {
        SteadyEmas<6, Pack> e;
        Pack value;
        std::array<double, 4> c{};

        static bool settled(const T3& t) noexcept { return t.has_value_; }
        void load(const T3& t, std::size_t lane) noexcept {
            std::apply([&](const auto&... emas) { e.load_lane(lane, emas...); }, t.emas_);
            value[lane] = t.value_;
            c = t.c_;
        }
        void store(T3& t, std::size_t lane) const noexcept {
            std::apply([&](auto&... emas) { e.store_lane(lane, emas...); }, t.emas_);
            t.value_ = value[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            e.step(x);
            return value = combine(e.current, c);
        }
    };

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 6 * period_ - 5; }
    std::uint64_t period() const noexcept { return period_; }
    double vfactor() const noexcept { return vfactor_; }

    void reset() noexcept {
        for (EMA& ema : emas_) ema.reset();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, double> config() const noexcept { return {period_, vfactor_}; }
    template <class V>
    void fields(V& v) {
        for (EMA& ema : emas_) v(ema);
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        for (std::size_t i = 1; i < 6; ++i)
            if (emas_[i].has_input() && !emas_[i - 1].is_ready())
                return "T3: an average fed before the one before it was ready";
        for (std::size_t i = 1; i < 6; ++i)
            if (emas_[i].has_input() && !emas_[i - 1].can_feed())
                return "T3: an average fed by one that is not finite";
        if (has_value_ != emas_[5].is_ready()) return "T3: value flag and averages disagree";
        return nullptr;
    }
};

}  // namespace kestov
