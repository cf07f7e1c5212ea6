#pragma once
// Ichimoku kinko hyo (Hosoda), every line as of the candle it is computed
// at: tenkan and kijun are the midpoints of the highest high and lowest low
// of the last `tenkan` and `kijun` candles, span A their mean and span B the
// midpoint over the last `senkou` candles. A chart draws both spans `kijun`
// candles ahead and the lagging span (the close) `kijun` candles back; that
// shift is left to the reader, so no value here depends on a later candle.

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/candle.hpp"
#include "kestov/error.hpp"
#include "kestov/expected.hpp"
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
        current_ = {tenkan, kijun, (tenkan + kijun) / 2.0, midpoint(senkou_range_)};
        has_current_ = true;
        return current_;
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
