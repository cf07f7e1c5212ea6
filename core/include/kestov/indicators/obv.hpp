#pragma once
// On-balance volume: a running total of volume signed by the direction of
// the close. The first candle only sets the reference close.

#include <array>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

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

    // The volume with the close's direction, chosen without a branch (the
    // direction is as random as the prices): value + volume on a rise,
    // value - volume (the same operation as value + -volume) on a fall,
    // value + -0.0 (value itself, -0.0 included) when flat. The term needs
    // no state, so a batch forms the terms several rows at a time and its
    // chain is one addition. Written once for a double and for a pack of
    // series side by side (Lanes below).
    template <class V>
    [[gnu::always_inline]] static V term(V prev, V close, V volume) noexcept {
        const V negative_zero = lanes::splat<V>(-0.0);
        return lanes::select(prev < close, volume, lanes::select(close < prev, negative_zero - volume, negative_zero));
    }
    template <class V>
    [[gnu::always_inline]] static V moved(V value, V prev, V close, V volume) noexcept {
        return value + term(prev, close, volume);
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: the terms several rows at a time, then the total's chain alone.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        stretches::close_terms_rows<Pack>(*this, c, n, out, value_, prev_close_);
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
