#pragma once
// Aroon: how many candles ago, within the last `period` + 1, the highest high
// and the lowest low occurred, scaled so that the newest candle gives 100.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <tuple>
#include <type_traits>
#include <string_view>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class Aroon {
public:
    using Input = Candle;
    using Output = std::array<double, 2>;  // up, down
    static constexpr std::string_view name = "Aroon";

private:
    // Of equal highs (lows) the newest candle counts, as a scan from the
    // oldest that takes every high >= its maximum would find.
    BlockExtreme<ExtremeOf<HigherOrEqual>> highs_;
    BlockExtreme<ExtremeOf<LowerOrEqual>> lows_;
    std::uint64_t count_ = 0;  // candles since construction or reset; the next one's sequence number
    std::uint64_t period_;
    std::uint64_t length_;  // period + 1 candles in a full window

    Aroon(BlockExtreme<ExtremeOf<HigherOrEqual>> highs, BlockExtreme<ExtremeOf<LowerOrEqual>> lows,
          std::uint64_t period, std::uint64_t length) noexcept
        : highs_(std::move(highs)), lows_(std::move(lows)), period_(period), length_(length) {}

public:
    static Expected<Aroon, BuildError> create(std::uint64_t period) noexcept {
        if (period == 0) return BuildError{IndicatorError::period_zero()};
        const auto length = plus_one(period);
        if (!length) return BuildError{length.error()};
        auto highs = BlockExtreme<ExtremeOf<HigherOrEqual>>::with_capacity(length.value());
        if (!highs) return BuildError{highs.error()};
        auto lows = BlockExtreme<ExtremeOf<LowerOrEqual>>::with_capacity(length.value());
        if (!lows) return BuildError{lows.error()};
        return Aroon(std::move(highs).value(), std::move(lows).value(), period, length.value());
    }

    std::optional<std::array<double, 2>> update(const Candle& candle) noexcept {
        const std::uint64_t i = count_++;
        const std::uint64_t oldest = i < period_ ? 0 : i - period_;
        highs_.push({i, candle.high()});
        lows_.push({i, candle.low()});
        if (count_ < length_) return std::nullopt;

        const double n = static_cast<double>(period_);
        const double up = (static_cast<double>(highs_.extreme().seq - oldest) * 100.0) / n;
        const double down = (static_cast<double>(lows_.extreme().seq - oldest) * 100.0) / n;
        return std::array<double, 2>{up, down};
    }

    // Rows [0, n) of valid candles, as n calls of update would give them,
    // with the same state left behind. For a short window, where each
    // row's extremes lie, from spans of candles (places), several rows side
    // by side; the windows then rebuilt from the candles they hold.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        lines<Pack>(c, n, [&](std::size_t i, double up, double down) KESTOV_INLINE_LAMBDA {
            out[2 * i] = up;
            out[2 * i + 1] = down;
        });
    }

    // The rows of a column as update_block takes them, given to `put(i,
    // up, down)` row by row (NaN where update gives nothing).
    template <class Pack, class Put>
    [[gnu::always_inline]] void lines(const CandleColumns& c, std::size_t n, Put&& put) noexcept {
        const std::size_t length = static_cast<std::size_t>(length_);
        const std::size_t p = static_cast<std::size_t>(period_);
        // Rows whose window reaches back before this column, or that come
        // before the window is full, go through update; and all of them
        // unless the column holds two blocks' candles to rebuild from.
        std::size_t head = n;
        if (length_ <= scanned && n >= 2 * length)
            head = std::max(p, count_ < length_ ? length - static_cast<std::size_t>(count_) : 0);
        for (std::size_t i = 0; i < head; ++i) {
            const auto r = update(c.at(i));
            put(i, r ? (*r)[0] : nan_value, r ? (*r)[1] : nan_value);
        }
        if (head == n) return;
        // A line takes one of period + 1 values, each as update rounds it.
        const double scale = static_cast<double>(period_);
        std::array<double, scanned> scaled;
        for (std::size_t k = 0; k <= p; ++k) scaled[k] = (static_cast<double>(k) * 100.0) / scale;
        for (std::size_t c0 = head; c0 < n; c0 += chunk) {
            const std::size_t c1 = std::min(n, c0 + chunk);
            alignas(64) double up[chunk], down[chunk];
            places<Pack>(c.high, c.low, c0, c1, length, up, down);
            for (std::size_t i = c0; i < c1; ++i)
                put(i, scaled[static_cast<std::int32_t>(up[i - c0])], scaled[static_cast<std::int32_t>(down[i - c0])]);
        }
        // The blocks start at multiples of the length: the one before the
        // last candle's, and the last candle's up to it.
        count_ += n - head;
        const std::uint64_t start = ((count_ - 1) / length_ - 1) * length_;
        const std::size_t from = n - static_cast<std::size_t>(count_ - start);
        highs_.clear();
        lows_.clear();
        for (std::uint64_t seq = start; seq < count_; ++seq) {
            const std::size_t r = from + static_cast<std::size_t>(seq - start);
            highs_.push({seq, c.high[r]});
            lows_.push({seq, c.low[r]});
        }
    }

    bool is_ready() const noexcept { return count_ >= length_; }
    std::uint64_t warmup_period() const noexcept { return length_; }

    void reset() noexcept {
        highs_.clear();
        lows_.clear();
        count_ = 0;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t> config() const noexcept { return {period_}; }
    template <class V>
    void fields(V& v) {
        v(count_);
        v(highs_);
        v(lows_);
    }
    // Windows up to this long are computed a chunk of rows at a time in a
    // batch, the longer ones through the blocks.
    static constexpr std::uint64_t scanned = 128;
    static constexpr std::size_t chunk = 256;
    alignas(64) static constexpr auto indices = [] {
        std::array<double, chunk + scanned> a{};
        for (std::size_t j = 0; j < a.size(); ++j) a[j] = static_cast<double>(j);
        return a;
    }();

    // For the windows of `length` candles that end at rows [first, last) of
    // `high` and `low` (all in them), where in each its highest high and
    // lowest low are, counted from its oldest candle, into up and down from
    // index 0. Spans of 2, 4, 8, ... candles are joined from two halves and
    // a window from two overlapping spans, each time the newer span winning
    // ties: the newest of equal prices, as in a scan from the oldest that
    // takes every price at least as good as the best so far, and as in the
    // blocks, however the window is split.
    template <class Pack>
    [[gnu::always_inline]] static void places(const double* high, const double* low, std::size_t first,
                                              std::size_t last, std::size_t length, double* up,
                                              double* down) noexcept {
        using High = HigherOrEqual;
        using Low = LowerOrEqual;
        const std::size_t base = first + 1 - length, count = last - base;
        // Each span's prices and places from the previous span's, the two
        // sets in turn. A place is an index from the window's first candle,
        // exact as a double; spans of one are the candles at their own.
        alignas(64) double spans[2][4][chunk + scanned];
        const double* const at = indices.data();
        const double* hv = high + base;
        const double* hp = at;
        const double* lv = low + base;
        const double* lp = at;
        const auto join = [&]<class T>(T, const double* v, const double* q, std::size_t newer, std::size_t older,
                                       auto wins) KESTOV_INLINE_LAMBDA {
            const T a = lanes::load<T>(v + newer), b = lanes::load<T>(v + older);
            const auto take = wins(a, b);
            return std::array<T, 2>{lanes::select(take, a, b),
                                    lanes::select(take, lanes::load<T>(q + newer), lanes::load<T>(q + older))};
        };
        std::size_t span = 1, turn = 0;
        double_spans<Pack>(
            length, count,
            [&]<class T>(T, std::size_t half, std::size_t k) KESTOV_INLINE_LAMBDA {
                const auto [h, hq] = join(T{}, hv, hp, k, k - half, High{});
                const auto [l, lq] = join(T{}, lv, lp, k, k - half, Low{});
                lanes::store(spans[turn][0] + k, h);
                lanes::store(spans[turn][1] + k, hq);
                lanes::store(spans[turn][2] + k, l);
                lanes::store(spans[turn][3] + k, lq);
            },
            [&](std::size_t joined) KESTOV_INLINE_LAMBDA {
                hv = spans[turn][0];
                hp = spans[turn][1];
                lv = spans[turn][2];
                lp = spans[turn][3];
                turn ^= 1;
                span = joined;
            });
        const std::size_t rest = length - span, off = length - 1;
        lanes::each<Pack>(0, last - first, [&]<class T>(T, std::size_t i) KESTOV_INLINE_LAMBDA {
            // Row first + i's window starts at index i.
            const T from = lanes::load<T>(at + i);
            lanes::store(up + i, join(T{}, hv, hp, off + i, off + i - rest, High{})[1] - from);
            lanes::store(down + i, join(T{}, lv, lp, off + i, off + i - rest, Low{})[1] - from);
        });
    }

    const char* state_fault() const noexcept {
        if (!highs_.follows(count_) || !lows_.follows(count_)) return "Aroon: candle count and windows disagree";
        return nullptr;
    }
};

}  // namespace kestov
