#pragma once
// Price-volume trend: a running total of each candle's volume weighted by
// the relative change of the close, ((close - previous close) / previous
// close) * volume. It starts at 0 on the first candle, which only sets the
// previous close, as TA-Lib's PVT does.

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

class PVT {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "PVT";

private:
    bool has_prev_close_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;

public:
    static Expected<PVT, BuildError> create() noexcept { return PVT(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double c = candle.close();
        if (has_prev_close_) value_ = value_ + term(prev_close_, c, candle.volume());
        prev_close_ = c;
        has_prev_close_ = true;
        return value_;
    }

    // The close's relative change times the volume. A previous close of 0
    // has no relative change (TA-Lib adds nothing either), and a term too
    // large for a double is left out rather than made the total for good:
    // both are -0.0, and value + -0.0 is value itself, -0.0 included. Of a
    // double or of each lane of a pack, without a branch.
    template <class V>
    [[gnu::always_inline]] static V term(V prev, V close, V volume) noexcept {
        const V t = ((close - prev) / prev) * volume;
        if constexpr (std::is_same_v<V, double>) {
            return prev != 0.0 && t - t == 0.0 ? t : -0.0;
        } else {
            return lanes::select((prev != 0.0) & ((t - t) == 0.0), t, lanes::splat<V>(-0.0));
        }
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them: the terms several rows at a time, then the total's chain alone.
    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev_close, value;

        static bool settled(const PVT& p) noexcept { return p.has_prev_close_; }
        void load(const PVT& p, std::size_t lane) noexcept {
            prev_close[lane] = p.prev_close_;
            value[lane] = p.value_;
        }
        void store(PVT& p, std::size_t lane) const noexcept {
            p.prev_close_ = prev_close[lane];
            p.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            const Pack c = x.close();
            value = value + term(prev_close, c, x.volume());
            prev_close = c;
            return value;
        }
    };

    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        stretches::close_terms_rows<Pack>(*this, c, n, out, value_, prev_close_);
    }

    std::optional<double> value() const noexcept {
        if (!has_prev_close_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_prev_close_; }
    std::uint64_t warmup_period() const noexcept { return 1; }

    void reset() noexcept { *this = PVT(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(prev_close_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (!has_prev_close_ && value_ != 0.0) return "PVT: a total before the first candle";
        return nullptr;
    }
};

}  // namespace kestov
