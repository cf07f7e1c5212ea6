#pragma once
// Triple exponential moving average: 3 * E1 - 3 * E2 + E3 over a chain of
// three EMAs.

#include <cstdint>
#include <optional>
#include <array>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

// Three EMAs of one period, each fed the previous one's output. Shared by
// TEMA and TRIX.
class EmaChain3 {
    EMA ema1_;
    EMA ema2_;
    EMA ema3_;

    EmaChain3(EMA e1, EMA e2, EMA e3) noexcept : ema1_(std::move(e1)), ema2_(std::move(e2)), ema3_(std::move(e3)) {}

public:
    struct Values {
        double e1, e2, e3;
    };

    static Expected<EmaChain3, BuildError> create(std::uint64_t period) noexcept {
        auto e1 = EMA::create(period);
        if (!e1) return e1.error();
        auto e2 = EMA::create(period);
        if (!e2) return e2.error();
        auto e3 = EMA::create(period);
        if (!e3) return e3.error();
        return EmaChain3(std::move(e1).value(), std::move(e2).value(), std::move(e3).value());
    }

    // A stage that yields nothing ends the step: later stages are not fed.
    std::optional<Values> update(double value) noexcept {
        const auto e1 = ema1_.update(value);
        if (!e1) return std::nullopt;
        const auto e2 = ema2_.update(*e1);
        if (!e2) return std::nullopt;
        const auto e3 = ema3_.update(*e2);
        if (!e3) return std::nullopt;
        return Values{*e1, *e2, *e3};
    }

    bool is_ready() const noexcept { return ema3_.is_ready(); }

    // Requires is_ready().
    SteadyEmas<3> steady() const noexcept { return SteadyEmas<3>::of(ema1_, ema2_, ema3_); }
    void resume(const SteadyEmas<3>& e) noexcept { e.store(ema1_, ema2_, ema3_); }
    auto emas() const noexcept { return std::tie(ema1_, ema2_, ema3_); }
    auto emas() noexcept { return std::tie(ema1_, ema2_, ema3_); }

    void reset() noexcept {
        ema1_.reset();
        ema2_.reset();
        ema3_.reset();
    }

    template <class V>
    void fields(V& v) {
        v(ema1_);
        v(ema2_);
        v(ema3_);
    }
    const char* state_fault() const noexcept {
        if ((ema2_.has_input() && !ema1_.is_ready()) || (ema3_.has_input() && !ema2_.is_ready()))
            return "EMA chain: an average fed before the one before it was ready";
        if ((ema2_.has_input() && !ema1_.can_feed()) || (ema3_.has_input() && !ema2_.can_feed()))
            return "EMA chain: an average fed by one that is not finite";
        return nullptr;
    }
};

class TEMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TEMA";

private:
    EmaChain3 chain_;
    std::uint64_t period_;

    TEMA(EmaChain3 chain, std::uint64_t period) noexcept : chain_(std::move(chain)), period_(period) {}

public:
    static Expected<TEMA, BuildError> create(std::uint64_t period) noexcept {
        auto chain = EmaChain3::create(period);
        if (!chain) return chain.error();
        return TEMA(std::move(chain).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        const auto e = chain_.update(value);
        if (!e) return std::nullopt;
        return combine(e->e1, e->e2, e->e3);
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once the
    // averages are seeded, a finite row is their smoothing steps, kept in
    // registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return chain_.is_ready(); },
            [&]() KESTOV_INLINE_LAMBDA { return chain_.steady(); },
            [&](SteadyEmas<3>& e, double value) KESTOV_INLINE_LAMBDA {
                e.step(value);
                return combine(e.current[0], e.current[1], e.current[2]);
            },
            [&](const SteadyEmas<3>& e) KESTOV_INLINE_LAMBDA { chain_.resume(e); },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                out[i] = r ? *r : nan_value;
            });
    }

    // Both products, then the difference, then the sum.
    template <class V>
    [[gnu::always_inline]] static V combine(V e1, V e2, V e3) noexcept {
        return ((e1 * 3.0) - (e2 * 3.0)) + e3;
    }
    template <class V>
    [[gnu::always_inline]] static V combine(const std::array<V, 3>& e) noexcept { return combine(e[0], e[1], e[2]); }

    template <class Pack>
    using Lanes = EmaLanes<TEMA, 3, Pack>;
    auto emas() const noexcept { return chain_.emas(); }
    auto emas() noexcept { return chain_.emas(); }

    bool is_ready() const noexcept { return chain_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return 3 * period_ - 2; }
    std::uint64_t period() const noexcept { return period_; }
    void reset() noexcept { chain_.reset(); }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(chain_);
    }
};

}  // namespace kestov
