#pragma once
// Balance of power: how far the candle closed from its open, as a share of
// its range, (close - open) / (high - low), from -1 to 1; 0 for a candle
// with no range. Each candle alone.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"

namespace kestov {

class BalanceOfPower {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "BalanceOfPower";

private:
    bool has_value_ = false;
    double value_ = 0.0;

public:
    static Expected<BalanceOfPower, BuildError> create() noexcept { return BalanceOfPower(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double range = candle.high() - candle.low();
        value_ = range == 0.0 ? 0.0 : (candle.close() - candle.open()) / range;
        has_value_ = true;
        return value_;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = BalanceOfPower(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_value_);
        v(value_);
    }
};

}  // namespace kestov
