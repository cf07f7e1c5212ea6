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
#include "kestov/lanes.hpp"

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
        value_ = balance(candle.open(), candle.high(), candle.low(), candle.close());
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candles, as n calls of update would give them:
    // each row on its own, four at a time.
    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack value;

        static bool settled(const BalanceOfPower& b) noexcept { return b.has_value_; }
        void load(const BalanceOfPower& b, std::size_t lane) noexcept { value[lane] = b.value_; }
        void store(BalanceOfPower& b, std::size_t lane) const noexcept { b.value_ = value[lane]; }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            return value = balance(x.open(), x.high(), x.low(), x.close());
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        if (n == 0) return;
        constexpr std::size_t w = lanes::width<Pack>;
        std::size_t i = 0;
        for (; i + w <= n; i += w)
            lanes::store(out + i, balance(lanes::load<Pack>(c.open + i), lanes::load<Pack>(c.high + i),
                                          lanes::load<Pack>(c.low + i), lanes::load<Pack>(c.close + i)));
        for (; i < n; ++i) out[i] = balance(c.open[i], c.high[i], c.low[i], c.close[i]);
        value_ = out[n - 1];
        has_value_ = true;
    }

    // A bar without a range is balanced.
    template <class T>
    [[gnu::always_inline]] static T balance(T open, T high, T low, T close) noexcept {
        const T range = high - low;
        return lanes::select(range == 0.0, lanes::splat<T>(0.0), (close - open) / range);
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
