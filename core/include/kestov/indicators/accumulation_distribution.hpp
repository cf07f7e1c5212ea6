#pragma once
// Accumulation/distribution line (Chaikin): a running total of each candle's
// money flow volume, the volume weighted by where the close sits in the
// candle's range, from -1 at the low to 1 at the high. Every candle gives a
// value, the first included.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

// The candle's money flow volume, ((close - low) - (high - close)) / (high -
// low) * volume, rounded in that order (TA-Lib's AD); 0 for a candle without
// range, as TA-Lib has it, and for one whose range is too wide for a double.
// Otherwise never larger than the volume, so always finite.
inline double money_flow_volume(const Candle& candle) noexcept {
    const double h = candle.high();
    const double l = candle.low();
    const double c = candle.close();
    const double range = h - l;
    if (range == 0.0 || !is_finite(range)) return 0.0;
    return (((c - l) - (h - c)) / range) * candle.volume();
}

class AccumulationDistribution {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "AccumulationDistribution";

private:
    bool has_value_ = false;
    double value_ = 0.0;

public:
    static Expected<AccumulationDistribution, BuildError> create() noexcept { return AccumulationDistribution(); }

    std::optional<double> update(const Candle& candle) noexcept {
        value_ = value_ + money_flow_volume(candle);
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = AccumulationDistribution(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (!has_value_ && value_ != 0.0) return "AccumulationDistribution: a total before the first candle";
        return nullptr;
    }
};

}  // namespace kestov
