#pragma once
// Normalized average true range: the ATR as a percentage of the close,
// (atr / close) * 100, with the ATR class's own arithmetic, so its average
// is the ATR's to the bit; 0 where the close is 0.

#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/atr.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class NATR {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "NATR";

private:
    ATR atr_;
    bool has_value_ = false;
    double value_ = 0.0;

    explicit NATR(ATR atr) noexcept : atr_(std::move(atr)) {}

public:
    static Expected<NATR, BuildError> create(std::uint64_t period) noexcept {
        auto atr = ATR::create(period);
        if (!atr) return atr.error();
        return NATR(std::move(atr).value());
    }

    std::optional<double> update(const Candle& candle) noexcept {
        const auto atr = atr_.update(candle);
        if (!atr) return std::nullopt;
        value_ = percent(*atr, candle.close());
        has_value_ = true;
        return value_;
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: the average's own batch, then its rows in percent of the close
    // several rows at a time.
    // The ATR as a percentage of the close; 0 where the close is 0.
    template <class V>
    [[gnu::always_inline]] static V percent(V atr, V close) noexcept {
        const V zero = lanes::splat<V>(0.0);
        return lanes::select(close == zero, zero, (atr / close) * 100.0);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp): ATR's.
    template <class Pack>
    struct Lanes {
        ATR::Lanes<Pack> atr;
        Pack value;

        static bool settled(const NATR& n) noexcept { return n.has_value_; }
        void load(const NATR& n, std::size_t lane) noexcept {
            atr.load(n.atr_, lane);
            value[lane] = n.value_;
        }
        void store(NATR& n, std::size_t lane) const noexcept {
            atr.store(n.atr_, lane);
            n.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            return value = percent(atr.step(x), x.close());
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        std::size_t r = 0;
        for (; r < n && !atr_.is_ready(); ++r) stretches::through_update(*this, c.at(r), out, r);
        if (r == n) return;
        // From here the average has a value on every row, NaN included.
        atr_.update_block<Pack>(c.from(r), n - r, out + r);
        constexpr std::size_t w = lanes::width<Pack>;
        for (; r + w <= n; r += w)
            lanes::store(out + r, percent(lanes::load<Pack>(out + r), lanes::load<Pack>(c.close + r)));
        for (; r < n; ++r) out[r] = percent(out[r], c.close[r]);
        value_ = out[n - 1];
        has_value_ = true;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return atr_.warmup_period(); }
    std::uint64_t period() const noexcept { return atr_.period(); }

    void reset() noexcept {
        atr_.reset();
        has_value_ = false;
        value_ = 0.0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {atr_.period()}; }
    template <class V>
    void fields(V& v) {
        v(atr_);
        v(has_value_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ != atr_.is_ready()) return "NATR: value flag and average disagree";
        return nullptr;
    }
};

}  // namespace kestov
