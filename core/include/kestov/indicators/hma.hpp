#pragma once
// Hull moving average: a WMA of sqrt(period) over 2 * WMA(period / 2) -
// WMA(period).

#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/wma.hpp"
#include "kestov/lanes_of.hpp"

namespace kestov {

class HMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "HMA";

private:
    std::uint64_t period_;
    WMA half_wma_;
    WMA full_wma_;
    WMA smooth_wma_;

    HMA(std::uint64_t period, WMA half, WMA full, WMA smooth) noexcept
        : period_(period), half_wma_(std::move(half)), full_wma_(std::move(full)), smooth_wma_(std::move(smooth)) {}

public:
    // The smoothing length: sqrt(period) rounded half away from zero, at least 1.
    static std::uint64_t smooth_period(std::uint64_t period) noexcept {
        const double root = std::round(std::sqrt(static_cast<double>(period)));
        return root < 1.0 ? 1 : static_cast<std::uint64_t>(root);
    }

    static Expected<HMA, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const std::uint64_t half = period / 2 == 0 ? 1 : period / 2;
        auto half_wma = WMA::create(half);
        if (!half_wma) return half_wma.error();
        auto full_wma = WMA::create(period);
        if (!full_wma) return full_wma.error();
        auto smooth_wma = WMA::create(smooth_period(period));
        if (!smooth_wma) return smooth_wma.error();
        return HMA(period, std::move(half_wma).value(), std::move(full_wma).value(), std::move(smooth_wma).value());
    }

    std::optional<double> update(double value) noexcept {
        // Both always see every input, in this order.
        const auto h = half_wma_.update(value);
        const auto f = full_wma_.update(value);
        if (!h || !f) return std::nullopt;
        return smooth_wma_.update((*h + *h) - *f);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp): the
    // three averages' lanes, stepped as update steps them.
    template <class Pack>
    struct Lanes : LanesOf<Pack, &HMA::half_wma_, &HMA::full_wma_, &HMA::smooth_wma_> {
        // update skips a difference that is not finite (the averages
        // overflowed); a group with one leaves the row to its series' own
        // updates, its lanes untouched.
        [[gnu::always_inline]] std::optional<Pack> step(Pack x) noexcept {
            auto& [half, full, smooth] = this->parts;
            const auto hn = half.next(x);
            const auto fn = full.next(x);
            const Pack h = half.value(hn);
            const Pack d = (h + h) - full.value(fn);
            if (lanes::any(d - d != 0.0)) return std::nullopt;
            half.take(x, hn);
            full.take(x, fn);
            return smooth.step(d);
        }
    };

    bool is_ready() const noexcept { return smooth_wma_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return period_ + smooth_wma_.period() - 1; }
    std::uint64_t period() const noexcept { return period_; }

    void reset() noexcept {
        half_wma_.reset();
        full_wma_.reset();
        smooth_wma_.reset();
    }

    // Saved state (state.hpp): the three averages.
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(half_wma_);
        v(full_wma_);
        v(smooth_wma_);
    }
    const char* state_fault() const noexcept {
        if (smooth_wma_.has_input() && !(half_wma_.is_ready() && full_wma_.is_ready()))
            return "HMA: smoothing fed before both averages were ready";
        return nullptr;
    }
};

}  // namespace kestov
