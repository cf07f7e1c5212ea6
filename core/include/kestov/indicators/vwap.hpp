#pragma once
// Volume-weighted average price since construction or the last reset. Purely
// cumulative: timestamps are never read, so no session boundary restarts it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"

namespace kestov {

class VWAP {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "VWAP";

private:
    double cum_pv_ = 0.0;
    double cum_volume_ = 0.0;
    bool has_value_ = false;

public:
    static Expected<VWAP, BuildError> create() noexcept { return VWAP(); }

    std::optional<double> update(const Candle& candle) noexcept {
        cum_pv_ = cum_pv_ + candle.volume() * typical(candle.high(), candle.low(), candle.close());
        cum_volume_ = cum_volume_ + candle.volume();
        // Volumes are never negative, so once positive the total stays so.
        if (cum_volume_ == 0.0) return std::nullopt;
        has_value_ = true;
        return cum_pv_ / cum_volume_;
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp). Volumes
    // are never negative, so once the total has left 0 every candle gives a
    // value.
    template <class Pack>
    struct Lanes {
        Pack pv, volume;

        static bool settled(const VWAP& v) noexcept { return v.has_value_; }
        void load(const VWAP& v, std::size_t lane) noexcept {
            pv[lane] = v.cum_pv_;
            volume[lane] = v.cum_volume_;
        }
        void store(VWAP& v, std::size_t lane) const noexcept {
            v.cum_pv_ = pv[lane];
            v.cum_volume_ = volume[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack v = x.volume();
            pv = pv + v * typical(x.high(), x.low(), x.close());
            volume = volume + v;
            return pv / volume;
        }
    };

    template <class V>
    [[gnu::always_inline]] static V typical(V high, V low, V close) noexcept {
        return ((high + low) + close) / 3.0;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = VWAP(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(cum_pv_);
        v(cum_volume_);
        v(has_value_);
    }
};

}  // namespace kestov
