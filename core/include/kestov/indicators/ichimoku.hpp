#pragma once
// Ichimoku kinko hyo (Hosoda), every line as of the candle it is computed
// at: tenkan and kijun are the midpoints of the highest high and lowest low
// of the last `tenkan` and `kijun` candles, span A their mean and span B the
// midpoint over the last `senkou` candles. A chart draws both spans `kijun`
// candles ahead and the lagging span (the close) `kijun` candles back; that
// shift is left to the reader, so no value here depends on a later candle.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/lanes.hpp"
#include "kestov/stretches.hpp"
#include "kestov/window_extreme.hpp"

namespace kestov {

class Ichimoku {
public:
    using Input = Candle;
    using Output = std::array<double, 4>;  // tenkan, kijun, span_a, span_b
    static constexpr std::string_view name = "Ichimoku";

private:
    using Range = WindowRange<Higher, Lower>;  // of equal prices the oldest, as Donchian's
    Range tenkan_range_;
    Range kijun_range_;
    Range senkou_range_;
    bool has_current_ = false;
    Output current_{};
    std::uint64_t tenkan_;
    std::uint64_t kijun_;
    std::uint64_t senkou_;

    Ichimoku(Range t, Range k, Range s, std::uint64_t tenkan, std::uint64_t kijun, std::uint64_t senkou) noexcept
        : tenkan_range_(std::move(t)), kijun_range_(std::move(k)), senkou_range_(std::move(s)), tenkan_(tenkan),
          kijun_(kijun), senkou_(senkou) {}

    static double midpoint(const Range& range) noexcept { return (range.highest() + range.lowest()) / 2.0; }

public:
    static Expected<Ichimoku, BuildError> create(std::uint64_t tenkan, std::uint64_t kijun,
                                                 std::uint64_t senkou) noexcept {
        if (tenkan == 0 || kijun == 0 || senkou == 0) return BuildError{IndicatorError::period_zero()};
        auto t = Range::with_capacity(tenkan);
        if (!t) return BuildError{t.error()};
        auto k = Range::with_capacity(kijun);
        if (!k) return BuildError{k.error()};
        auto s = Range::with_capacity(senkou);
        if (!s) return BuildError{s.error()};
        return Ichimoku(std::move(t).value(), std::move(k).value(), std::move(s).value(), tenkan, kijun, senkou);
    }

    std::optional<Output> update(const Candle& candle) noexcept {
        const double h = candle.high();
        const double l = candle.low();
        // Every window sees every candle, whatever the others hold.
        const bool t = tenkan_range_.push(h, l);
        const bool k = kijun_range_.push(h, l);
        const bool s = senkou_range_.push(h, l);
        if (!(t && k && s)) return std::nullopt;
        const double tenkan = midpoint(tenkan_range_);
        const double kijun = midpoint(kijun_range_);
        // Returned from the registers, not read back from current_ just
        // stored: a load of two halves stored apart waits for both.
        const Output now{tenkan, kijun, (tenkan + kijun) / 2.0, midpoint(senkou_range_)};
        current_ = now;
        has_current_ = true;
        return now;
    }

    // Rows [0, n) of valid candle columns, as n calls of update would give
    // them, with the same state left behind. Where every window is short
    // enough, a chunk's extremes of the three windows from the spans of
    // candles they share (WindowRange::extremes), several rows at a time; the rows whose
    // longest window reaches back before the column go through update, and
    // all of them unless the column is several times that window long (the
    // windows are rebuilt from its last candles).
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const CandleColumns& c, std::size_t n, double* out) noexcept {
        constexpr std::size_t chunk = Range::chunk, w = lanes::width<Pack>;
        const std::size_t t = static_cast<std::size_t>(tenkan_), k = static_cast<std::size_t>(kijun_),
                          s = static_cast<std::size_t>(senkou_), longest = std::max({t, k, s});
        // Rebuilding three windows costs some hundred pushes: a short column
        // is quicker through update alone.
        const std::size_t head = longest > Range::scanned || n < 8 * longest ? n : longest - 1;
        for (std::size_t i = 0; i < head; ++i) stretches::through_update(*this, c.at(i), out, i);
        if (head == n) return;
        for (std::size_t c0 = head; c0 < n; c0 += chunk) {
            const std::size_t c1 = std::min(n, c0 + chunk);
            alignas(64) double th[chunk], tl[chunk], kh[chunk], kl[chunk], sh[chunk], sl[chunk];
            Range::extremes<Pack, 3>(c.high, c.low, c0, c1, {t, k, s}, {th, kh, sh}, {tl, kl, sl});
            const auto row = [&]<class T>(T, std::size_t j) KESTOV_INLINE_LAMBDA {
                const auto mid = [&](const double* hi, const double* lo)
                    KESTOV_INLINE_LAMBDA { return (lanes::load<T>(hi + j) + lanes::load<T>(lo + j)) / 2.0; };
                const T tenkan = mid(th, tl), kijun = mid(kh, kl);
                stretches::put(out, c0 + j, std::array{tenkan, kijun, (tenkan + kijun) / 2.0, mid(sh, sl)});
            };
            std::size_t j = 0;
            for (; j + w <= c1 - c0; j += w) row(Pack{}, j);
            for (; j < c1 - c0; ++j) row(0.0, j);
        }
        for (std::size_t m = 0; m < 4; ++m) current_[m] = out[4 * (n - 1) + m];
        has_current_ = true;
        tenkan_range_.replay(n - head, c.high + n, c.low + n);
        kijun_range_.replay(n - head, c.high + n, c.low + n);
        senkou_range_.replay(n - head, c.high + n, c.low + n);
    }

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return std::max({tenkan_, kijun_, senkou_}); }
    std::uint64_t tenkan() const noexcept { return tenkan_; }
    std::uint64_t kijun() const noexcept { return kijun_; }
    std::uint64_t senkou() const noexcept { return senkou_; }

    void reset() noexcept {
        tenkan_range_.clear();
        kijun_range_.clear();
        senkou_range_.clear();
        has_current_ = false;
        current_ = {};
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {tenkan_, kijun_, senkou_};
    }
    template <class V>
    void fields(V& v) {
        v(tenkan_range_);
        v(kijun_range_);
        v(senkou_range_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        if (has_current_ != (tenkan_range_.full() && kijun_range_.full() && senkou_range_.full()))
            return "Ichimoku: current value and windows disagree";
        return nullptr;
    }
};

}  // namespace kestov
