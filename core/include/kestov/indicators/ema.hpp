#pragma once
// Exponential moving average, seeded with the mean of the first `period`
// finite inputs. Also the building block of DEMA, TEMA, TRIX, MACD and
// Keltner, which all rely on this exact smoothing step.

#include <array>
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

namespace kestov {

template <class Owner, std::size_t N, class Pack>
struct EmaLanes;

class EMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "EMA";

private:
    std::uint64_t period_;
    double alpha_;
    bool seeded_ = false;
    double current_ = 0.0;
    RingBuffer<double> seed_;  // the first `period` finite inputs

    EMA(RingBuffer<double> seed, std::uint64_t period) noexcept
        : period_(period), alpha_(2.0 / (static_cast<double>(period) + 1.0)), seed_(std::move(seed)) {}

public:
    static Expected<EMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto seed = RingBuffer<double>::with_capacity(period);
        if (!seed) return BuildError{seed.error()};
        return EMA(std::move(seed).value(), period);
    }

    // Inlined into the indicators built on it: a call per row costs more than the row.
    [[gnu::always_inline]] std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        if (seeded_) {
            current_ = smooth(current_, alpha_, value);
            return current_;
        }
        seed_.push_back(value);
        if (seed_.size() < period_) return std::nullopt;
        double sum = -0.0;
        for (std::size_t i = 0; i < seed_.size(); ++i) sum += seed_[i];
        current_ = sum / static_cast<double>(period_);
        seeded_ = true;
        return current_;
    }

    std::optional<double> value() const noexcept {
        if (!seeded_) return std::nullopt;
        return current_;
    }

    // One step of a seeded average: current * (1 - alpha) rounded first,
    // then one fused step.
    template <class V>
    [[gnu::always_inline]] static V smooth(V current, V alpha, V value) noexcept {
        const V t = current * (1.0 - alpha);
        return lanes::fma(alpha, value, t);
    }

    template <class Pack>
    using Lanes = EmaLanes<EMA, 1, Pack>;
    auto emas() const noexcept { return std::tie(*this); }
    auto emas() noexcept { return std::tie(*this); }
    template <class V>
    [[gnu::always_inline]] static V combine(const std::array<V, 1>& e) noexcept { return e[0]; }

    // A seeded average's value set from SteadyEmas.
    void resume(double current) noexcept { current_ = current; }

    // Whether any input has been taken since construction or reset.
    bool has_input() const noexcept { return seeded_ || !seed_.empty(); }
    bool is_ready() const noexcept { return seeded_; }
    // Whether a later average can have been fed this one's values: update
    // passes over a value that is not finite, and an average seeded beyond
    // the largest double stays there (a finite one stays finite).
    bool can_feed() const noexcept { return seeded_ && is_finite(current_); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }
    double alpha() const noexcept { return alpha_; }

    void reset() noexcept {
        seeded_ = false;
        current_ = 0.0;
        seed_.clear();
    }

    // Saved state (state.hpp). The seed stays full once it has been summed.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(seeded_);
        v(current_);
        v(seed_);
    }
    const char* state_fault() const noexcept {
        if (seeded_ != (seed_.size() == period_)) return "EMA: seeded flag and seed count disagree";
        return nullptr;
    }
};

// Seeded averages, each fed the one before it, as plain numbers: the loops
// of the batch paths of classes built from EMAs keep them in registers
// rather than in the objects, which every store to an output might alias.
template <std::size_t N, class V = double>
struct SteadyEmas {
    std::array<V, N> current;
    std::array<V, N> alpha;

    template <class... E>
    static SteadyEmas of(const E&... emas) noexcept {
        return {{*emas.value()...}, {emas.alpha()...}};
    }
    template <class... E>
    void store(E&... emas) const noexcept {
        std::size_t k = 0;
        (emas.resume(current[k++]), ...);
    }
    // The same, for one lane of a pack: a series of a panel.
    template <class... E>
    void load_lane(std::size_t lane, const E&... emas) noexcept {
        std::size_t k = 0;
        ((current[k][lane] = *emas.value(), alpha[k][lane] = emas.alpha(), ++k), ...);
    }
    template <class... E>
    void store_lane(std::size_t lane, E&... emas) const noexcept {
        std::size_t k = 0;
        (emas.resume(current[k++][lane]), ...);
    }
    // One row: the value through every average in turn.
    [[gnu::always_inline]] void step(V value) noexcept {
        for (std::size_t k = 0; k < N; ++k) value = current[k] = EMA::smooth(current[k], alpha[k], value);
    }
};

// Settled series of a panel (panel.hpp) for a class whose settled state is
// a chain of N averages, reached through its `emas()`, and whose output is
// its `combine` of their values.
// update skips a link whose value is not finite; these lanes need not. A
// step grows with the average and the value, and with both at the largest
// double it rounds back to it (checked exactly for periods 2 to 20,000 and
// 20,000 drawn up to 10^12), so a seeded average of finite values stays
// finite; one seeded beyond the largest double never seeds the next.
template <class Owner, std::size_t N, class Pack>
struct EmaLanes {
    SteadyEmas<N, Pack> e;

    static bool settled(const Owner& o) noexcept { return o.is_ready(); }
    void load(const Owner& o, std::size_t lane) noexcept {
        std::apply([&](const auto&... emas) { e.load_lane(lane, emas...); }, o.emas());
    }
    void store(Owner& o, std::size_t lane) const noexcept {
        std::apply([&](auto&... emas) { e.store_lane(lane, emas...); }, o.emas());
    }
    [[gnu::always_inline]] Pack step(Pack value) noexcept {
        e.step(value);
        return Owner::combine(e.current);
    }
};

}  // namespace kestov
