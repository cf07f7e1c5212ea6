#pragma once
// Mass index (Dorsey): the sum, over the last `sum_period` candles, of the
// ratio of an EMA of the candle's range (high - low) to an EMA of that EMA,
// both of `ema_period`. A widening range lifts the ratio above 1; Dorsey
// watched a 25-candle sum rise above 27 and fall back below 26.5. The
// averages are the EMA class's own; the sum is a running one, as SMA's.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"
#include "kestov/ring_buffer.hpp"

namespace kestov {

class MassIndex {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "MassIndex";

private:
    EMA ema_;          // of the range
    EMA ema_of_ema_;   // of ema_'s values
    RingBuffer<double> ratios_;
    double sum_ = 0.0;
    std::uint64_t ema_period_;
    std::uint64_t sum_period_;

    MassIndex(EMA ema, EMA ema_of_ema, RingBuffer<double> ratios, std::uint64_t ema_period,
              std::uint64_t sum_period) noexcept
        : ema_(std::move(ema)), ema_of_ema_(std::move(ema_of_ema)), ratios_(std::move(ratios)),
          ema_period_(ema_period), sum_period_(sum_period) {}

public:
    static Expected<MassIndex, BuildError> create(std::uint64_t ema_period, std::uint64_t sum_period) noexcept {
        if (ema_period == 0 || sum_period == 0) return BuildError{IndicatorError::period_zero()};
        auto ema = EMA::create(ema_period);
        if (!ema) return ema.error();
        auto ema_of_ema = EMA::create(ema_period);
        if (!ema_of_ema) return ema_of_ema.error();
        auto ratios = RingBuffer<double>::with_capacity(sum_period);
        if (!ratios) return BuildError{ratios.error()};
        return MassIndex(std::move(ema).value(), std::move(ema_of_ema).value(), std::move(ratios).value(),
                         ema_period, sum_period);
    }

    std::optional<double> update(const Candle& candle) noexcept {
        // A range or an average too large for a double is passed over before
        // either average sees it: the second average must see each of the
        // first's values once, and the first repeats its last value for an
        // input it skips.
        const double range = candle.high() - candle.low();
        if (!is_finite(range)) return value();
        const auto single = ema_.update(range);
        if (!single) return std::nullopt;
        if (!is_finite(*single)) return value();
        const auto twice = ema_of_ema_.update(*single);
        if (!twice) return std::nullopt;
        const double ratio = *twice == 0.0 ? 1.0 : *single / *twice;
        // The leaving ratio is subtracted before the new one is added.
        if (ratios_.full()) {
            sum_ = sum_ - ratios_.replace_oldest(ratio);
        } else {
            ratios_.push_back(ratio);
        }
        sum_ = ratio + sum_;
        if (!ratios_.full()) return std::nullopt;
        return sum_;
    }

    std::optional<double> value() const noexcept {
        if (!ratios_.full()) return std::nullopt;
        return sum_;
    }

    bool is_ready() const noexcept { return ratios_.full(); }
    std::uint64_t warmup_period() const noexcept { return 2 * ema_period_ - 1 + sum_period_ - 1; }
    std::uint64_t ema_period() const noexcept { return ema_period_; }
    std::uint64_t sum_period() const noexcept { return sum_period_; }

    void reset() noexcept {
        ema_.reset();
        ema_of_ema_.reset();
        ratios_.clear();
        sum_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t> config() const noexcept { return {ema_period_, sum_period_}; }
    template <class V>
    void fields(V& v) {
        v(ema_);
        v(ema_of_ema_);
        v(sum_);
        v(ratios_);
    }
    const char* state_fault() const noexcept {
        if (ema_of_ema_.has_input() && !ema_.is_ready()) return "MassIndex: second average fed before the first";
        if (ema_of_ema_.has_input() && !ema_.can_feed())
            return "MassIndex: second average fed by a first that is not finite";
        if (ema_of_ema_.is_ready() == ratios_.empty()) return "MassIndex: ratios and averages disagree";
        return nullptr;
    }
};

}  // namespace kestov
