#pragma once
// TRIX: the one-step percentage change of a triple-smoothed EMA.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/tema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class TRIX {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TRIX";

private:
    EmaChain3 chain_;
    bool has_prev_ = false;
    double prev_triple_ = 0.0;
    std::uint64_t period_;

    TRIX(EmaChain3 chain, std::uint64_t period) noexcept : chain_(std::move(chain)), period_(period) {}

public:
    static Expected<TRIX, BuildError> create(std::uint64_t period) noexcept {
        auto chain = EmaChain3::create(period);
        if (!chain) return chain.error();
        return TRIX(std::move(chain).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        const auto e = chain_.update(value);
        if (!e) return std::nullopt;
        const double e3 = e->e3;
        if (!has_prev_) {
            prev_triple_ = e3;
            has_prev_ = true;
            return std::nullopt;
        }
        const double result = rate(e3, prev_triple_);
        prev_triple_ = e3;
        return result;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once
    // the averages are seeded and the first triple average stored, a finite
    // row is their smoothing steps and the rate, kept in registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        struct Steady {
            SteadyEmas<3> e;
            double prev;
        };
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return is_ready(); },
            [&]() KESTOV_INLINE_LAMBDA { return Steady{chain_.steady(), prev_triple_}; },
            [&](Steady& s, double value) KESTOV_INLINE_LAMBDA {
                s.e.step(value);
                const double result = rate(s.e.current[2], s.prev);
                s.prev = s.e.current[2];
                return result;
            },
            [&](const Steady& s) KESTOV_INLINE_LAMBDA {
                chain_.resume(s.e);
                prev_triple_ = s.prev;
            },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                out[i] = r ? *r : nan_value;
            });
    }

    // True one input before the first output: the first E3 is only stored.
    // The change of the triple average in percent of the previous one; a
    // zero previous value gives 0 rather than an infinity. Written once for
    // a double and for a pack of series side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static V rate(V e3, V prev) noexcept {
        const V zero = lanes::splat<V>(0.0);
        return lanes::select(prev == zero, zero, ((e3 - prev) * 100.0) / prev);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        SteadyEmas<3, Pack> e;
        Pack prev;

        static bool settled(const TRIX& t) noexcept { return t.is_ready(); }
        void load(const TRIX& t, std::size_t lane) noexcept {
            std::apply([&](const auto&... emas) { e.load_lane(lane, emas...); }, t.chain_.emas());
            prev[lane] = t.prev_triple_;
        }
        void store(TRIX& t, std::size_t lane) const noexcept {
            std::apply([&](auto&... emas) { e.store_lane(lane, emas...); }, t.chain_.emas());
            t.prev_triple_ = prev[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            e.step(x);
            const Pack result = rate(e.current[2], prev);
            prev = e.current[2];
            return result;
        }
    };

    bool is_ready() const noexcept { return has_prev_ && chain_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return 3 * period_ - 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        chain_.reset();
        has_prev_ = false;
        prev_triple_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(chain_);
        v(has_prev_);
        v(prev_triple_);
    }
    const char* state_fault() const noexcept {
        if (has_prev_ && !chain_.is_ready()) return "TRIX: a previous value before the averages were ready";
        return nullptr;
    }
};

}  // namespace kestov
