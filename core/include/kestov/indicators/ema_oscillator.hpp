#pragma once
// A line made of a fast and a slow EMA, an EMA of that line as its signal,
// and their difference: MACD's shape, shared by every oscillator of that
// shape. `Line` names the indicator and says how the two averages make the
// line (their difference for MACD, the difference in percent of the slow
// one for PPO).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/lanes.hpp"
#include "kestov/numeric.hpp"
#include "kestov/stretches.hpp"

namespace kestov {

template <class Line>
class EmaOscillator {
public:
    using Input = double;
    using Output = std::array<double, 3>;  // line, signal, histogram
    static constexpr std::string_view name = Line::name;

private:
    EMA fast_ema_;
    EMA slow_ema_;
    EMA signal_ema_;
    bool has_current_ = false;
    Output current_{};
    std::uint64_t fast_;
    std::uint64_t slow_;
    std::uint64_t signal_;

    EmaOscillator(EMA fast, EMA slow, EMA signal, std::uint64_t f, std::uint64_t s, std::uint64_t g) noexcept
        : fast_ema_(std::move(fast)), slow_ema_(std::move(slow)), signal_ema_(std::move(signal)), fast_(f), slow_(s),
          signal_(g) {}

public:
    static Expected<EmaOscillator, BuildError> create(std::uint64_t fast, std::uint64_t slow,
                                                      std::uint64_t signal) noexcept {
        if (fast == 0 || slow == 0 || signal == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("fast period must be strictly less than slow period")};
        auto f = EMA::create(fast);
        if (!f) return f.error();
        auto s = EMA::create(slow);
        if (!s) return s.error();
        auto g = EMA::create(signal);
        if (!g) return g.error();
        return EmaOscillator(std::move(f).value(), std::move(s).value(), std::move(g).value(), fast, slow, signal);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        // Both averages see every finite input, whatever the other returns.
        const auto f = fast_ema_.update(value);
        const auto s = slow_ema_.update(value);
        if (!s || !f) return std::nullopt;
        const double line = Line::of(*f, *s);
        const auto signal = signal_ema_.update(line);
        if (!signal) return std::nullopt;
        current_ = {line, *signal, line - *signal};
        has_current_ = true;
        return current_;
    }

    // Rows [0, n) of a column, as n calls of update would give them (NaN
    // where update gives nothing), with the same state left behind. Once the
    // three averages are seeded, a finite row is their smoothing steps, kept
    // in registers.
    template <class Pack = lanes::Narrow>
    [[gnu::always_inline]] void update_block(const double* values, std::size_t n, double* out) noexcept {
        struct Steady {
            SteadyEmas<3> e;
            Output current;
        };
        stretches::steady_rows(
            values, n, out, [&]() KESTOV_INLINE_LAMBDA { return has_current_; },
            [&]() KESTOV_INLINE_LAMBDA { return Steady{SteadyEmas<3>::of(fast_ema_, slow_ema_, signal_ema_), current_}; },
            [&](Steady& s, double value) KESTOV_INLINE_LAMBDA { return s.current = settled_step(s.e, value); },
            [&](const Steady& s) KESTOV_INLINE_LAMBDA {
                s.e.store(fast_ema_, slow_ema_, signal_ema_);
                current_ = s.current;
            },
            [&](std::size_t i) KESTOV_INLINE_LAMBDA {
                const auto r = update(values[i]);
                for (std::size_t j = 0; j < 3; ++j) out[i * 3 + j] = r ? (*r)[j] : nan_value;
            });
    }

    // Once all three are seeded: both averages take the value, then the
    // signal takes the line.
    template <class V>
    [[gnu::always_inline]] static std::array<V, 3> settled_step(SteadyEmas<3, V>& s, V value) noexcept {
        auto& e = s.current;
        const auto& alpha = s.alpha;
        e[0] = EMA::smooth(e[0], alpha[0], value);
        e[1] = EMA::smooth(e[1], alpha[1], value);
        const V line = Line::of(e[0], e[1]);
        // Two finite averages can still differ by more than the largest
        // double; update's signal passes over such a line.
        if constexpr (std::is_same_v<V, double>) {
            if (is_finite(line)) [[likely]]
                e[2] = EMA::smooth(e[2], alpha[2], line);
        } else {
            e[2] = lanes::select(line - line == 0.0, EMA::smooth(e[2], alpha[2], line), e[2]);
        }
        return {line, e[2], line - e[2]};
    }

    // Settled series of a panel, one per lane of a pack (panel.hpp).
    template <class Pack>
    struct Lanes {
        SteadyEmas<3, Pack> e;
        std::array<Pack, 3> current;

        static bool settled(const EmaOscillator& o) noexcept { return o.has_current_; }
        void load(const EmaOscillator& o, std::size_t lane) noexcept {
            e.load_lane(lane, o.fast_ema_, o.slow_ema_, o.signal_ema_);
            for (std::size_t k = 0; k < 3; ++k) current[k][lane] = o.current_[k];
        }
        void store(EmaOscillator& o, std::size_t lane) const noexcept {
            e.store_lane(lane, o.fast_ema_, o.slow_ema_, o.signal_ema_);
            for (std::size_t k = 0; k < 3; ++k) o.current_[k] = current[k][lane];
        }
        [[gnu::always_inline]] std::array<Pack, 3> step(Pack value) noexcept { return current = settled_step(e, value); }
    };

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return slow_ + signal_ - 1; }
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> periods() const noexcept {
        return {fast_, slow_, signal_};
    }
    std::uint64_t fast() const noexcept { return fast_; }
    std::uint64_t slow() const noexcept { return slow_; }
    std::uint64_t signal() const noexcept { return signal_; }

    void reset() noexcept {
        fast_ema_.reset();
        slow_ema_.reset();
        signal_ema_.reset();
        has_current_ = false;
        current_ = {};
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept { return periods(); }
    template <class V>
    void fields(V& v) {
        v(fast_ema_);
        v(slow_ema_);
        v(signal_ema_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        if (slow_ema_.is_ready() && !fast_ema_.is_ready()) return "the slow average is ready before the fast one";
        if (signal_ema_.has_input() && !slow_ema_.is_ready())
            return "the signal was fed before both averages were ready";
        if (signal_ema_.has_input() && !(fast_ema_.can_feed() && slow_ema_.can_feed()))
            return "the signal was fed by an average that is not finite";
        if (has_current_ != signal_ema_.is_ready()) return "the current value and the signal disagree";
        return nullptr;
    }
};

}  // namespace kestov
