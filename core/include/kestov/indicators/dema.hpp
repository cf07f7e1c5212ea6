#pragma once
// Double exponential moving average: 2 * E1 - E2 over a chain of two EMAs.

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

class DEMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "DEMA";

private:
    EMA ema1_;
    EMA ema2_;
    std::uint64_t period_;

    DEMA(EMA e1, EMA e2, std::uint64_t period) noexcept : ema1_(std::move(e1)), ema2_(std::move(e2)), period_(period) {}

public:
    static Expected<DEMA, BuildError> create(std::uint64_t period) noexcept {
        auto e1 = EMA::create(period);
        if (!e1) return e1.error();
        auto e2 = EMA::create(period);
        if (!e2) return e2.error();
        return DEMA(std::move(e1).value(), std::move(e2).value(), period);
    }

    // Once E1 exists, a skipped (non-finite) input still feeds its unchanged
    // E1 down the chain as a new observation.
    std::optional<double> update(double value) noexcept {
        const auto e1 = ema1_.update(value);
        if (!e1) return std::nullopt;
        const auto e2 = ema2_.update(*e1);
        if (!e2) return std::nullopt;
        return combine(*e1, *e2);
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once the
    // averages are seeded, a finite row is their smoothing steps, kept in
    // registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return ema2_.is_ready(); },
            [&]() KESTOV_INLINE_LAMBDA { return SteadyEmas<2>::of(ema1_, ema2_); },
            [&](SteadyEmas<2>& e, double value) KESTOV_INLINE_LAMBDA {
                e.step(value);
                return combine(e.current[0], e.current[1]);
            },
            [&](const SteadyEmas<2>& e) KESTOV_INLINE_LAMBDA { e.store(ema1_, ema2_); },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                out[i] = r ? *r : nan_value;
            });
    }

    template <class V>
    [[gnu::always_inline]] static V combine(V e1, V e2) noexcept { return (e1 + e1) - e2; }
    template <class V>
    [[gnu::always_inline]] static V combine(const std::array<V, 2>& e) noexcept { return combine(e[0], e[1]); }

    template <class Pack>
    using Lanes = EmaLanes<DEMA, 2, Pack>;
    auto emas() const noexcept { return std::tie(ema1_, ema2_); }
    auto emas() noexcept { return std::tie(ema1_, ema2_); }

    bool is_ready() const noexcept { return ema2_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return 2 * period_ - 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        ema1_.reset();
        ema2_.reset();
    }

    // Saved state (state.hpp): the chain.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(ema1_);
        v(ema2_);
    }
    const char* state_fault() const noexcept {
        if (ema2_.has_input() && !ema1_.is_ready()) return "DEMA: second average fed before the first was ready";
        if (ema2_.has_input() && !ema1_.can_feed()) return "DEMA: second average fed by a first that is not finite";
        return nullptr;
    }
};

}  // namespace kestov
