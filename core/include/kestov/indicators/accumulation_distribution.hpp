#pragma once
// Accumulation/distribution line (Chaikin): a running total of each candle's
// money flow volume, the volume weighted by where the close sits in the
// candle's range, from -1 at the low to 1 at the high. Every candle gives a
// value, the first included.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

// Where a candle's range gives no flow: none at all, or too wide for a
// double (x - x is 0 exactly when x is finite).
template <class T>
[[gnu::always_inline]] inline auto without_flow(T range) noexcept {
    if constexpr (std::is_same_v<T, double>) {
        return range == 0.0 || !is_finite(range);
    } else {
        return (range == 0.0) | ((range - range) != 0.0);
    }
}

// The candle's money flow volume, ((close - low) - (high - close)) / (high -
// low) * volume, rounded in that order (TA-Lib's AD); 0 for a candle without
// range, as TA-Lib has it, and for one whose range is too wide for a double.
// Otherwise never larger than the volume, so always finite. Of a double, or
// of each lane of a pack.
template <class T>
[[gnu::always_inline]] inline T money_flow_volume(T high, T low, T close, T volume) noexcept {
    const T range = high - low;
    return lanes::select(without_flow(range), lanes::splat<T>(0.0), (((close - low) - (high - close)) / range) * volume);
}

inline double money_flow_volume(const Candle& candle) noexcept {
    return money_flow_volume(candle.high(), candle.low(), candle.close(), candle.volume());
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

    // The flow of row r of candle columns (T a double), or of a pack's width
    // of rows from r (T a pack).
    template <class T>
    [[gnu::always_inline]] static T flow_at(const CandleColumns& c, std::size_t r) noexcept {
        return money_flow_volume(lanes::load<T>(c.high + r), lanes::load<T>(c.low + r), lanes::load<T>(c.close + r),
                                 lanes::load<T>(c.volume + r));
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them. A candle's flow needs no state, so the flows are formed several
    // rows at a time and the total's chain is one addition.
    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack value;

        static bool settled(const AccumulationDistribution& a) noexcept { return a.has_value_; }
        void load(const AccumulationDistribution& a, std::size_t lane) noexcept { value[lane] = a.value_; }
        void store(AccumulationDistribution& a, std::size_t lane) const noexcept { a.value_ = value[lane]; }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            return value = value + money_flow_volume(x.high(), x.low(), x.close(), x.volume());
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        if (n == 0) return;
        value_ = stretches::running_total<Pack>(
            value_, 0, n, out,
            [&](auto kind, std::size_t r) KESTOV_INLINE_LAMBDA { return flow_at<decltype(kind)>(c, r); });
        has_value_ = true;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    // A total a batch path has carried on.
    void resume(double total) noexcept {
        value_ = total;
        has_value_ = true;
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
