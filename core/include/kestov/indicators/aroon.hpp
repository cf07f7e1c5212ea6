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
    // with the same state left behind. For a short window, each row's scan
    // from its oldest candle, several rows side by side; the windows then
    // rebuilt from the candles they hold.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        lines<Pack>(c, n, [&](std::size_t i, auto up, auto down) KESTOV_INLINE_LAMBDA {
            if constexpr (std::is_same_v<decltype(up), double>) {
                out[2 * i] = up;
                out[2 * i + 1] = down;
            } else {
                for (std::size_t j = 0; j < lanes::width<Pack>; ++j) {
                    out[2 * (i + j)] = up[j];
                    out[2 * (i + j) + 1] = down[j];
                }
            }
        });
    }

    // The rows of a column as update_block takes them, given to `put(i,
    // up, down)`: from row i, a pack's width of rows (packs), or row i
    // alone (doubles; NaN where update gives nothing).
    template <class Pack, class Put>
    [[gnu::always_inline]] void lines(const CandleColumns& c, std::size_t n, Put&& put) noexcept {
        constexpr std::size_t w = lanes::width<Pack>;
        const std::size_t length = static_cast<std::size_t>(length_);
        // Rows until the window is full, and as many as leave two blocks'
        // candles in this column to rebuild from, go through update.
        std::size_t head = n;
        if (length_ <= scanned)
            head = std::min(n, 2 * length + (count_ < length_ ? length - static_cast<std::size_t>(count_) : 0));
        for (std::size_t i = 0; i < head; ++i) {
            const auto r = update(c.at(i));
            put(i, r ? (*r)[0] : nan_value, r ? (*r)[1] : nan_value);
        }
        if (head == n) return;
        const std::size_t p = static_cast<std::size_t>(period_);
        const double scale = static_cast<double>(period_);
        std::size_t i = head;
        for (; i + w <= n; i += w) {
            const auto [up, down] = scan<Pack>(c.high + (i - p), c.low + (i - p), p);
            put(i, (up * 100.0) / scale, (down * 100.0) / scale);
        }
        for (; i < n; ++i) {
            const auto [up, down] = scan<double>(c.high + (i - p), c.low + (i - p), p);
            put(i, (up * 100.0) / scale, (down * 100.0) / scale);
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
    // Windows up to this long are scanned row by row in a batch.
    static constexpr std::uint64_t scanned = 40;

    // Where in the `period` + 1 candles from `high` and `low` their highest
    // high and lowest low are, counted from the oldest: the scan that takes
    // every price at least as good as the best so far, so the newest of
    // equal prices counts.
    template <class T>
    [[gnu::always_inline]] static std::array<T, 2> scan(const double* high, const double* low,
                                                        std::size_t period) noexcept {
        T best_high = lanes::load<T>(high), best_low = lanes::load<T>(low);
        T up = lanes::splat<T>(0.0), down = lanes::splat<T>(0.0), at = up;
        for (std::size_t j = 1; j <= period; ++j) {
            at = at + lanes::splat<T>(1.0);  // j, exactly: a window is far shorter than 2^53
            const T h = lanes::load<T>(high + j), l = lanes::load<T>(low + j);
            const auto higher = best_high <= h, lower = l <= best_low;
            best_high = lanes::select(higher, h, best_high);
            best_low = lanes::select(lower, l, best_low);
            up = lanes::select(higher, at, up);
            down = lanes::select(lower, at, down);
        }
        return {up, down};
    }

    const char* state_fault() const noexcept {
        if (!highs_.follows(count_) || !lows_.follows(count_)) return "Aroon: candle count and windows disagree";
        return nullptr;
    }
};

}  // namespace kestov
