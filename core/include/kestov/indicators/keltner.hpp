#pragma once
// Keltner channels: an EMA of the typical price with bands a multiple of the
// ATR away.

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class Keltner {
public:
    using Input = Candle;
    using Output = std::array<double, 3>;  // upper, middle, lower
    static constexpr std::string_view name = "Keltner";

private:
    EMA ema_;
    ATR atr_;
    double multiplier_;
    std::uint64_t ema_period_;
    std::uint64_t atr_period_;

    Keltner(EMA ema, ATR atr, double multiplier, std::uint64_t ema_period, std::uint64_t atr_period) noexcept
        : ema_(std::move(ema)), atr_(std::move(atr)), multiplier_(multiplier), ema_period_(ema_period),
          atr_period_(atr_period) {}

public:
    // The multiplier is checked before the periods.
    static Expected<Keltner, BuildError> create(std::uint64_t ema_period, std::uint64_t atr_period,
                                                double multiplier) noexcept {
        if (!(is_finite(multiplier) && multiplier > 0.0)) return BuildError{IndicatorError::invalid_multiplier()};
        if (ema_period == 0 || atr_period == 0) return BuildError{IndicatorError::period_zero()};
        auto ema = EMA::create(ema_period);
        if (!ema) return ema.error();
        auto atr = ATR::create(atr_period);
        if (!atr) return atr.error();
        return Keltner(std::move(ema).value(), std::move(atr).value(), multiplier, ema_period, atr_period);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        const double tp = ((candle.high() + candle.low()) + candle.close()) / 3.0;
        // The ATR sees every candle, whatever the EMA returned.
        const auto middle = ema_.update(tp);
        const auto atr = atr_.update(candle);
        if (!middle || !atr) return std::nullopt;
        const double width = *atr * multiplier_;
        return Output{*middle + width, *middle, *middle - width};
    }

    bool is_ready() const noexcept { return ema_.is_ready() && atr_.is_ready(); }
    std::uint64_t warmup_period() const noexcept { return ema_period_ > atr_period_ ? ema_period_ : atr_period_; }

    void reset() noexcept {
        ema_.reset();
        atr_.reset();
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, double> config() const noexcept {
        return {ema_period_, atr_period_, multiplier_};
    }
    template <class V>
    void fields(V& v) {
        v(ema_);
        v(atr_);
    }
};

}  // namespace kestov
