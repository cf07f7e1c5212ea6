#pragma once
// True range: the candle's range widened to the previous close, the largest
// of high - low, |high - previous close| and |low - previous close|. The
// first candle has no previous close and gives no value.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <cstddef>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class TrueRange {
public:
    using Input = Candle;
    using Output = double;
    static constexpr std::string_view name = "TrueRange";

private:
    bool has_prev_close_ = false;
    bool has_value_ = false;
    double prev_close_ = 0.0;
    double value_ = 0.0;

public:
    static Expected<TrueRange, BuildError> create() noexcept { return TrueRange(); }

    std::optional<double> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        const double pc = prev_close_;
        const bool had = has_prev_close_;
        prev_close_ = candle.close();
        has_prev_close_ = true;
        if (!had) return std::nullopt;
        has_value_ = true;
        value_ = of(h, l, pc);
        return value_;
    }

    // In this order, as ATR's true range. Of a double, or of each lane of a pack.
    template <class T>
    [[gnu::always_inline]] static T of(T high, T low, T prev_close) noexcept {
        return lanes::max_ignoring_nan(lanes::max_ignoring_nan(high - low, lanes::abs(high - prev_close)),
                                       lanes::abs(low - prev_close));
    }

    // The true ranges of candle rows [c0, c1) into to[r - c0], Pack's width
    // of rows at a time: each row's previous close is the row before's, or
    // for row 0 the one given.
    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        Pack prev_close, value;

        static bool settled(const TrueRange& t) noexcept { return t.has_value_; }
        void load(const TrueRange& t, std::size_t lane) noexcept {
            prev_close[lane] = t.prev_close_;
            value[lane] = t.value_;
        }
        void store(TrueRange& t, std::size_t lane) const noexcept {
            t.prev_close_ = prev_close[lane];
            t.value_ = value[lane];
        }
        template <class Candles>
        [[gnu::always_inline]] Pack step(const Candles& x) noexcept {
            value = of(x.high(), x.low(), prev_close);
            prev_close = x.close();
            return value;
        }
    };

    template <class Pack>
    [[gnu::always_inline]] static void of_rows(const CandleColumns& c, std::size_t c0, std::size_t c1,
                                               double prev_close, double* to) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        std::size_t r = c0;
        if (r == 0 && r < c1) to[r++ - c0] = of(c.high[0], c.low[0], prev_close);
        for (; r + w <= c1; r += w)
            lanes::store(to + (r - c0), of(lanes::load<Pack>(c.high + r), lanes::load<Pack>(c.low + r),
                                           lanes::load<Pack>(c.close + r - 1)));
        for (; r < c1; ++r) to[r - c0] = of(c.high[r], c.low[r], c.close[r - 1]);
    }

    // Candle rows [first, last) of a class whose chain takes the true
    // ranges: a chunk's true ranges several rows at a time, then
    // `chain(tr, r)` for each row, and the rest as
    // stretches::chain_then_lanes.
    template <class Pack, std::size_t K, class Chain, class Finish, class After = stretches::Nothing>
    [[gnu::always_inline]] static void chain_over(const CandleColumns& c, std::size_t first, std::size_t last,
                                                  double prev_close, Chain&& chain, Finish&& finish,
                                                  After&& after = After{}) noexcept {
        double trs[stretches::chunk];
        std::size_t base = first;
        stretches::chain_then_lanes<Pack, K>(
            first, last,
            [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
                base = c0;
                of_rows<Pack>(c, c0, c1, prev_close, trs);
            },
            [&](std::size_t r) KESTOV_INLINE_LAMBDA { return chain(trs[r - base], r); }, finish, after);
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them, with the same state left behind. After the first, each row needs
    // only the columns (its previous close is the row before's), so several
    // rows are taken at once.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        if (n == 0) return;
        const auto first = update(c.at(0));
        out[0] = first ? *first : nan_value;
        constexpr std::size_t w = lanes::width<Pack>;
        std::size_t i = 1;
        for (; i + w <= n; i += w)
            lanes::store(out + i, of(lanes::load<Pack>(c.high + i), lanes::load<Pack>(c.low + i),
                                     lanes::load<Pack>(c.close + i - 1)));
        for (; i < n; ++i) out[i] = of(c.high[i], c.low[i], c.close[i - 1]);
        if (n > 1) {
            prev_close_ = c.close[n - 1];
            value_ = out[n - 1];
            has_value_ = true;
        }
    }

    // The close the next true range starts from.
    double previous_close() const noexcept { return prev_close_; }

    // The state a column of candles leaves: its last close and true range.
    void settle(double prev_close, double value) noexcept {
        prev_close_ = prev_close;
        value_ = value;
        has_prev_close_ = has_value_ = true;
    }

    std::optional<double> value() const noexcept {
        if (!has_value_) return std::nullopt;
        return value_;
    }

    bool is_ready() const noexcept { return has_value_; }
    std::uint64_t warmup_period() const noexcept { return 2; }

    void reset() noexcept { *this = TrueRange(); }

    // Saved state (state.hpp).
    std::tuple<> config() const noexcept { return {}; }
    template <class V>
    void fields(V& v) {
        v(has_prev_close_);
        v(has_value_);
        v(prev_close_);
        v(value_);
    }
    const char* state_fault() const noexcept {
        if (has_value_ && !has_prev_close_) return "TrueRange: a value without a previous close";
        return nullptr;
    }
};

}  // namespace kestov
