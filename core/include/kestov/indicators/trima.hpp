#pragma once
// Triangular moving average: a simple average of a simple average, whose
// lengths add up to period + 1, so the weights over the last `period` inputs
// rise linearly to the middle and fall again (1, 2, 3, 2, 1 for 5; 1, 2, 2,
// 1 for 4).

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/sma.hpp"
#include "kestov/lanes.hpp"
#include "kestov/lanes_of.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class TRIMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "TRIMA";

private:
    SMA inner_;  // period / 2 + 1 inputs
    SMA outer_;  // (period + 1) / 2 inner averages
    std::uint64_t period_;

    TRIMA(SMA inner, SMA outer, std::uint64_t period) noexcept
        : inner_(std::move(inner)), outer_(std::move(outer)), period_(period) {}

public:
    static Expected<TRIMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        auto inner = SMA::create(period / 2 + 1);
        if (!inner) return inner.error();
        auto outer = SMA::create(period / 2 + period % 2);
        if (!outer) return outer.error();
        return TRIMA(std::move(inner).value(), std::move(outer).value(), period);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return outer_.value();
        const auto inner = inner_.update(value);
        if (!inner) return std::nullopt;
        return outer_.update(*inner);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // periods of up to 64: the two averages' lanes. The outer average skips
    // an inner one that overflowed, which its shared ring cannot do lane by
    // lane: such a row goes to the series' own updates.
    template <class Pack>
    struct Lanes : LanesOf<Pack, &TRIMA::inner_, &TRIMA::outer_> {
        [[gnu::always_inline]] std::optional<Pack> step(Pack x) noexcept {
            auto& [inner, outer] = this->parts;
            const Pack sum = inner.next(x);
            const Pack mean = inner.mean(sum);
            if (lanes::any(mean - mean != 0.0)) return std::nullopt;
            inner.take(x, sum);
            return outer.step(mean);
        }
    };

    // Rows [0, n) of a column, as n calls of update would give them. Where
    // the inner window lies in the column, its sum's chain alone, the inner
    // averages several rows at a time, and the outer sum's chain a chunk
    // behind, between the inner's steps.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        stretches::feed_object<Pack>(
            *this, values, n, out, static_cast<std::size_t>(period_),
            [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
                // An inner sum past the largest double stays there, and the
                // outer average, which skips it, may never fill: its rows are
                // update's.
                if (!outer_.is_ready()) {
                    stretches::through_update(*this, values[first], out, first);
                    return first + 1;
                }
                // The outer window as a ring of its own, its oldest at `head`.
                const std::size_t q = static_cast<std::size_t>(outer_.period());
                const double nq = static_cast<double>(outer_.period());
                double ring[stretches::most_lookback];
                double outer = outer_.settled(ring);
                double current = outer;  // the outer sum of the row's average
                std::size_t head = 0;
                const std::size_t end = inner_.window_rows<Pack>(
                    values, first, last,
                    [&](auto mean, std::size_t r) KESTOV_INLINE_LAMBDA { lanes::store(out + r, mean); },
                    [&](std::size_t r) KESTOV_INLINE_LAMBDA {
                        const double inner = out[r];
                        // The outer average skips an inner one beyond the largest double, as its update does.
                        if (is_finite(inner)) [[likely]] {
                            outer = inner + (outer - ring[head]);
                            ring[head] = inner;
                            head = head + 1 == q ? 0 : head + 1;
                            current = outer;
                        }
                        out[r] = current;
                    });
                // Each row's sum to its average, several rows at a time.
                constexpr std::size_t w = lanes::width<Pack>;
                std::size_t r = first;
                for (; r + w <= end; r += w) lanes::store(out + r, lanes::load<Pack>(out + r) / nq);
                for (; r < end; ++r) out[r] = out[r] / nq;
                double window[stretches::most_lookback];
                for (std::size_t j = 0; j < q; ++j) window[j] = ring[(head + j) % q];
                outer_.settle(outer, window);
                return end;
            });
    }

    std::optional<double> value() const noexcept { return outer_.value(); }

    bool is_ready() const noexcept { return outer_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return period_; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        inner_.reset();
        outer_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(inner_);
        v(outer_);
    }
    const char* state_fault() const noexcept {
        if (outer_.has_input() && !inner_.is_ready()) return "TRIMA: outer average fed before the inner was ready";
        return nullptr;
    }
};

}  // namespace kestov
