#pragma once
// Percentage price oscillator: the fast EMA's distance from the slow EMA in
// percent of the slow one, an EMA of that as the signal, and their
// difference; MACD in percent.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>

#include "kestov/error.hpp"
#include "kestov/expected.hpp"
#include "kestov/indicators/ema.hpp"
#include "kestov/numeric.hpp"

namespace kestov {

class PPO {
public:
    using Input = double;
    using Output = std::array<double, 3>;  // ppo, signal, histogram
    static constexpr std::string_view name = "PPO";

private:
    EMA fast_ema_;
    EMA slow_ema_;
    EMA signal_ema_;
    bool has_current_ = false;
    Output current_{};
    std::uint64_t fast_;
    std::uint64_t slow_;
    std::uint64_t signal_;

    PPO(EMA fast, EMA slow, EMA signal, std::uint64_t f, std::uint64_t s, std::uint64_t g) noexcept
        : fast_ema_(std::move(fast)), slow_ema_(std::move(slow)), signal_ema_(std::move(signal)), fast_(f), slow_(s),
          signal_(g) {}

public:
    static Expected<PPO, BuildError> create(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal) noexcept {
        if (fast == 0 || slow == 0 || signal == 0) return BuildError{IndicatorError::period_zero()};
        if (fast >= slow)
            return BuildError{IndicatorError::invalid_period("fast period must be strictly less than slow period")};
        auto f = EMA::create(fast);
        if (!f) return f.error();
        auto s = EMA::create(slow);
        if (!s) return s.error();
        auto g = EMA::create(signal);
        if (!g) return g.error();
        return PPO(std::move(f).value(), std::move(s).value(), std::move(g).value(), fast, slow, signal);
    }

    std::optional<Output> update(double value) noexcept {
        if (!is_finite(value)) return this->value();
        const auto f = fast_ema_.update(value);
        const auto s = slow_ema_.update(value);
        if (!s || !f) return std::nullopt;
        // The difference is divided before it is scaled; a zero slow
        // average gives 0.
        const double ppo = *s == 0.0 ? 0.0 : ((*f - *s) / *s) * 100.0;
        const auto signal = signal_ema_.update(ppo);
        if (!signal) return std::nullopt;
        current_ = {ppo, *signal, ppo - *signal};
        has_current_ = true;
        return current_;
    }

    std::optional<Output> value() const noexcept {
        if (!has_current_) return std::nullopt;
        return current_;
    }

    bool is_ready() const noexcept { return has_current_; }
    std::uint64_t warmup_period() const noexcept { return slow_ + signal_ - 1; }
    std::uint64_t fast() const noexcept { return fast_; }
    std::uint64_t slow() const noexcept { return slow_; }
    std::uint64_t signal() const noexcept { return signal_; }

    void reset() noexcept {
        fast_ema_.reset();
        slow_ema_.reset();
        signal_ema_.reset();
        has_current_ = false;
    }

    // Saved state (state.hpp).
    std::tuple<std::uint64_t, std::uint64_t, std::uint64_t> config() const noexcept {
        return {fast_, slow_, signal_};
    }
    template <class V>
    void fields(V& v) {
        v(fast_ema_);
        v(slow_ema_);
        v(signal_ema_);
        v(has_current_);
        v(current_);
    }
    const char* state_fault() const noexcept {
        if (slow_ema_.is_ready() && !fast_ema_.is_ready()) return "PPO: slow average ready before the fast one";
        if (signal_ema_.has_input() && !slow_ema_.is_ready()) return "PPO: signal fed before both averages were ready";
        if (has_current_ != signal_ema_.is_ready()) return "PPO: current value and signal disagree";
        return nullptr;
    }
};

}  // namespace kestov
