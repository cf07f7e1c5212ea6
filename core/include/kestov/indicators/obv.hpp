#pragma once
// On-balance volume: a running total of volume signed by the direction of
// the close. The first candle only sets the reference close.

#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class OBV {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "OBV";

private:
    bool has_prev_close_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;
    bool has_value_ = false;

public:
    static Expected<OBV, BuildError> create() noexcept { return OBV(); }

    // Always produces a value, from the first candle on.
    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        const double prev = has_prev_close_ ? prev_close_ : c;
        value_ = moved(value_, prev, c, candle.volume());
        prev_close_ = c;
        has_prev_close_ = true;
        has_value_ = true;
        return value_;
    }

    // Both sums are formed and one is kept, without a branch: the direction
    // of the close is as random as the prices. Written once for a double and
    // for a pack of series side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static V moved(V value, V prev, V close, V volume) noexcept {
        const V up = value + volume;
        const V down = value - volume;
        return lanes::select(prev < close, up, lanes::select(close < prev, down, value));
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack value, prev_close;

        static bool settled(const OBV& o) noexcept { return o.has_prev_close_; }
        void load(const OBV& o, std::size_t lane) noexcept {
            value[lane] = o.value_;
            prev_close[lane] = o.prev_close_;
        }
        void store(OBV& o, std::size_t lane) const noexcept {
            o.value_ = value[lane];
            o.prev_close_ = prev_close[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack close = x.close();
            value = moved(value, prev_close, close, x.volume());
            prev_close = close;
            return value;
        }
    };

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = OBV(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(prev_close_);
        v(value_);
        v(has_value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != has_prev_close_) return "OBV: value and previous close disagree";
        return nullptr;
    }
};

}  // namespace kestov
