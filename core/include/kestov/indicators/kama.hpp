#pragma once
// Kaufman's adaptive moving average: the smoothing constant follows the
// efficiency ratio of the last `er_period` steps.

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cmath>
#include <cstdint>
#include <optional>
#include <tuple>
#include <string_view>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/numeric.hpp"
#include "kestov/lanes.hpp"
#include "kestov/ring_buffer.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

class KAMA {
public:
    using Input = double;
    using Output = double;
    static constexpr std::string_view name = "KAMA";

private:
    bool has_current_ = false;
    double current_ = 0.0;
    RingBuffer<double> window_;  // the last er_period + 1 finite inputs
    // |window[i] - window[i - 1]| of each adjacent pair, oldest first: each
    // computed once, when its newer value arrives, rather than on every step.
    MirroredWindow<double> steps_;
    std::uint64_t er_period_;
    std::uint64_t fast_;
    std::uint64_t slow_;
    double fast_sc_;
    double slow_sc_;

    KAMA(RingBuffer<double> window, MirroredWindow<double> steps, std::uint64_t er_period, std::uint64_t fast,
         std::uint64_t slow) noexcept
        : window_(std::move(window)),
          steps_(std::move(steps)),
          er_period_(er_period),
          fast_(fast),
          slow_(slow),
          fast_sc_(2.0 / (static_cast<double>(fast) + 1.0)),
          slow_sc_(2.0 / (static_cast<double>(slow) + 1.0)) {}

public:
    static Expected<KAMA, BuildError> create(std::uint64_t er_period, std::uint64_t fast, std::uint64_t slow) noexcept {
        if (er_period == 0) return BuildError{IndicatorError::period_zero()};
        if (fast == 0 || slow == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("KAMA fast period must be strictly less than slow")};
        const auto slots = plus_one(er_period);
        if (!slots) return BuildError{slots.error()};
        auto window = RingBuffer<double>::with_capacity(slots.value());
        if (!window) return BuildError{window.error()};
        auto steps = MirroredWindow<double>::with_length(er_period);
        if (!steps) return BuildError{steps.error()};
        return KAMA(std::move(window).value(), std::move(steps).value(), er_period, fast, slow);
    }

    std::optional<double> update(double value) noexcept {
        if (!is_finite(value)) return current();
        if (!window_.empty()) steps_.push(lanes::abs(value - window_.back()));
        if (window_.full()) {
            window_.replace_oldest(value);
        } else {
            window_.push_back(value);
            if (!window_.full()) return std::nullopt;
        }

        const double oldest = window_.front();
        const double change = lanes::abs(value - oldest);
        const double sc = smoothing(change, volatility<double>(steps_.data(), steps_.size()), fast_sc_, slow_sc_);
        const double prev = has_current_ ? current_ : oldest;
        current_ = advance(prev, sc, value);
        has_current_ = true;
        return current_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Each
    // row's smoothing constant depends only on the column, so four rows'
    // constants are computed at once; the average alone is a chain.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        const auto by_row = [&](std::size_t i) KESTOV_INLINE_LAMBDA {
            const auto r = update(values[i]);
            out[i] = r ? *r : nan_value;
        };
        const std::size_t er = static_cast<std::size_t>(er_period_);
        constexpr std::size_t w = lanes::width<Pack>;
        constexpr std::size_t chunk = stretches::chunk;
        // step[k] = |v[c0 - er + 1 + k] - v[c0 - er + k]| for the chunk from c0.
        double step[chunk + stretches::most_lookback];
        const auto take_steps = [&](std::size_t c0, std::size_t c1) KESTOV_INLINE_LAMBDA {
            const double* base = values + (c0 - er);
            const std::size_t steps = (c1 - c0) + er - 1;
            std::size_t k = 0;
            for (; k + w <= steps; k += w)
                lanes::store(step + k, lanes::abs(lanes::load<Pack>(base + k + 1) - lanes::load<Pack>(base + k)));
            for (; k < steps; ++k) step[k] = lanes::abs(base[k + 1] - base[k]);
        };
        // The smoothing constants of the k-th pack of rows of the chunk [c0, c1).
        const auto smooth_pack = [&](std::size_t c0, std::size_t c1, double* sc, std::size_t k) KESTOV_INLINE_LAMBDA {
            std::size_t r = c0 + k * w;
            if (r + w <= c1) {
                const Pack change = lanes::abs(lanes::load<Pack>(values + r) - lanes::load<Pack>(values + r - er));
                lanes::store(sc + (r - c0), smoothing(change, volatility<Pack>(step + (r - c0), er), fast_sc_, slow_sc_));
                return;
            }
            for (; r < c1; ++r)
                sc[r - c0] = smoothing(lanes::abs(values[r] - values[r - er]), volatility<double>(step + (r - c0), er),
                                       fast_sc_, slow_sc_);
        };
        const auto body = [&](std::size_t first, std::size_t last) KESTOV_INLINE_LAMBDA {
            double current = current_;
            // The chain of averages waits about as long per row as a pack of
            // constants takes to compute: the next chunk's constants are
            // computed between the steps of this chunk's chain.
            double sc[2][chunk];
            std::size_t c0 = first, c1 = std::min(last, first + chunk), now = 0;
            take_steps(c0, c1);
            for (std::size_t k = 0; k * w < c1 - c0; ++k) smooth_pack(c0, c1, sc[now], k);
            while (c0 < last) {
                const std::size_t n0 = c1, n1 = std::min(last, c1 + chunk);
                const std::size_t packs = (n1 - n0 + w - 1) / w;
                if (n0 < n1) take_steps(n0, n1);
                std::size_t k = 0;
                for (std::size_t r = c0; r < c1;) {
                    for (const std::size_t end = std::min(r + w, c1); r < end; ++r)
                        out[r] = current = advance(current, sc[now][r - c0], values[r]);
                    if (k < packs) smooth_pack(n0, n1, sc[1 - now], k++);
                }
                for (; k < packs; ++k) smooth_pack(n0, n1, sc[1 - now], k);
                now = 1 - now;
                c0 = n0;
                c1 = n1;
            }
            current_ = current;
            window_.clear();
            for (std::size_t j = last - er - 1; j < last; ++j) window_.push_back(values[j]);
            steps_.clear();
            for (std::size_t j = last - er; j < last; ++j) steps_.push(lanes::abs(values[j] - values[j - 1]));
        };
        // With er + 1 rows of a stretch behind it, a row's window lies in the
        // column and the average has its first value.
        stretches::feed<Pack>(values, n, er + 1, by_row, body);
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp), for
    // windows of up to 32 steps.
    template <class Pack>
    struct Lanes {
        LaneMirror<Pack, 32> steps;
        LaneWindow<Pack, 33> window;
        Pack current;
        double fast_sc = 0.0, slow_sc = 0.0;

        static bool fits(const KAMA& a) noexcept { return decltype(steps)::fits(a.er_period_); }
        static bool settled(const KAMA& a) noexcept { return a.has_current_ && fits(a); }
        void load(const KAMA& a, std::size_t lane) noexcept {
            steps.load(a.steps_, lane);
            window.load(a.window_, lane);
            current[lane] = a.current_;
            fast_sc = a.fast_sc_;
            slow_sc = a.slow_sc_;
        }
        void store(KAMA& a, std::size_t lane) const noexcept {
            steps.store(a.steps_, lane);
            window.store(a.window_, lane);
            a.current_ = current[lane];
        }
        [[gnu::always_inline]] Pack step(Pack x) noexcept {
            steps.push(lanes::abs(x - window.back()));
            window.replace_oldest(x);
            const Pack change = lanes::abs(x - window.front());
            const Pack sc = smoothing(change, volatility<Pack>(steps.data(), steps.length), fast_sc, slow_sc);
            return current = advance(current, sc, x);
        }
    };

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return er_period_ + 1; }

    void reset() noexcept {
        window_.clear();
        steps_.clear();
        has_current_ = false;
        current_ = 0.0;
    }

    // Saved state (state.hpp). One step per adjacent pair of the window.
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept { return {er_period_, fast_, slow_}; }
    template <class V>
    void fields(V& v) {
        v(has_current_);
        v(current_);
        v(window_);
        v(steps_);
    }
    const char* state_fault() const noexcept {
        if (steps_.size() != (window_.empty() ? 0 : window_.size() - 1)) return "KAMA: steps and window disagree";
        if (has_current_ && !window_.full()) return "KAMA: a value before the window was full";
        return nullptr;
    }

private:
    std::optional<double> current() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    // The steps summed afresh every row, in window order, from -0.0: from a
    // column of doubles (T a double, or a pack of consecutive rows), or from
    // packs of series side by side.
    template <class T, class S>
    [[gnu::always_inline]] static T volatility(const S* steps, std::size_t count) noexcept {
        T sum = lanes::splat<T>(-0.0);
        for (std::size_t i = 0; i < count; ++i) {
            if constexpr (std::same_as<S, double>)
                sum += lanes::load<T>(steps + i);
            else
                sum += steps[i];
        }
        return sum;
    }

    template <class T>
    [[gnu::always_inline]] static T smoothing(T change, T volatility, double fast_sc, double slow_sc) noexcept {
        const T er = lanes::select(volatility != 0.0, change / volatility, lanes::splat<T>(0.0));
        const double d = fast_sc - slow_sc;
        const T t = er * d;
        const T u = slow_sc + t;
        return u * u;
    }

    template <class T>
    [[gnu::always_inline]] static T advance(T prev, T sc, T value) noexcept {
        return prev + sc * (value - prev);
    }
};

}  // namespace kestov
